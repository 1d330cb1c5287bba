// The view on a 24-megapixel photo in a 1400 × 900 window: a zoom step shown, the
// rebuild after a zoom step, a fit or a resize, one pan event repainted, and painting
// at five times.
#include <algorithm>

#include "bench_session.h"
#include "model/view/zoom.h"
#include "ui/canvas/custom_drag_view.h"
#include "ui/controls/check_box.h"

namespace {

using namespace vividra;
using namespace vividra::bench;

struct ViewSession : Session {
    ViewSession() {
        window->resize(1400, 900);
        open();
        settle();
    }
    // Until the view is rebuilt and the line is idle.
    void settle() {
        const SessionEngine& e = controller.engine();
        while (e.viewState().rebuildPending() || e.busy() || e.renderingPending())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    // The box and both views drawn now, as one frame on screen.
    void repaint() { controller.customViewImage->repaint(); }
    void zoomTo(int steps) {
        controller.resetZoom();
        settle();
        for (int i = 0; i < steps; ++i)
            controller.zoomIn();
        controller.engine().settleView();
        settle();
    }
};

// The step itself and the quick display, on the main thread: 16 steps from fit to 4.6.
void BM_ZoomStepShown(benchmark::State& state) {
    ViewSession s;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        s.controller.zoomIn();
        s.repaint();
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
    state.counters["ratio"] =
        zoom::ratio(s.controller.engine().pictureFrame(), s.controller.customViewImage->size());
}

// The rebuild once the view has settled: after a zoom step (arg 0), a fit (1) or a
// window resize (2), until the exact windows are shown.
void BM_ViewRebuild(benchmark::State& state) {
    ViewSession s;
    const int kind = static_cast<int>(state.range(0));
    int i = 0;
    StallMeter meter;
    qint64 stall = 0;
    for (auto _ : state) {
        ++i;
        if (kind == 0) {
            s.zoomTo(3 + i % 4);
            s.controller.zoomIn();
        } else if (kind == 1) {
            s.zoomTo(5 + i % 4);
        } else {
            s.window->resize(i % 2 ? 1300 : 1400, i % 2 ? 820 : 900);
            QCoreApplication::processEvents();
        }
        meter.start();
        QElapsedTimer t;
        t.start();
        // A zoom step's or a resize's rebuild now rather than after its quiet time.
        if (kind == 1)
            s.controller.resetZoom();
        else
            s.controller.engine().settleView();
        s.settle();
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        stall = std::max(stall, meter.stop());
    }
    state.counters["stall_ms"] = static_cast<double>(stall);
}

// One pan event at five times: the view moved and repainted.
void BM_PanEventRepainted(benchmark::State& state) {
    ViewSession s;
    s.zoomTo(17);
    int i = 0;
    s.controller.engine().beginPan();
    for (auto _ : state) {
        const double dx = (i++ / 20) % 2 ? 12 : -12;
        QElapsedTimer t;
        t.start();
        s.controller.engine().panBy(QPointF(dx, dx / 2));
        s.repaint();
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
    s.controller.engine().endPan();
}

// Painting at five times: each pointer move repainted (worst as a counter), and the time
// from letting go until the stroke is composed.
void BM_StrokeAtFiveTimes(benchmark::State& state) {
    ViewSession s;
    s.zoomTo(17);
    DrawView* surface = s.controller.imageViewBackground;
    const int y = surface->height() / 2;
    qint64 worstMove = 0;
    int i = 0;
    // The first stroke separates the running composite from the layer.
    s.stroke();
    for (auto _ : state) {
        const int row = y + (i++ % 5) * 30 - 60;
        QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(100, row));
        for (int k = 1; k <= 40; ++k) {
            QElapsedTimer move;
            move.start();
            QTest::mouseMove(surface, QPoint(100 + k * 20, row + k % 3));
            s.repaint();
            worstMove = std::max(worstMove, move.nsecsElapsed());
        }
        QElapsedTimer t;
        t.start();
        QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(900, row));
        s.settle();
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
    state.counters["worst_move_ms"] = static_cast<double>(worstMove) / 1e6;
}

// A change on the main thread until the preview is painted, on each layer: the full
// rendering that follows is not timed.
void BM_ChangeToPreview(benchmark::State& state) {
    ViewSession s;
    CheckBox* boxes[] = {s.controller.checkBackgroundBlackWhite, s.controller.checkForegroundSepia,
                         s.controller.checkBackgroundBlur, s.controller.checkForegroundOilPainting,
                         s.controller.checkBackgroundSketch};
    int i = 0;
    double worst = 0;
    for (auto _ : state) {
        CheckBox* box = boxes[i++ % 5];
        QElapsedTimer t;
        t.start();
        box->click();
        s.repaint();
        const double seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        worst = std::max(worst, seconds * 1e3);
        s.settle();
    }
    state.counters["worst_ms"] = worst;
}

// A kept colour changed (the hue stepped round the circle, as a pick or the hue slider does)
// until the preview is painted; `full_ms` until the full-resolution picture is shown.
void BM_KeepColourToPreview(benchmark::State& state) {
    ViewSession s;
    ViewController& c = s.controller;
    c.checkBackgroundBlackWhite->click();
    s.settle();
    double full = 0, worst = 0;
    int i = 0;
    for (auto _ : state) {
        const auto hue = static_cast<float>((i++ * 47) % 360);
        QElapsedTimer t;
        t.start();
        c.engine().setKeepRange(SessionEngine::KeepRange::hue, hue);
        s.repaint();
        const double seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        worst = std::max(worst, seconds * 1e3);
        while (c.engine().busy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        s.repaint();
        full += static_cast<double>(t.nsecsElapsed()) / 1e6;
        s.settle();
    }
    state.counters["worst_ms"] = worst;
    state.counters["full_ms"] = full / static_cast<double>(state.iterations());
}

BENCHMARK(BM_KeepColourToPreview)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(8);
BENCHMARK(BM_ChangeToPreview)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_ZoomStepShown)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(16);
BENCHMARK(BM_ViewRebuild)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(6);
BENCHMARK(BM_PanEventRepainted)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(80);
BENCHMARK(BM_StrokeAtFiveTimes)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace
