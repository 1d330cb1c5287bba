#include "scripted_dialogs.h"

namespace vividra::test {
namespace {

// The next scripted answer, or `fallback` when the script has run out.
template <class T> T next(std::deque<T>& answers, T fallback) {
    if (answers.empty())
        return fallback;
    T answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

} // namespace

int ScriptedDialogs::runAlert(const platform::Alert& alert) {
    alerts.append({alert.style, alert.messageText, alert.informativeText, alert.buttons});
    return next(alertAnswers, platform::kFirstButton);
}

QString ScriptedDialogs::runOpenDialog(const platform::OpenDialog& dialog) {
    openDialogs.append(dialog);
    return next(openAnswers, QString());
}

QString ScriptedDialogs::runSaveDialog(const platform::SaveDialog& dialog) {
    saveDialogs.append(dialog);
    return next(saveAnswers, QString());
}

ScriptedDialogs* ScriptedDialogs::install() {
    auto dialogs = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs* raw = dialogs.get();
    platform::setDialogs(std::move(dialogs));
    return raw;
}

} // namespace vividra::test
