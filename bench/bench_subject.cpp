// Select Subject on generated scenes: through the real window at 24 MP from the release of
// the box to the preview, to the full-resolution mask and to idle, with the main thread's
// longest stall; GrabCut alone at the working sizes the one-second preview chooses between;
// the guided filter's full-resolution mask; and OpenCV's own GrabCut on the whole 6 MP scene
// once, for comparison.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <QDir>

#include "bench_session.h"
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
    std::vector<std::uint8_t> reducedCopy;
    const auto reduced =
        fx::segmentSubject(viewOf(s), frame, boxOf(s), nullptr, nullptr, &reducedCopy);
    for (auto _ : state)
        benchmark::DoNotOptimize(fx::refineSubjectMask(*reduced, viewOf(s), nullptr, &reducedCopy));
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

// The 24 MP scene as a file the editor opens.
QString scenePath() {
    static const QString path = [] {
        const QString target = QDir::tempPath() + QStringLiteral("/vividra-bench-subject.jpg");
        if (!QFile::exists(target)) {
            const auto& s = scene(6000, 4000);
            QImage(s.rgba.data(), s.width, s.height, s.width * 4, QImage::Format_RGBA8888)
                .save(target, "JPEG", 95);
        }
        return target;
    }();
    return path;
}

void BM_SubjectSelection(benchmark::State& state) {
    const QString path = scenePath();
    const auto& scene24 = scene(6000, 4000);
    vividra::bench::Session s;
    SessionEngine& e = s.controller.engine();
    e.open(path);
    s.waitIdle();
    vividra::bench::StallMeter stall;
    double preview = 0, mask = 0, idle = 0;
    qint64 worst = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        stall.start();
        t.start();
        e.selectSubjectIn(boxOf(scene24));
        while (e.screen().source != Screen::Source::preview && e.busy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        preview += static_cast<double>(t.nsecsElapsed()) / 1e9;
        while (!selectedSubject(e.strokes()) && e.busy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        mask += static_cast<double>(t.nsecsElapsed()) / 1e9;
        s.waitIdle();
        idle += static_cast<double>(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        worst = std::max(worst, stall.stop());
        e.undo();
        s.waitIdle();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["preview_s"] = preview / n;
    state.counters["full_mask_s"] = mask / n;
    state.counters["on_screen_s"] = idle / n;
    state.counters["stall_ms"] = static_cast<double>(worst);
}

} // namespace

BENCHMARK(BM_SubjectSelection)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_SubjectGrabCut)
    ->Unit(benchmark::kMillisecond)
    ->Arg(100)
    ->Arg(250)
    ->Arg(400)
    ->Arg(600)
    ->Iterations(2);
BENCHMARK(BM_SubjectFullMask)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_OpenCvGrabCut6MP)->Unit(benchmark::kMillisecond)->Iterations(1);
