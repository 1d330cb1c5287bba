#pragma once

#include <QString>

#include <optional>

#include "model/session/edit_settings.h"

namespace vividra::profile {

// A ".clr" profile: 43 values, one per line, each ended by a line feed. Switches
// are 0 or 1, combo indices are integers (-1 for none), sliders and the colour are
// single-precision decimals; line 20 is the brush label as shown.
inline constexpr int kLineCount = 43;

// What a profile restores: the settings and the brush label's text.
struct Values {
    EditSettings settings;
    QString brushLabel;
};

// The text of a profile holding `settings`, with the brush label as shown.
QString text(const EditSettings& settings, const QString& brushLabel);

// The values of a profile's text, or nothing when any line is not the number its
// position needs, is out of its control's range, or the text does not split into
// exactly 44 pieces at line breaks. `current` supplies what a profile does not hold.
std::optional<Values> parse(const QString& text, const EditSettings& current);

// Shortest text reading back as the same float, "." as the point, whole numbers
// with one fractional digit ("20.0"), exponent notation where shorter ("1e-05").
QString formatDecimal(float value);

// Larger files are not profiles; they are refused unread.
inline constexpr qint64 kMaximumFileSize = 64 * 1024;

// The file's text, or nothing when it cannot be read, is too large, or is not UTF-8 text.
std::optional<QString> readFile(const QString& path);
// Writes the text in UTF-8 through a temporary file that then takes the name, so a
// failed write leaves the old file as it was.
bool writeFile(const QString& path, const QString& text);

} // namespace vividra::profile
