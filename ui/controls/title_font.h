#pragma once

#include <QFont>
#include <QStringList>

namespace vividra {

// The typeface of the controls' titles: Futura where it is installed; elsewhere URW Gothic, the
// geometric sans closest to it that Linux distributions ship, then DejaVu Sans, then any sans.
const QStringList& titleFontFamilies();

// The title typeface at a size in points, so it keeps its size on any screen resolution.
QFont titleFont(qreal points);

} // namespace vividra
