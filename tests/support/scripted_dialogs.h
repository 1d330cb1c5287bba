#pragma once

#include <QList>
#include <QStringList>

#include <deque>

#include "ui/shell/dialogs.h"

namespace vividra::test {

// Answers alerts and dialogs from a script and remembers what was asked.
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
    QList<platform::OpenDialog> openDialogs;
    QList<platform::SaveDialog> saveDialogs;

    int runAlert(const platform::Alert& alert) override;
    QString runOpenDialog(const platform::OpenDialog& dialog) override;
    QString runSaveDialog(const platform::SaveDialog& dialog) override;

    // Installs a fresh script as the program's dialogs and returns it.
    static ScriptedDialogs* install();
};

} // namespace vividra::test
