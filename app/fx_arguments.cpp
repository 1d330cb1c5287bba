#include "app/fx_arguments.h"

#include <QFileInfo>

#include <cmath>

#include "controls/control_ranges.h"
#include "effects/image_tools.h"
#include "effects/kernels/photo_look.h"

namespace vividra {
namespace {

using Step = FxArguments::Step;

std::optional<float> number(const QString& text) {
    bool ok = false;
    const float value = text.toFloat(&ok);
    return ok && std::isfinite(value) ? std::optional<float>(value) : std::nullopt;
}

// One operation from the arguments at `at`; advances `at` past it. Returns
// nothing and sets `problem` when the operation or one of its values is bad.
std::optional<Step> parseStep(const QStringList& args, qsizetype& at, QString& problem) {
    const QString name = args[at++];
    struct Shape {
        const char* name;
        int count;
    };
    static const Shape shapes[] = {{"photo", 1},    {"sepia", 1},      {"blur", 1},
                                   {"kuwahara", 1}, {"sketch", 2},     {"brightness", 1},
                                   {"contrast", 1}, {"saturation", 1}, {"exposure", 1},
                                   {"gamma", 1},    {"hue", 1},        {"rgb", 3}};
    int count = -1;
    for (const Shape& s : shapes)
        if (name == QLatin1String(s.name))
            count = s.count;
    if (count < 0) {
        problem = QStringLiteral("unknown operation \"%1\"").arg(name);
        return std::nullopt;
    }
    if (at + count > args.size()) {
        problem = QStringLiteral("%1 needs %2 value(s)").arg(name).arg(count);
        return std::nullopt;
    }
    const QStringList values = args.mid(at, count);
    at += count;

    if (name == QLatin1String("photo")) {
        if (!fx::lookFromName(values[0].toStdString())) {
            problem = QStringLiteral("unknown photo look \"%1\"").arg(values[0]);
            return std::nullopt;
        }
        return
            [look = values[0]](const Picture& p) { return ImageTools::applyPhotoEffect(p, look); };
    }
    if (name == QLatin1String("kuwahara")) {
        bool ok = false;
        const unsigned radius = values[0].toUInt(&ok);
        // The filter's time grows with the square of the radius; the editor's slider
        // stops at 20, and so does this.
        if (!ok || radius > static_cast<unsigned>(ranges::oilPaintingIntensity.maximum)) {
            problem = QStringLiteral("kuwahara needs a whole radius from 0 to %1, not \"%2\"")
                          .arg(ranges::oilPaintingIntensity.maximum)
                          .arg(values[0]);
            return std::nullopt;
        }
        return [radius](const Picture& p) { return ImageTools::applyKuwahara(p, radius); };
    }
    std::vector<float> v;
    for (const QString& text : values) {
        const std::optional<float> value = number(text);
        if (!value) {
            problem = QStringLiteral("%1 needs a number, not \"%2\"").arg(name, text);
            return std::nullopt;
        }
        v.push_back(*value);
    }
    if (name == QLatin1String("blur") &&
        !(v[0] >= ranges::blurIntensity.minimum && v[0] <= ranges::blurIntensity.maximum)) {
        problem = QStringLiteral("blur needs a radius from 0 to %1, not \"%2\"")
                      .arg(ranges::blurIntensity.maximum)
                      .arg(values[0]);
        return std::nullopt;
    }
    if (name == QLatin1String("sketch")) {
        const double texel = values[0].toDouble();
        const double edge = values[1].toDouble();
        return [texel, edge](const Picture& p) { return ImageTools::applySketch(p, texel, edge); };
    }
    if (name == QLatin1String("rgb"))
        return [v](const Picture& p) { return ImageTools::applyRGB(p, v[0], v[1], v[2]); };
    using Single = Picture (*)(const Picture&, float);
    const std::pair<const char*, Single> singles[] = {
        {"sepia", ImageTools::applySepia},           {"blur", ImageTools::applyGaussianBlur},
        {"brightness", ImageTools::applyBrightness}, {"contrast", ImageTools::applyContrast},
        {"saturation", ImageTools::applySaturation}, {"exposure", ImageTools::applyExposure},
        {"gamma", ImageTools::applyGamma},           {"hue", ImageTools::applyHue},
    };
    for (const auto& [single, function] : singles)
        if (name == QLatin1String(single))
            return [apply = function, value = v[0]](const Picture& p) { return apply(p, value); };
    problem = QStringLiteral("unknown operation \"%1\"").arg(name);
    return std::nullopt;
}

} // namespace

std::optional<FxArguments> FxArguments::parse(const QStringList& args, QString& problem) {
    if (args.size() < 2) {
        problem = QStringLiteral("INPUT and OUTPUT are required");
        return std::nullopt;
    }
    FxArguments result;
    result.input = args[0];
    result.output = args[1];
    result.formatCode = ImageTools::formatCode(QFileInfo(result.output).suffix().toLower());
    if (result.formatCode < 0) {
        problem = QStringLiteral("no picture format for \"%1\"").arg(result.output);
        return std::nullopt;
    }
    for (qsizetype at = 2; at < args.size();) {
        std::optional<Step> step = parseStep(args, at, problem);
        if (!step)
            return std::nullopt;
        result.steps.push_back(std::move(*step));
    }
    return result;
}

} // namespace vividra
