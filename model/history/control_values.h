#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

#include "model/session/edit_settings.h"

namespace vividra {

// The editing controls as the history and profiles record them: 39 lines in a
// fixed order (check boxes and combo indices as integers, sliders as floats,
// the brush label as shown).
struct ControlValues {
    static constexpr int kLineCount = 39;
    static constexpr int kLabelLine = 20;
    // Lines holding integers (check box states and combo indices).
    static bool isIntegerLine(int line) { return line <= 18; }

    std::array<QString, kLineCount> lines;

    // The values of `settings` in their lines.
    static ControlValues record(const EditSettings& settings);

    // Writes the lines into `settings`. A line that does not parse, names no combo
    // item or lies outside its slider's range leaves its setting as it was; the label
    // line follows from the brush size.
    // The foreground sketch intensity is not among the lines and stays.
    void applyTo(EditSettings& settings) const;

    QString toText() const;
    // Splits at line feeds; exactly 39 lines and an empty rest, else nothing.
    static std::optional<ControlValues> fromText(const QString& text);
};

// Shortest decimal text that reads back as the same float, with at least one
// digit after the point: 20.0, 0.2, 0.5.
QString formatSliderValue(float value);
// An optional sign followed by decimal digits, nothing else.
std::optional<int> parseIntegerLine(const QString& line);
// A decimal number in the C locale, the whole line consumed.
std::optional<float> parseValueLine(const QString& line);

} // namespace vividra
