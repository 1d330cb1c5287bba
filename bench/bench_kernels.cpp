#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "kernels/adjustments.h"
#include "kernels/colour_key.h"
#include "kernels/gaussian_blur.h"
#include "kernels/kuwahara.h"
#include "kernels/photo_look.h"
#include "kernels/pixel_memory.h"
#include "kernels/resample.h"
#include "kernels/sepia.h"
#include "kernels/sketch.h"

namespace {

using namespace vividra::fx;

// A 6000×4000 BGRA picture with photo-like structure, and an output of the same
// size, both allocated and touched once and kept for every case.
struct Pictures {
    static constexpr int kWidth = 6000, kHeight = 4000;
    static constexpr std::size_t kBytes = std::size_t{kWidth} * kHeight * 4;
    std::uint8_t* in = static_cast<std::uint8_t*>(allocatePixels(kBytes));
    std::uint8_t* out = static_cast<std::uint8_t*>(allocatePixels(kBytes));

    Pictures() {
        if (!in || !out)
            return;
        std::mt19937 rng(1);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                std::uint8_t* p = in + (std::size_t{4} * (std::size_t{kWidth} * y + x));
                const int n = static_cast<int>(rng() & 15);
                p[0] = static_cast<std::uint8_t>((x / 24 + n) & 0xff);
                p[1] = static_cast<std::uint8_t>((y / 16 + (x * y) / 90000 + n) & 0xff);
                p[2] = static_cast<std::uint8_t>(((x + y) / 40 % 2 ? 200 : 40) + n);
                p[3] = 255;
            }
        std::memset(out, 0, kBytes);
    }
    ConstImageView source() const { return {in, kWidth, kHeight, kWidth * 4, ChannelOrder::BGRA}; }
    ImageView target() const { return {out, kWidth, kHeight, kWidth * 4, ChannelOrder::BGRA}; }
};

const Pictures& pictures() {
    static const Pictures p;
    return p;
}

template <class F> void run(benchmark::State& state, F&& filter) {
    const Pictures& p = pictures();
    // Tables and scratch memory, once; a filter that cannot run is no measurement.
    if (!p.in || !p.out || !filter(p.source(), p.target())) {
        state.SkipWithError("out of memory");
        return;
    }
    for (auto _ : state) {
        if (!filter(p.source(), p.target())) {
            state.SkipWithError("out of memory");
            break;
        }
        benchmark::ClobberMemory();
    }
}

void BM_GaussianBlur(benchmark::State& s) {
    run(s, [&](auto i, auto o) { return gaussianBlur(i, o, static_cast<double>(s.range(0))); });
}
void BM_Kuwahara(benchmark::State& s) {
    run(s, [&](auto i, auto o) { return kuwahara(i, o, static_cast<unsigned>(s.range(0))); });
}
void BM_Sketch(benchmark::State& s) {
    run(s, [](auto i, auto o) { return sketch(i, o, 0.0004, 1.5); });
}
void BM_Sepia(benchmark::State& s) {
    run(s, [](auto i, auto o) { return sepia(i, o, 0.9); });
}
void BM_Brightness(benchmark::State& s) {
    run(s, [](auto i, auto o) { return brightness(i, o, 0.1f); });
}
void BM_Contrast(benchmark::State& s) {
    run(s, [](auto i, auto o) { return contrast(i, o, 1.3f); });
}
void BM_Saturation(benchmark::State& s) {
    run(s, [](auto i, auto o) { return saturation(i, o, 1.4f); });
}
void BM_Exposure(benchmark::State& s) {
    run(s, [](auto i, auto o) { return exposure(i, o, 0.5f); });
}
void BM_Gamma(benchmark::State& s) {
    run(s, [](auto i, auto o) { return gamma(i, o, 0.8f); });
}
void BM_Hue(benchmark::State& s) {
    run(s, [](auto i, auto o) { return hue(i, o, 40.0f); });
}
void BM_Rgb(benchmark::State& s) {
    run(s, [](auto i, auto o) { return rgb(i, o, 1.1f, 0.9f, 1.0f); });
}
void BM_AllAdjustmentsFused(benchmark::State& s) {
    Adjustments a;
    a.brightness = 0.05f, a.contrast = 1.2f, a.saturation = 1.3f, a.exposure = 0.3f;
    a.gamma = 0.9f, a.hue = 15.0f, a.rgb = std::array<float, 3>{1.05f, 1.0f, 0.95f};
    run(s, [&](auto i, auto o) { return applyAdjustments(i, o, a); });
}
// The kept colour over the whole picture, the picture revealing itself where its hue is near
// orange: the guide and the reveal are read, the target read and written.
void BM_KeepColour(benchmark::State& s) {
    run(s, [](auto i, auto o) { return revealByHue(i, i, o, HueKey{30.0f, 20.0f, 15.0f}); });
}
void BM_PhotoLook(benchmark::State& s) {
    run(s, [&](auto i, auto o) { return photoLook(i, o, static_cast<Look>(s.range(0))); });
}

// The box's window of the picture in a 1100 × 830 box: fitted (arg 1), and at five times
// (arg 5), where only a twenty-fifth of the picture is read.
void BM_ResampleWindow(benchmark::State& s) {
    const int zoom = static_cast<int>(s.range(0));
    const int fullWidth = 1100 * zoom, fullHeight = 733 * zoom;
    run(s, [&](auto i, auto o) {
        const ImageView window{o.data, 1100, std::min(733, 830), 1100 * 4, o.order};
        return resampleWindow(i, fullWidth, fullHeight, (fullWidth - 1100) / 2,
                              (fullHeight - 733) / 2, window);
    });
}

} // namespace

BENCHMARK(BM_GaussianBlur)->Arg(5)->Arg(35)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Kuwahara)
    ->Arg(2)
    ->Arg(4)
    ->Arg(10)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ResampleWindow)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Sketch)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Sepia)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Brightness)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Contrast)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Saturation)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Exposure)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Gamma)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Hue)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rgb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AllAdjustmentsFused)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KeepColour)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PhotoLook)->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->UseRealTime();
