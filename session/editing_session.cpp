#include "session/editing_session.h"

#include <QDateTime>
#include <QFileInfo>

namespace vividra {

EditingSession::EditingSession() : infoProvider(InfoProvider::shared()) {
    jobs.onBusyChanged = [this](bool busy) {
        infoProvider.processIsRunning_ = busy;
        sessionBusyChanged(busy);
    };
}

bool EditingSession::processIsRunning() const {
    return jobs.count(SessionJobs::Kind::rendering) > 0 || !processesQueue.isEmpty();
}

QString EditingSession::originalStamp() const {
    const QFileInfo info(originalImagePath);
    return originalImagePath + QLatin1Char('\n') + QString::number(info.size()) +
           QLatin1Char('\n') + QString::number(info.lastModified().toMSecsSinceEpoch());
}

Picture EditingSession::currentOriginal() const {
    return !originalStamp_.isEmpty() && originalStamp() == originalStamp_ ? original_ : Picture();
}

void EditingSession::rememberOriginal(const Picture& original) {
    original_ = original;
    originalStamp_ = originalStamp();
}

void EditingSession::forgetOriginal() {
    original_ = Picture();
    originalStamp_.clear();
}

} // namespace vividra
