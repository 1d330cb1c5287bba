#include "persist/profile_file.h"

#include <QFile>
#include <QSaveFile>
#include <QStringConverter>

#include <charconv>
#include <cmath>
#include <string>

#include "controls/control_ranges.h"
#include "history/control_values.h"

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

// Reads the lines in order, remembering whether any failed.
class Reader {
public:
    explicit Reader(const QStringList& lines) : lines_(lines) {}
    bool ok() const { return ok_; }

    bool flag() {
        const std::optional<int> v = parseIntegerLine(next());
        if (!v || (*v != 0 && *v != 1))
            ok_ = false;
        return v.value_or(0) == 1;
    }
    void integer() {
        if (!parseIntegerLine(next()))
            ok_ = false;
    }
    QString combo(const QStringList& items) {
        const std::optional<int> v = parseIntegerLine(next());
        if (!v || *v < -1 || *v >= items.size()) {
            ok_ = false;
            return {};
        }
        return *v < 0 ? QString() : items[*v];
    }
    float decimal(float minimum, float maximum) {
        const std::optional<float> v = parseValueLine(next());
        // NaN fails both comparisons, infinities the range.
        if (!v || !(*v >= minimum && *v <= maximum)) {
            ok_ = false;
            return minimum;
        }
        return *v;
    }
    float slider(const SliderRange& range) { return decimal(range.minimum, range.maximum); }
    QString text() {
        const QString line = next();
        if (line.isEmpty())
            ok_ = false;
        return line;
    }

private:
    QString next() { return lines_.value(index_++); }
    const QStringList& lines_;
    qsizetype index_ = 0;
    bool ok_ = true;
};

void readLayerSwitches(Reader& r, EffectSettings& e) {
    e.blackWhiteOn = r.flag();
    e.blackWhiteEffect = r.combo(kBlackWhiteItems);
    e.colorEffectsOn = r.flag();
    e.colorEffect = r.combo(kColorEffectItems);
    e.sepiaOn = r.flag();
    e.blurOn = r.flag();
    e.oilPaintingOn = r.flag();
    e.sketchOn = r.flag();
}

void readLayerSliders(Reader& r, EffectSettings& e) {
    e.sepiaIntensity = r.slider(ranges::sepiaIntensity);
    e.blurIntensity = r.slider(ranges::blurIntensity);
    e.oilPaintingIntensity = r.slider(ranges::oilPaintingIntensity);
    e.sketchIntensity = r.slider(ranges::sketchIntensity);
    e.sketchEdge = r.slider(ranges::sketchEdge);
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

QString text(const EditSettings& s, const QString& brushLabel) {
    QStringList lines;
    lines.reserve(kLineCount);
    lines << flag(s.brush.customColor) << flag(false); // a push button has no "on"
    for (const EffectSettings* e : {&s.foreground, &s.background}) {
        lines << flag(e->blackWhiteOn) << comboIndex(kBlackWhiteItems, e->blackWhiteEffect)
              << flag(e->colorEffectsOn) << comboIndex(kColorEffectItems, e->colorEffect)
              << flag(e->sepiaOn) << flag(e->blurOn) << flag(e->oilPaintingOn) << flag(e->sketchOn);
    }
    lines << formatDecimal(s.brush.size) << brushLabel;
    for (const EffectSettings* e : {&s.foreground, &s.background})
        for (const float v : {e->sepiaIntensity, e->blurIntensity, e->oilPaintingIntensity,
                              e->sketchIntensity, e->sketchEdge})
            lines << formatDecimal(v);
    const AdjustmentSettings& a = s.adjustments;
    for (const float v : {a.brightness, a.exposure, a.contrast, a.saturation, a.gamma, a.hue, a.red,
                          a.green, a.blue})
        lines << formatDecimal(v);
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
    Values v{current, {}};
    EditSettings& s = v.settings;
    Reader r(lines);
    s.brush.customColor = r.flag();
    r.integer(); // the button's state is written but means nothing on load
    readLayerSwitches(r, s.foreground);
    readLayerSwitches(r, s.background);
    s.brush.size = r.slider(ranges::brushSize);
    v.brushLabel = r.text();
    readLayerSliders(r, s.foreground);
    readLayerSliders(r, s.background);
    AdjustmentSettings& a = s.adjustments;
    a.brightness = r.slider(ranges::brightness);
    a.exposure = r.slider(ranges::exposure);
    a.contrast = r.slider(ranges::contrast);
    a.saturation = r.slider(ranges::saturation);
    a.gamma = r.slider(ranges::gamma);
    a.hue = r.slider(ranges::hue);
    a.red = r.slider(ranges::channel);
    a.green = r.slider(ranges::channel);
    a.blue = r.slider(ranges::channel);
    const float red = r.decimal(0, 1);
    const float green = r.decimal(0, 1);
    const float blue = r.decimal(0, 1);
    s.brush.colour = QColor::fromRgbF(red, green, blue, 1.0f);
    s.brush.eraser = r.flag();
    if (!r.ok())
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
