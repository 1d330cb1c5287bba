#include "app/fx/fx_arguments.h"

#include <QFileInfo>

#include <cmath>

#include "kernels/photo_look.h"
#include "model/effects/image_tools.h"
#include "model/files/keep_sidecar.h"
#include "model/session/control_ranges.h"

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

const QString kDashes = QStringLiteral("--");

// A number of degrees from 0 to `maximum` for `option`, or nothing with `problem` set.
std::optional<float> degrees(const QString& option, const QString& text, float maximum,
                             QString& problem) {
    const std::optional<float> value = number(text);
    if (!value || *value < 0.0f || *value > maximum) {
        problem = QStringLiteral("%1 needs degrees from 0 to %2, not \"%3\"")
                      .arg(option)
                      .arg(static_cast<double>(maximum))
                      .arg(text);
        return std::nullopt;
    }
    return value;
}

// X,Y,W,H, each a number, all in pixels or all ending in "%"; the width and height above 0.
std::optional<FxFolderArguments::SubjectBox> subjectBox(const QString& text, QString& problem) {
    const QStringList parts = text.split(QLatin1Char(','));
    FxFolderArguments::SubjectBox box;
    box.percent = !parts.isEmpty() && parts[0].endsWith(QLatin1Char('%'));
    double* fields[] = {&box.x, &box.y, &box.width, &box.height};
    bool fine = parts.size() == 4;
    for (qsizetype i = 0; fine && i < 4; ++i) {
        const bool percent = parts[i].endsWith(QLatin1Char('%'));
        const std::optional<float> value = number(percent ? parts[i].chopped(1) : parts[i]);
        fine = percent == box.percent && value && *value >= 0.0f &&
               (!box.percent || *value <= 100.0f) && (i < 2 || *value > 0.0f);
        if (fine)
            *fields[i] = *value;
    }
    if (fine)
        return box;
    problem =
        QStringLiteral("--subject needs X,Y,W,H in pixels, or each in %, not \"%1\"").arg(text);
    return std::nullopt;
}

} // namespace

QRect FxFolderArguments::SubjectBox::in(const QSize& picture) const {
    const double sx = percent ? picture.width() / 100.0 : 1.0;
    const double sy = percent ? picture.height() / 100.0 : 1.0;
    const QRectF box(x * sx, y * sy, width * sx, height * sy);
    // Clipped before rounding, so no number given can overflow a pixel position.
    return (box & QRectF(QPointF(0, 0), QSizeF(picture))).toAlignedRect() &
           QRect(QPoint(0, 0), picture);
}

bool FxFolderArguments::isFolderForm(const QStringList& args) {
    return !args.isEmpty() && args[0].startsWith(kDashes);
}

std::optional<FxFolderArguments> FxFolderArguments::parse(const QStringList& args,
                                                          QString& problem) {
    FxFolderArguments result;
    QStringList given;
    bool optionsEnd = false;
    for (qsizetype at = 0; at < args.size(); ++at) {
        const QString& arg = args[at];
        if (optionsEnd || !arg.startsWith(kDashes)) {
            result.inputs.append(arg);
            continue;
        }
        if (arg == kDashes) {
            optionsEnd = true;
            continue;
        }
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString option = equals < 0 ? arg : arg.left(equals);
        static const QStringList known{QStringLiteral("--profile"), QStringLiteral("--keep-hue"),
                                       QStringLiteral("--tolerance"), QStringLiteral("--out"),
                                       QStringLiteral("--subject")};
        if (!known.contains(option)) {
            problem = QStringLiteral("unknown option \"%1\"").arg(option);
            return std::nullopt;
        }
        if (given.contains(option)) {
            problem = QStringLiteral("%1 is given twice").arg(option);
            return std::nullopt;
        }
        given.append(option);
        QString value;
        if (equals >= 0)
            value = arg.mid(equals + 1);
        else if (at + 1 < args.size() && !args[at + 1].startsWith(kDashes))
            value = args[++at];
        if (value.isEmpty()) {
            problem = QStringLiteral("%1 needs a value").arg(option);
            return std::nullopt;
        }
        if (option == known[0]) {
            result.profile = value;
        } else if (option == known[3]) {
            result.outFolder = value;
        } else if (option == known[4]) {
            result.subject = subjectBox(value, problem);
            if (!result.subject)
                return std::nullopt;
        } else {
            const bool hue = option == known[1];
            std::optional<float>& slot = hue ? result.keepHue : result.tolerance;
            slot = degrees(option, value, hue ? sidecar::kMaximumHue : sidecar::kMaximumTolerance,
                           problem);
            if (!slot)
                return std::nullopt;
        }
    }
    if (result.profile.isEmpty())
        problem = QStringLiteral("--profile is required");
    else if (result.outFolder.isEmpty())
        problem = QStringLiteral("--out is required");
    else if (result.inputs.isEmpty())
        problem = QStringLiteral("no INPUT pictures");
    else if (result.tolerance && !result.keepHue)
        problem = QStringLiteral("--tolerance needs --keep-hue");
    else
        return result;
    return std::nullopt;
}

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
