// Select Subject's parts on generated scenes: GrabCut at the working sizes the one-second
// preview chooses between, the guided filter's full-resolution mask at 24 MP, and OpenCV's
// own GrabCut on the whole 6 MP scene once, for comparison.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>

#include "kernels/subject_mask.h"
#include "tests/support/subject_scenes.h"

namespace {

using namespace vividra;

const testing::SubjectScene& scene(int width, int height) {
    static testing::SubjectScene s;
    if (s.width != width || s.height != height)
        s = testing::makeSubjectScene(testing::SceneKind::patchedDisc, width, height);
    return s;
}

fx::ConstImageView viewOf(const testing::SubjectScene& s) {
    return {s.rgba.data(), s.width, s.height, s.width * 4, fx::ChannelOrder::RGBA};
}

fx::PixelRect boxOf(const testing::SubjectScene& s) {
    return {s.boxX, s.boxY, s.boxWidth, s.boxHeight};
}

// Release to reduced mask at a working size of range(0) thousand pixels, on a 24 MP scene.
void BM_SubjectGrabCut(benchmark::State& state) {
    const auto& s = scene(6000, 4000);
    const fx::SubjectFrame frame =
        fx::subjectFrame(s.width, s.height, boxOf(s), static_cast<double>(state.range(0)) * 1000);
    for (auto _ : state)
        benchmark::DoNotOptimize(fx::segmentSubject(viewOf(s), frame, boxOf(s)));
    const double megapixels = static_cast<double>(frame.width) * frame.height / 1e6;
    state.counters["working_MP"] = megapixels;
    state.counters["s_per_MP"] = benchmark::Counter(
        megapixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The reduced mask brought to the full 24 MP.
void BM_SubjectFullMask(benchmark::State& state) {
    const auto& s = scene(6000, 4000);
    const fx::SubjectFrame frame = fx::subjectFrame(s.width, s.height, boxOf(s));
    const auto reduced = fx::segmentSubject(viewOf(s), frame, boxOf(s));
    for (auto _ : state)
        benchmark::DoNotOptimize(fx::refineSubjectMask(*reduced, viewOf(s)));
    state.counters["full_MP"] = static_cast<double>(frame.region.width) * frame.region.height / 1e6;
}

// OpenCV's GrabCut as its documentation shows it: the whole 6 MP picture, five iterations.
void BM_OpenCvGrabCut6MP(benchmark::State& state) {
    const auto& s = scene(3000, 2000);
    cv::Mat rgba(s.height, s.width, CV_8UC4, const_cast<std::uint8_t*>(s.rgba.data()));
    cv::Mat colours;
    cv::cvtColor(rgba, colours, cv::COLOR_RGBA2BGR);
    for (auto _ : state) {
        cv::Mat mask, bg, fg;
        cv::grabCut(colours, mask, cv::Rect(s.boxX, s.boxY, s.boxWidth, s.boxHeight), bg, fg, 5,
                    cv::GC_INIT_WITH_RECT);
        benchmark::DoNotOptimize(mask.data);
    }
}

} // namespace

BENCHMARK(BM_SubjectGrabCut)
    ->Unit(benchmark::kMillisecond)
    ->Arg(100)
    ->Arg(250)
    ->Arg(400)
    ->Arg(600)
    ->Iterations(2);
BENCHMARK(BM_SubjectFullMask)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_OpenCvGrabCut6MP)->Unit(benchmark::kMillisecond)->Iterations(1);
