#pragma once

#include <QDialog>
#include <QPointer>
#include <QVariantMap>

class QComboBox;
class QPushButton;

namespace vividra {

// The output-format window of an export: the list of formats and a "Save" button.
// Saving posts the chosen entry, closing posts "Default"; either way the window
// ends its modal session.
class OutputFormatWindow : public QDialog {
    Q_OBJECT
public:
    explicit OutputFormatWindow(QWidget* parent = nullptr);

    void saveChoice();

    QPointer<QComboBox> comboBoxOutputFormat;
    QPointer<QPushButton> buttonSave;
    QVariantMap userInfo;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape closes the window as its close button does.
    void reject() override;

private:
    void postClosed();
    bool posted_ = false;
};

} // namespace vividra
