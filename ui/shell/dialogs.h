#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

namespace vividra::platform {

// A modal alert: warning style unless told otherwise, the sentence as
// informative text, buttons in the order given. The answer is 1000 for the
// first button, 1001 for the second, and so on.
struct Alert {
    enum class Style { Warning, Informational };
    Style style = Style::Warning;
    QString messageText;
    QString informativeText;
    QStringList buttons;
};

inline constexpr int kFirstButton = 1000;
inline constexpr int kSecondButton = 1001;

struct OpenDialog {
    QString directory;      // starting folder; empty means the toolkit's default
    QStringList extensions; // allowed extensions without dots
    QString title;
    QString kind = QStringLiteral("Pictures"); // what the files are, for the type list
};

struct SaveDialog {
    QString directory;
    QString suggestedName;
    QStringList extensions;
    QString title;
    QString kind = QStringLiteral("Pictures");
};

// Alerts and file dialogs. The program asks through this interface so that
// tests can answer with a script instead of a person.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual int runAlert(const Alert& alert) = 0;
    // The chosen file, or an empty string when cancelled.
    virtual QString runOpenDialog(const OpenDialog& dialog) = 0;
    virtual QString runSaveDialog(const SaveDialog& dialog) = 0;
};

// The dialogs in use; Qt's own unless replaced.
Dialogs& dialogs();
// Replaces the dialogs (tests); passing nullptr returns to Qt's own.
void setDialogs(std::unique_ptr<Dialogs> replacement);
// Parent window for the dialogs Qt shows.
void setDialogParent(QWidget* parent);

// Convenience for the yes-or-no questions: any answer but "No" counts as yes.
bool askYesNo(const QString& question);
void showNotice(const QString& sentence);

} // namespace vividra::platform
