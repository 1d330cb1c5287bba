#include "history/control_values.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>

namespace vividra {

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
