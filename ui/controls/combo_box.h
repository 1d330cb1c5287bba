#pragma once

#include <QComboBox>

namespace vividra {

// A read-only combo box drawn as a dark rounded field, so it only ever yields
// one of its items.
class ComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit ComboBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vividra
