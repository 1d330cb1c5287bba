#include "model/files/profile_file.h"

#include <QFile>
#include <QSaveFile>
#include <QStringConverter>

#include <charconv>
#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include "model/history/control_values.h"

namespace vividra::profile {
namespace {

QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// A name the combo does not list is a combo without a selection.
QString comboIndex(const QStringList& items, const QString& name) {
    return QString::number(items.indexOf(name));
}

bool isLineBreak(QChar c) {
    switch (c.unicode()) {
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

QStringList splitAtLineBreaks(const QString& text) {
    QStringList pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isLineBreak(text[i])) {
            pieces.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    pieces.append(text.mid(start));
    return pieces;
}

// The settings' fields in the order of their lines, up to the colour. The button's line
// (1) and the label's (19) hold no field.
std::vector<const SettingField*> lineFields() {
    std::vector<const SettingField*> order{&fields::customColour, nullptr};
    for (const bool foreground : {true, false})
        for (const SettingField& f : fields::switches(foreground))
            order.push_back(&f);
    order.insert(order.end(), {&fields::brushSize, nullptr});
    for (const bool foreground : {true, false})
        for (const SettingField& f : fields::sliders(foreground))
            order.push_back(&f);
    for (const SettingField& f : fields::adjustments())
        order.push_back(&f);
    return order;
}

constexpr std::size_t kButtonLine = 1;
constexpr qsizetype kLabelLine = 19;

// A line that is not what its field needs, or out of its range, fails the whole profile.
bool readField(const SettingField& f, const QString& line, EditSettings& s) {
    const SettingField::Slot slot = f.in(s);
    const std::optional<int> number = parseIntegerLine(line);
    if (bool* const* on = std::get_if<bool*>(&slot)) {
        **on = number == 1;
        return number == 0 || number == 1;
    }
    if (QString* const* name = std::get_if<QString*>(&slot)) {
        if (!number || *number < -1 || *number >= f.items->size())
            return false;
        **name = *number < 0 ? QString() : f.items->at(*number);
        return true;
    }
    const std::optional<float> value = parseValueLine(line);
    if (!value || !f.accepts(*value))
        return false;
    *std::get<float*>(slot) = *value;
    return true;
}

} // namespace

QString formatDecimal(float value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos)
        text += ".0";
    return QString::fromStdString(text);
}

QString text(const EditSettings& settings, const QString& brushLabel) {
    EditSettings s = settings;
    QStringList lines;
    for (const SettingField* f : lineFields()) {
        if (!f) {
            lines << (static_cast<std::size_t>(lines.size()) == kButtonLine ? flag(false)
                                                                            : brushLabel);
            continue;
        }
        const SettingField::Slot slot = f->in(s);
        if (bool* const* on = std::get_if<bool*>(&slot))
            lines << flag(**on);
        else if (QString* const* name = std::get_if<QString*>(&slot))
            lines << comboIndex(*f->items, **name);
        else
            lines << formatDecimal(*std::get<float*>(slot));
    }
    const QColor rgb = s.brush.colour.toRgb();
    for (const float v : {static_cast<float>(rgb.redF()), static_cast<float>(rgb.greenF()),
                          static_cast<float>(rgb.blueF())})
        lines << formatDecimal(v);
    lines << flag(s.brush.eraser);

    QString out;
    for (const QString& line : lines)
        out += line + QLatin1Char('\n');
    return out;
}

std::optional<Values> parse(const QString& text, const EditSettings& current) {
    const QStringList lines = splitAtLineBreaks(text);
    if (lines.size() != kLineCount + 1)
        return std::nullopt;
    Values v{current, lines[kLabelLine]};
    EditSettings& s = v.settings;
    const std::vector<const SettingField*> order = lineFields();
    for (std::size_t i = 0; i < order.size(); ++i) {
        // The button's state is written but means nothing on load.
        const bool ok = order[i]           ? readField(*order[i], lines[i], s)
                        : i == kButtonLine ? parseIntegerLine(lines[i]).has_value()
                                           : !lines[i].isEmpty();
        if (!ok)
            return std::nullopt;
    }
    qsizetype line = static_cast<qsizetype>(order.size());
    float rgb[3];
    for (float& c : rgb) {
        const std::optional<float> value = parseValueLine(lines[line++]);
        if (!value || !(*value >= 0 && *value <= 1))
            return std::nullopt;
        c = *value;
    }
    s.brush.colour = QColor::fromRgbF(rgb[0], rgb[1], rgb[2], 1.0f);
    if (!readField(fields::eraser, lines[line], s))
        return std::nullopt;
    return v;
}

std::optional<QString> readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaximumFileSize)
        return std::nullopt;
    // A device may claim size 0 and stream on; read one byte past the limit to tell.
    const QByteArray bytes = file.read(kMaximumFileSize + 1);
    if (bytes.size() > kMaximumFileSize || bytes.contains('\0'))
        return std::nullopt;
    auto decoder = QStringDecoder(QStringDecoder::Utf8);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool writeFile(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text.toUtf8();
    // QSaveFile commits even when its buffered write failed for a full disk, which would
    // replace the old profile with a cut-off one: flush and look first.
    if (file.write(bytes) != bytes.size() || !file.flush() ||
        file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace vividra::profile
