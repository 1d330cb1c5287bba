// A Display P3 photo's 1400 × 900 screen window converted to sRGB for drawing, by
// ScreenColour on the path VIVIDRA_ISA picks, and by LittleCMS's own transform on one core.
#include <benchmark/benchmark.h>

#include <lcms2.h>

#include <QElapsedTimer>
#include <QImage>

#include <cstring>
#include <random>

#include "kernels/pixel_ops.h"
#include "model/colour/screen_colour.h"

namespace {

QByteArray displayP3() {
    const cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsFreeToneCurve(curve);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(p, nullptr, &size);
    QByteArray bytes(static_cast<qsizetype>(size), '\0');
    cmsSaveProfileToMem(p, bytes.data(), &size);
    cmsCloseProfile(p);
    return bytes;
}

// An opaque window with photo-like gradients, edges and grain.
const QImage& window() {
    static const QImage image = [] {
        QImage w(1400, 900, QImage::Format_ARGB32_Premultiplied);
        std::mt19937 rng(1);
        for (int y = 0; y < w.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(w.scanLine(y));
            for (int x = 0; x < w.width(); ++x) {
                const int n = static_cast<int>(rng() & 15);
                row[x] = qRgb((x / 6 + n) & 0xff, (y / 4 + (x * y) / 5000 + n) & 0xff,
                              ((x + y) / 40 % 2 ? 200 : 40) + n);
            }
        }
        return w;
    }();
    return image;
}

const char* pathName() {
    using vividra::fx::detail::Isa;
    const Isa path = vividra::fx::detail::isa();
    return path == Isa::Avx512 ? "avx512" : path == Isa::Avx2 ? "avx2" : "base";
}

void BM_ScreenColourWindow(benchmark::State& state) {
    const vividra::ScreenColour colour(displayP3(), {});
    QImage work = window().copy();
    for (auto _ : state) {
        // Each round converts the window as drawn, not the last round's result.
        std::memcpy(work.bits(), window().constBits(),
                    static_cast<std::size_t>(work.sizeInBytes()));
        QElapsedTimer t;
        t.start();
        if (!colour.apply(work)) {
            state.SkipWithError("out of memory");
            return;
        }
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
    state.SetLabel(pathName());
}

void BM_LittleCmsWindow(benchmark::State& state) {
    const QByteArray p3 = displayP3();
    cmsHPROFILE from =
        cmsOpenProfileFromMem(p3.constData(), static_cast<cmsUInt32Number>(p3.size()));
    cmsHPROFILE to = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = cmsCreateTransform(from, TYPE_BGRA_8, to, TYPE_BGRA_8,
                                                 INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA);
    QImage work = window().copy();
    for (auto _ : state) {
        std::memcpy(work.bits(), window().constBits(),
                    static_cast<std::size_t>(work.sizeInBytes()));
        QElapsedTimer t;
        t.start();
        cmsDoTransform(transform, work.bits(), work.bits(),
                       static_cast<cmsUInt32Number>(work.width() * work.height()));
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
    cmsDeleteTransform(transform);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
}

} // namespace

BENCHMARK(BM_ScreenColourWindow)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_LittleCmsWindow)->Unit(benchmark::kMillisecond)->UseManualTime();
