#pragma once

class QApplication;

namespace vividra {

// The dark look of the whole application.
void applyTheme(QApplication& app);

} // namespace vividra
