#include "ui/dialogs/output_format_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/files/export_file.h"
#include "model/platform/notification_center.h"

namespace vividra {

OutputFormatWindow::OutputFormatWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("WindowControllerOutputFormat"));
    setWindowTitle(tr("Output Format"));
    setWindowModality(Qt::ApplicationModal);
    setStyleSheet(QStringLiteral("QDialog { background: rgb(51, 51, 51); }"
                                 "QLabel { color: white; }"));

    auto* label = new QLabel(tr("Format:"), this);
    comboBoxOutputFormat = new QComboBox(this);
    comboBoxOutputFormat->addItems(exporting::formatEntries());
    comboBoxOutputFormat->setCurrentIndex(0);
    buttonSave = new QPushButton(tr("Save"), this);
    buttonSave->setDefault(true);
    buttonSave->setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: rgb(77, 77, 77); border: none;"
                       " border-radius: 6px; padding: 4px 18px; }"
                       "QPushButton:pressed { background: rgb(100, 100, 100); }"));
    connect(buttonSave, &QPushButton::clicked, this, &OutputFormatWindow::saveChoice);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(comboBoxOutputFormat, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttonSave, 0, Qt::AlignRight);
    setMinimumWidth(280);
}

void OutputFormatWindow::saveChoice() {
    userInfo.insert(QStringLiteral("format"), comboBoxOutputFormat->currentText());
    posted_ = true;
    platform::NotificationCenter::defaultCenter().post(platform::kOutputFormatSelected, userInfo);
    accept();
}

void OutputFormatWindow::postClosed() {
    if (posted_)
        return;
    posted_ = true;
    userInfo.insert(QStringLiteral("format"), QStringLiteral("Default"));
    platform::NotificationCenter::defaultCenter().post(platform::kOutputFormatSelected, userInfo);
}

void OutputFormatWindow::closeEvent(QCloseEvent* event) {
    postClosed();
    QDialog::closeEvent(event);
}

void OutputFormatWindow::reject() {
    postClosed();
    QDialog::reject();
}

} // namespace vividra
