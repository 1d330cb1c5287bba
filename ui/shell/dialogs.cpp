#include "ui/shell/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace vividra::platform {
namespace {

QPointer<QWidget>& parentWindow() {
    static QPointer<QWidget> parent;
    return parent;
}

QString filterFor(const QString& kind, const QStringList& extensions) {
    if (extensions.isEmpty())
        return {};
    QStringList patterns;
    for (const QString& ext : extensions)
        patterns << QStringLiteral("*.") + ext;
    return kind + QStringLiteral(" (%1)").arg(patterns.join(QLatin1Char(' ')));
}

class QtDialogs final : public Dialogs {
public:
    int runAlert(const Alert& alert) override {
        QMessageBox box(parentWindow());
        box.setIcon(alert.style == Alert::Style::Warning ? QMessageBox::Warning
                                                         : QMessageBox::Information);
        box.setWindowTitle(QStringLiteral("Vividra"));
        box.setText(alert.messageText);
        box.setInformativeText(alert.informativeText);
        QList<QAbstractButton*> added;
        const QStringList buttons =
            alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
        for (const QString& title : buttons) {
            QPushButton* b = box.addButton(title, QMessageBox::ActionRole);
            added << b;
            // Closing the window is a "No", never an accidental yes.
            if (title == QStringLiteral("No"))
                box.setEscapeButton(b);
        }
        box.setDefaultButton(qobject_cast<QPushButton*>(added.front()));
        box.exec();
        const int index = static_cast<int>(added.indexOf(box.clickedButton()));
        if (index < 0)
            return kFirstButton + static_cast<int>(added.size()) - 1;
        return kFirstButton + index;
    }

    QString runOpenDialog(const OpenDialog& dialog) override {
        return QFileDialog::getOpenFileName(parentWindow(), dialog.title, dialog.directory,
                                            filterFor(dialog.kind, dialog.extensions));
    }

    QString runSaveDialog(const SaveDialog& dialog) override {
        QString start = dialog.directory;
        if (!dialog.suggestedName.isEmpty())
            start = start.isEmpty() ? dialog.suggestedName
                                    : start + QLatin1Char('/') + dialog.suggestedName;
        return QFileDialog::getSaveFileName(parentWindow(), dialog.title, start,
                                            filterFor(dialog.kind, dialog.extensions));
    }
};

std::unique_ptr<Dialogs>& current() {
    static std::unique_ptr<Dialogs> dialogs;
    return dialogs;
}

} // namespace

Dialogs& dialogs() {
    auto& d = current();
    if (!d)
        d = std::make_unique<QtDialogs>();
    return *d;
}

void setDialogs(std::unique_ptr<Dialogs> replacement) {
    current() = std::move(replacement);
}

void setDialogParent(QWidget* parent) {
    parentWindow() = parent;
}

bool askYesNo(const QString& question) {
    Alert alert;
    alert.informativeText = question;
    alert.buttons = {QStringLiteral("Yes"), QStringLiteral("No")};
    return dialogs().runAlert(alert) != kSecondButton;
}

void showNotice(const QString& sentence) {
    Alert alert;
    alert.informativeText = sentence;
    alert.buttons = {QStringLiteral("OK")};
    dialogs().runAlert(alert);
}

} // namespace vividra::platform
