#pragma once

#include <QList>
#include <QStringList>

#include <deque>

#include "platform/dialogs.h"

namespace vividra::test {

// Answers alerts and panels from a script and remembers what was asked.
class ScriptedDialogs : public platform::Dialogs {
public:
    struct Asked {
        platform::Alert::Style style;
        QString messageText;
        QString informativeText;
        QStringList buttons;
    };

    // Queued answers; an alert with no answer left gets the first button.
    std::deque<int> alertAnswers;
    std::deque<QString> openAnswers;
    std::deque<QString> saveAnswers;

    QList<Asked> alerts;
    QList<platform::OpenPanel> openPanels;
    QList<platform::SavePanel> savePanels;

    int runAlert(const platform::Alert& alert) override;
    QString runOpenPanel(const platform::OpenPanel& panel) override;
    QString runSavePanel(const platform::SavePanel& panel) override;

    // Installs a fresh script as the program's dialogs and returns it.
    static ScriptedDialogs* install();
};

} // namespace vividra::test
