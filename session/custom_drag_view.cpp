#include "session/custom_drag_view.h"

namespace vividra {

CustomDragView::CustomDragView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

} // namespace vividra
