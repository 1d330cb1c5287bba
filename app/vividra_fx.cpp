// vividra-fx: reads a picture as the editor does, applies filter steps left to
// right and writes the result through the editor's encoder. For benchmarks and
// for tuning the looks without the window.

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include "effects/image_tools.h"
#include "effects/kernels/photo_look.h"

namespace {

using vividra::ImageTools;
using vividra::Picture;

using Step = std::function<Picture(const Picture&)>;

constexpr const char* kUsage =
    "usage: vividra-fx INPUT OUTPUT [OPERATION ARGUMENTS]...\n"
    "operations: photo NAME | sepia K | blur R | kuwahara R | sketch T S | brightness B |\n"
    "            contrast K | saturation S | exposure E | gamma G | hue H | rgb R G B\n";

void printLine(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

int usage(const QString& problem) {
    printLine(QStringLiteral("vividra-fx: ") + problem);
    std::fputs(kUsage, stderr);
    return 2;
}

std::optional<float> number(const QString& text) {
    bool ok = false;
    const float value = text.toFloat(&ok);
    return ok && std::isfinite(value) ? std::optional<float>(value) : std::nullopt;
}

// One operation from the arguments at `at`; advances `at` past it. Returns
// nothing and sets `problem` when the operation or one of its values is bad.
std::optional<Step> parseStep(const QStringList& args, int& at, QString& problem) {
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
        if (!vividra::fx::lookFromName(values[0].toStdString())) {
            problem = QStringLiteral("unknown photo look \"%1\"").arg(values[0]);
            return std::nullopt;
        }
        return
            [look = values[0]](const Picture& p) { return ImageTools::applyPhotoEffect(p, look); };
    }
    if (name == QLatin1String("kuwahara")) {
        bool ok = false;
        const unsigned radius = values[0].toUInt(&ok);
        if (!ok) {
            problem = QStringLiteral("kuwahara needs a whole radius, not \"%1\"").arg(values[0]);
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
    for (const auto& [single, apply] : singles)
        if (name == QLatin1String(single))
            return [apply, value = v[0]](const Picture& p) { return apply(p, value); };
    problem = QStringLiteral("unknown operation \"%1\"").arg(name);
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return usage(QStringLiteral("INPUT and OUTPUT are required"));
    const QString input = args[0];
    const QString output = args[1];
    const int code = ImageTools::formatCode(QFileInfo(output).suffix().toLower());
    if (code < 0)
        return usage(QStringLiteral("no picture format for \"%1\"").arg(output));

    std::vector<Step> steps;
    for (int at = 2; at < args.size();) {
        QString problem;
        std::optional<Step> step = parseStep(args, at, problem);
        if (!step)
            return usage(problem);
        steps.push_back(std::move(*step));
    }

    QString reason;
    std::optional<Picture> picture = ImageTools::readPicture(input, &reason);
    if (!picture) {
        printLine(QStringLiteral("vividra-fx: cannot read %1: %2").arg(input, reason));
        return 1;
    }
    for (const Step& step : steps)
        picture = step(*picture);
    if (!ImageTools::writeImage(*picture, output, code, 1.0)) {
        printLine(QStringLiteral("vividra-fx: cannot write %1").arg(output));
        return 1;
    }
    return 0;
}
