#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

#include "model/effects/image_tools.h"
#include "model/effects/preview_rendering.h"

// Picture decoding and encoding at 6000 × 4000. The photograph in the shared
// folder, resized with ImageMagick, stands in for a real photo where both are
// present; otherwise a generated picture with gradients and grain.

namespace {

using vividra::firstLookOfFile;
using vividra::ImageTools;
using vividra::Picture;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

QString scratch(const QString& name) {
    return QDir::tempPath() + QStringLiteral("/vividra-bench-codecs-") + name;
}

QImage generatedPhoto() {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    QRandomGenerator grain(11);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const double u = double(x) / kWidth, v = double(y) / kHeight;
            const int n = static_cast<int>(grain.bounded(9)) - 4;
            const double wave = 40 * std::sin(u * 25) * std::cos(v * 17);
            row[x] = qRgb(std::clamp(static_cast<int>(60 + 150 * u + wave) + n, 0, 255),
                          std::clamp(static_cast<int>(90 + 110 * v - wave) + n, 0, 255),
                          std::clamp(static_cast<int>(200 - 140 * u * v) + n, 0, 255));
        }
    }
    return image;
}

const Picture& photo() {
    static const Picture picture = [] {
        const QString source = QStringLiteral("/work/shared/photos/elephants-18mp.jpg");
        const QString resized = scratch(QStringLiteral("photo.jpg"));
        if (QFile::exists(source) && !QFile::exists(resized))
            QProcess::execute(QStringLiteral("convert"),
                              {source, QStringLiteral("-resize"), QStringLiteral("6000x4000!"),
                               QStringLiteral("-quality"), QStringLiteral("95"), resized});
        std::optional<Picture> read = ImageTools::readPicture(resized);
        if (read && read->image.size() == QSize(kWidth, kHeight))
            return *read;
        return Picture(generatedPhoto());
    }();
    return picture;
}

const QString& jpegFile() {
    static const QString path = [] {
        const QString p = scratch(QStringLiteral("q100.jpg"));
        ImageTools::writeImage(photo(), p, 1, 1.0);
        return p;
    }();
    return path;
}

void BM_JpegDecode(benchmark::State& state) {
    const QString& path = jpegFile();
    for (auto _ : state) {
        std::optional<Picture> picture = ImageTools::readPicture(path);
        if (!picture) {
            state.SkipWithError("decode failed");
            return;
        }
        benchmark::DoNotOptimize(picture->image.constBits());
    }
    state.counters["MB"] = QFile(path).size() / 1e6;
}

// The quick look of a newly opened photo: a 1200 × 800 copy decoded at a quarter scale.
void BM_JpegFirstLook(benchmark::State& state) {
    const QString& path = jpegFile();
    for (auto _ : state) {
        const Picture picture = firstLookOfFile(path, QSize(1200, 800));
        if (picture.isEmpty()) {
            state.SkipWithError("decode failed");
            return;
        }
        benchmark::DoNotOptimize(picture.image.constBits());
    }
}

void encode(benchmark::State& state, int code, const QString& name) {
    const Picture& picture = photo();
    const QString path = scratch(name);
    for (auto _ : state) {
        if (!ImageTools::writeImage(picture, path, code, 1.0)) {
            state.SkipWithError("encode failed");
            return;
        }
    }
    state.counters["MB"] = QFile(path).size() / 1e6;
    QFile::remove(path);
}

void BM_JpegEncodeQuality100(benchmark::State& state) {
    encode(state, 1, QStringLiteral("out.jpg"));
}

void BM_PngEncode(benchmark::State& state) {
    encode(state, 5, QStringLiteral("out.png"));
}

void BM_HeicEncode(benchmark::State& state) {
    if (!ImageTools::heicEncodingAvailable()) {
        state.SkipWithError("no HEVC encoder");
        return;
    }
    encode(state, 11, QStringLiteral("out.heic"));
}

} // namespace

BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegFirstLook)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegEncodeQuality100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PngEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_HeicEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
