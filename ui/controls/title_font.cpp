#include "ui/controls/title_font.h"

namespace vividra {

const QStringList& titleFontFamilies() {
    static const QStringList families{QStringLiteral("Futura"), QStringLiteral("URW Gothic"),
                                      QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")};
    return families;
}

QFont titleFont(qreal points) {
    QFont font;
    font.setFamilies(titleFontFamilies());
    font.setPointSizeF(points);
    return font;
}

} // namespace vividra
