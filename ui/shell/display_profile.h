#pragma once

#include <QByteArray>

namespace vividra {

// The colour profile the X server publishes for the display (the root window's
// _ICC_PROFILE, which colour managers such as colord set); empty, meaning sRGB, when there
// is none or the window system is not X.
QByteArray displayProfile();

} // namespace vividra
