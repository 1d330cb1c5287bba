#include "scripted_dialogs.h"

namespace vividra::test {

int ScriptedDialogs::runAlert(const platform::Alert& alert) {
    alerts.append({alert.style, alert.messageText, alert.informativeText, alert.buttons});
    if (alertAnswers.empty())
        return platform::kFirstButton;
    const int answer = alertAnswers.front();
    alertAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::runOpenPanel(const platform::OpenPanel& panel) {
    openPanels.append(panel);
    if (openAnswers.empty())
        return {};
    QString answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::runSavePanel(const platform::SavePanel& panel) {
    savePanels.append(panel);
    if (saveAnswers.empty())
        return {};
    QString answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

ScriptedDialogs* ScriptedDialogs::install() {
    auto dialogs = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs* raw = dialogs.get();
    platform::setDialogs(std::move(dialogs));
    return raw;
}

} // namespace vividra::test
