#include "session/edit_settings.h"

namespace vividra {

void EditSettings::resetToDefaults() {
    const QColor colour = brush.colour;
    *this = EditSettings();
    brush.colour = colour;
}

QString EditSettings::brushLabel() const {
    return QString::number(static_cast<int>(brush.size)) + QStringLiteral(" px");
}

} // namespace vividra
