// Prints how a control title set at a size in points comes out on this display: the family
// that stands in for the typeface on one line, then the width and height in pixels of the ink
// of a text. The window tests hold what the program draws against it.
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>

#include <cstdio>

#include "ui/controls/title_font.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok = false;
    const double points = args.size() == 3 ? args[1].toDouble(&ok) : 0.0;
    if (!ok || points <= 0) {
        std::fprintf(stderr, "usage: title_font_probe POINTS TEXT\n");
        return 2;
    }
    QFont font;
    font.setFamilies(vividra::titleFontFamilies());
    font.setPointSizeF(points);
    const QRect ink = QFontMetrics(font).tightBoundingRect(args[2]);
    std::printf("%s\n%d %d\n", qPrintable(QFontInfo(font).family()), ink.width(), ink.height());
    return 0;
}
