#pragma once

#include <QRgb>
#include <QString>

namespace vividra::test {

// Writes a colourful PNG, hue along x and brightness along y, and returns its path.
QString writeColourPicture(const QString& folder, int w, int h,
                           const QString& name = QStringLiteral("colours.png"));

// True for a pixel with no colour to speak of.
bool isGrey(QRgb c);

} // namespace vividra::test
