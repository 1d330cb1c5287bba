#include "model/history/control_values.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

namespace vividra {

namespace {

// The field each line holds, in order; none for the button and the label lines.
// The foreground's sketch intensity is not among them.
const std::array<const SettingField*, ControlValues::kLineCount>& lineFields() {
    static const auto order = [] {
        std::array<const SettingField*, ControlValues::kLineCount> o{};
        std::size_t line = 0;
        o[line++] = &fields::customColour;
        line++; // the custom colour button is a push button, never on
        for (const bool foreground : {true, false})
            for (const SettingField& f : fields::switches(foreground))
                o[line++] = &f;
        o[line++] = &fields::eraser;
        o[line++] = &fields::brushSize;
        line++; // the brush label
        for (const bool foreground : {true, false})
            for (const SettingField& f : fields::sliders(foreground))
                if (!foreground || std::string_view(f.name) != "sketchIntensity")
                    o[line++] = &f;
        for (const SettingField& f : fields::adjustments())
            o[line++] = &f;
        return o;
    }();
    return order;
}

} // namespace

ControlValues ControlValues::record(const EditSettings& settings) {
    EditSettings s = settings;
    ControlValues v;
    v.lines[1] = QStringLiteral("0");
    v.lines[kLabelLine] = s.brushLabel();
    for (std::size_t line = 0; line < lineFields().size(); ++line) {
        const SettingField* f = lineFields()[line];
        if (!f)
            continue;
        const SettingField::Slot slot = f->in(s);
        if (const auto* on = std::get_if<bool*>(&slot))
            v.lines[line] = **on ? QStringLiteral("1") : QStringLiteral("0");
        else if (const auto* name = std::get_if<QString*>(&slot))
            v.lines[line] = QString::number(std::max<qsizetype>(0, f->items->indexOf(**name)));
        else
            v.lines[line] = formatSliderValue(*std::get<float*>(slot));
    }
    return v;
}

void ControlValues::applyTo(EditSettings& s) const {
    for (std::size_t line = 0; line < lineFields().size(); ++line) {
        const SettingField* f = lineFields()[line];
        if (!f)
            continue;
        const SettingField::Slot slot = f->in(s);
        if (const auto* on = std::get_if<bool*>(&slot)) {
            if (const auto v = parseIntegerLine(lines[line]))
                **on = *v != 0;
        } else if (const auto* name = std::get_if<QString*>(&slot)) {
            const auto v = parseIntegerLine(lines[line]);
            if (v && *v >= 0 && *v < f->items->size())
                **name = f->items->at(*v);
        } else if (const auto v = parseValueLine(lines[line]); v && f->accepts(*v)) {
            // A value its slider cannot show (a stray exponent, NaN) would reach the filters.
            *std::get<float*>(slot) = *v;
        }
    }
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
