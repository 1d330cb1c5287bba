#pragma once

#include <QString>

namespace vividra::platform {

// One line on standard output, flushed at once ("Remove failed: ..." and the like).
void logLine(const QString& line);

} // namespace vividra::platform
