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
        bool operator==(const Asked&) const = default;
    };

    // Queued answers; an alert with no answer left gets the first button.
    std::deque<int> alertAnswers;
    std::deque<QString> openAnswers;
    std::deque<QString> saveAnswers;

    QList<Asked> alerts;
    QList<platform::OpenDialog> openDialogs;
    QList<platform::SaveDialog> saveDialogs;

    int runAlert(const platform::Alert& alert) override {
        alerts.append({alert.style, alert.messageText, alert.informativeText, alert.buttons});
        return next(alertAnswers, platform::kFirstButton);
    }
    QString runOpenDialog(const platform::OpenDialog& dialog) override {
        openDialogs.append(dialog);
        return next(openAnswers, QString());
    }
    QString runSaveDialog(const platform::SaveDialog& dialog) override {
        saveDialogs.append(dialog);
        return next(saveAnswers, QString());
    }

private:
    // The next scripted answer, or `fallback` when the script has run out.
    template <class T> static T next(std::deque<T>& answers, T fallback) {
        if (answers.empty())
            return fallback;
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
};

} // namespace vividra::test
