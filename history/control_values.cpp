#include "history/control_values.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>

#include "controls/control_ranges.h"

namespace vividra {

namespace {

QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

ControlValues ControlValues::record(const EditSettings& s) {
    ControlValues v;
    auto& l = v.lines;
    const EffectSettings& f = s.foreground;
    const EffectSettings& b = s.background;
    l[0] = flag(s.brush.customColor);
    l[1] = flag(false); // the custom colour button is a push button, never on
    // Each layer's switches and combo indices, in the same order for both.
    const auto layerLines = [&l](std::size_t first, const EffectSettings& e) {
        l[first] = flag(e.blackWhiteOn);
        l[first + 1] =
            QString::number(std::max<qsizetype>(0, kBlackWhiteItems.indexOf(e.blackWhiteEffect)));
        l[first + 2] = flag(e.colorEffectsOn);
        l[first + 3] =
            QString::number(std::max<qsizetype>(0, kColorEffectItems.indexOf(e.colorEffect)));
        l[first + 4] = flag(e.sepiaOn);
        l[first + 5] = flag(e.blurOn);
        l[first + 6] = flag(e.oilPaintingOn);
        l[first + 7] = flag(e.sketchOn);
    };
    layerLines(2, f);
    layerLines(10, b);
    l[18] = flag(s.brush.eraser);
    l[19] = formatSliderValue(s.brush.size);
    l[20] = s.brushLabel();
    // The foreground's sketch intensity is not among the recorded values.
    const float sliders[] = {f.sepiaIntensity,
                             f.blurIntensity,
                             f.oilPaintingIntensity,
                             f.sketchEdge,
                             b.sepiaIntensity,
                             b.blurIntensity,
                             b.oilPaintingIntensity,
                             b.sketchIntensity,
                             b.sketchEdge,
                             s.adjustments.brightness,
                             s.adjustments.exposure,
                             s.adjustments.contrast,
                             s.adjustments.saturation,
                             s.adjustments.gamma,
                             s.adjustments.hue,
                             s.adjustments.red,
                             s.adjustments.green,
                             s.adjustments.blue};
    size_t line = 21;
    for (const float value : sliders)
        l[line++] = formatSliderValue(value);
    return v;
}

void ControlValues::applyTo(EditSettings& s) const {
    const auto flagAt = [this](std::size_t line, bool& field) {
        if (const auto v = parseIntegerLine(lines[line]))
            field = *v != 0;
    };
    const auto itemAt = [this](std::size_t line, QString& field, const QStringList& items) {
        const auto v = parseIntegerLine(lines[line]);
        if (v && *v >= 0 && *v < items.size())
            field = items[*v];
    };
    // A value its slider cannot show (a stray exponent, NaN) would reach the filters.
    const auto valueAt = [this](std::size_t line, float& field, const SliderRange& range) {
        const auto v = parseValueLine(lines[line]);
        if (v && *v >= range.minimum && *v <= range.maximum)
            field = *v;
    };
    flagAt(0, s.brush.customColor);
    const auto layerLines = [&](std::size_t first, EffectSettings& e) {
        flagAt(first, e.blackWhiteOn);
        itemAt(first + 1, e.blackWhiteEffect, kBlackWhiteItems);
        flagAt(first + 2, e.colorEffectsOn);
        itemAt(first + 3, e.colorEffect, kColorEffectItems);
        flagAt(first + 4, e.sepiaOn);
        flagAt(first + 5, e.blurOn);
        flagAt(first + 6, e.oilPaintingOn);
        flagAt(first + 7, e.sketchOn);
    };
    layerLines(2, s.foreground);
    layerLines(10, s.background);
    flagAt(18, s.brush.eraser);
    valueAt(19, s.brush.size, ranges::brushSize);
    EffectSettings& f = s.foreground;
    EffectSettings& b = s.background;
    AdjustmentSettings& a = s.adjustments;
    const std::pair<float*, SliderRange> sliders[] = {
        {&f.sepiaIntensity, ranges::sepiaIntensity},
        {&f.blurIntensity, ranges::blurIntensity},
        {&f.oilPaintingIntensity, ranges::oilPaintingIntensity},
        {&f.sketchEdge, ranges::sketchEdge},
        {&b.sepiaIntensity, ranges::sepiaIntensity},
        {&b.blurIntensity, ranges::blurIntensity},
        {&b.oilPaintingIntensity, ranges::oilPaintingIntensity},
        {&b.sketchIntensity, ranges::sketchIntensity},
        {&b.sketchEdge, ranges::sketchEdge},
        {&a.brightness, ranges::brightness},
        {&a.exposure, ranges::exposure},
        {&a.contrast, ranges::contrast},
        {&a.saturation, ranges::saturation},
        {&a.gamma, ranges::gamma},
        {&a.hue, ranges::hue},
        {&a.red, ranges::channel},
        {&a.green, ranges::channel},
        {&a.blue, ranges::channel}};
    std::size_t line = 21;
    for (const auto& [field, range] : sliders)
        valueAt(line++, *field, range);
}

QString ControlValues::toText() const {
    QString text;
    for (const QString& line : lines)
        text += line + QLatin1Char('\n');
    return text;
}

std::optional<ControlValues> ControlValues::fromText(const QString& text) {
    const QStringList pieces = text.split(QLatin1Char('\n'));
    if (pieces.size() != kLineCount + 1)
        return std::nullopt;
    ControlValues values;
    for (int i = 0; i < kLineCount; ++i)
        values.lines[static_cast<size_t>(i)] = pieces[i];
    return values;
}

QString formatSliderValue(float value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    std::string text(buffer, result.ptr);
    if (text.find('.') == std::string::npos)
        text += ".0";
    return QString::fromStdString(text);
}

std::optional<int> parseIntegerLine(const QString& line) {
    const std::string text = line.toStdString();
    if (text.empty())
        return std::nullopt;
    size_t start = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (start == text.size())
        return std::nullopt;
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    }
    int value = 0;
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    const auto result = std::from_chars(first, text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<float> parseValueLine(const QString& line) {
    const std::string text = line.toStdString();
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    float value = 0;
    // from_chars always uses the C locale and rejects a leading '+', which strtod takes.
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    const auto result = std::from_chars(first, text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace vividra
