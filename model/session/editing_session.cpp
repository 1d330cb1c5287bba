#include "model/session/editing_session.h"

namespace vividra {

EditingSession::EditingSession() : infoProvider(InfoProvider::shared()) {
    jobs.onBusyChanged = [this](bool busy) {
        infoProvider.jobsBusy_ = busy;
        sessionBusyChanged(busy);
    };
}

bool EditingSession::renderingPending() const {
    return jobs.count(SessionJobs::Kind::rendering) > 0 || !waitingUpdates.isEmpty();
}

Picture EditingSession::currentOriginal() const {
    return original_;
}

void EditingSession::rememberOriginal(const Picture& original) {
    original_ = original;
}

void EditingSession::forgetOriginal() {
    original_ = Picture();
}

} // namespace vividra
