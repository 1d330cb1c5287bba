#pragma once

#include <QWidget>

namespace vividra {

// The image area's drop target for picture files.
class CustomDragView : public QWidget {
    Q_OBJECT
public:
    explicit CustomDragView(QWidget* parent = nullptr);
};

} // namespace vividra
