#pragma once

#include <QCheckBox>

namespace vividra {

// A check box that draws its state with the picture resources "Checked" and
// "Unchecked". It keeps the name of the image for each state (image and
// alternate image), which the controller sets together on every toggle, so a
// test can read which picture a box shows.
class CheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit CheckBox(QWidget* parent = nullptr);

    QString image() const { return image_; }
    QString alternateImage() const { return alternateImage_; }
    void setImage(const QString& name);
    void setAlternateImage(const QString& name);
    // Shows the image that matches the current state.
    void showImageForState();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QString image_ = QStringLiteral("Unchecked");
    QString alternateImage_ = QStringLiteral("Unchecked");
};

} // namespace vividra
