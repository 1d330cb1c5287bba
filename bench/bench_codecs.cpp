#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

#include "model/colour/photo_colour.h"
#include "model/effects/image_tools.h"
#include "model/effects/preview_rendering.h"
#include "model/files/photo_metadata.h"

// Picture decoding and encoding at 6000 × 4000. The photograph in the shared
// folder, resized with ImageMagick, stands in for a real photo where both are
// present; otherwise a generated picture with gradients and grain.

namespace {

using vividra::firstLookOfFile;
using vividra::ImageTools;
using vividra::PhotoMetadata;
using vividra::Picture;
namespace colour = vividra::colour;
namespace metadata = vividra::metadata;

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

// The photo with nothing beside its pixels, and with a Display P3 profile and the
// metadata a camera writes (the shared photograph's EXIF and XMP: 49 kB).
Picture plainPhoto() {
    Picture plain = photo();
    plain.metadata.reset();
    return plain;
}

Picture taggedPhoto() {
    QFile source(QStringLiteral("/work/shared/photos/elephants-18mp.jpg"));
    PhotoMetadata metadata;
    if (source.open(QIODevice::ReadOnly))
        metadata = metadata::read(source.readAll(), metadata::Container::jpeg);
    metadata.iccProfile = colour::profileFromPrimaries(
        {0.680f, 0.320f, 0.265f, 0.690f, 0.150f, 0.060f, 0.3127f, 0.3290f}, 13);
    Picture tagged = photo();
    tagged.metadata = std::make_shared<const PhotoMetadata>(metadata);
    return tagged;
}

const QString& jpegFile(bool tagged) {
    static const QString paths[2] = {[] {
                                         const QString p = scratch(QStringLiteral("q100.jpg"));
                                         ImageTools::writeImage(plainPhoto(), p, 1, 1.0);
                                         return p;
                                     }(),
                                     [] {
                                         const QString p =
                                             scratch(QStringLiteral("q100-tagged.jpg"));
                                         ImageTools::writeImage(taggedPhoto(), p, 1, 1.0);
                                         return p;
                                     }()};
    return paths[tagged ? 1 : 0];
}

// Without and with a profile and metadata, which are read beside the pixels.
void BM_JpegDecode(benchmark::State& state) {
    const QString& path = jpegFile(state.range(0) != 0);
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
    const QString& path = jpegFile(false);
    for (auto _ : state) {
        const Picture picture = firstLookOfFile(path, QSize(1200, 800));
        if (picture.isEmpty()) {
            state.SkipWithError("decode failed");
            return;
        }
        benchmark::DoNotOptimize(picture.image.constBits());
    }
}

void encode(benchmark::State& state, int code, const QString& name, bool tagged = false) {
    const Picture picture = tagged ? taggedPhoto() : plainPhoto();
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

// Without and with the profile and metadata to embed.
void BM_JpegEncodeQuality100(benchmark::State& state) {
    encode(state, 1, QStringLiteral("out.jpg"), state.range(0) != 0);
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

BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->Arg(0)->Arg(1);
BENCHMARK(BM_JpegFirstLook)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegEncodeQuality100)->Unit(benchmark::kMillisecond)->UseRealTime()->Arg(0)->Arg(1);
BENCHMARK(BM_PngEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_HeicEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
