// The editing loop at 6000 × 4000 through the real window and controller,
// on the offscreen platform: taking a photo in, a background re-render, one
// stroke, recomposing 100 strokes. Counters report the longest stall of the
// main thread and the peak resident memory of the process.
#include <algorithm>
#include <initializer_list>

#include "bench_session.h"
#include "model/effects/image_tools.h"
#include "model/history/history_memory.h"
#include "model/paint/compositing.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/shell/dialogs.h"

namespace {

using namespace vividra;
using namespace vividra::bench;

void BM_OpenPhoto(benchmark::State& state) {
    photoPath();
    Session s;
    measure(state, [&] { s.open(); });
}

// From the request until the box has painted a first picture of the photo.
void BM_OpenFirstPicture(benchmark::State& state) {
    photoPath();
    Session s;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        s.controller.engine().open(photoPath());
        while (!s.controller.engine().screen().showsPicture())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        s.controller.customViewImage->repaint();
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        s.waitIdle();
    }
}

// The whole process's peak memory over a session: open, three effects on each layer and
// twenty strokes; with arg 0 the history keeps no pictures of its own, with arg 1 it keeps
// them within its budget as the program does. The peak is the process's, so each runs in a
// process of its own: `--benchmark_filter=SessionPeakMemory/1`.
void BM_SessionPeakMemory(benchmark::State& state) {
    Session s;
    if (state.range(0) == 0)
        s.controller.engine().history().memoryBudget = 0;
    ViewController& c = s.controller;
    const std::initializer_list<CheckBox*> boxes = {
        c.checkBackgroundBlackWhite, c.checkBackgroundBlur, c.checkBackgroundOilPainting,
        c.checkForegroundSepia,      c.checkForegroundBlur, c.checkForegroundSketch};
    for (auto _ : state) {
        s.open();
        for (CheckBox* box : boxes) {
            box->click();
            s.waitIdle();
        }
        for (int i = 0; i < 20; ++i)
            s.stroke();
    }
    state.counters["effects_on"] = static_cast<double>(
        std::count_if(boxes.begin(), boxes.end(), [](CheckBox* box) { return box->isChecked(); }));
    state.counters["peak_rss_MB"] = static_cast<double>(peakResidentMegabytes());
    // Every layer the history refers to, those the session shows included.
    state.counters["history_layers_MB"] =
        static_cast<double>(historyLayerBytes(c.engine().history().states(), {}) >> 20);
}

void BM_BackgroundRerender(benchmark::State& state) {
    Session s;
    s.open();
    measure(state, [&] {
        s.controller.checkBackgroundBlackWhite->click();
        s.waitIdle();
    });
}

// From a foreground change until the brush may paint again (the line is idle).
void BM_ForegroundChangeToPainting(benchmark::State& state) {
    Session s;
    s.open();
    measure(state, [&] {
        s.controller.checkForegroundSepia->click();
        s.waitIdle();
    });
}

// A stroke across the picture until the line is idle; with arg 1 an edge-aware one, whose
// result is also cut for the box and shown.
void BM_OneStroke(benchmark::State& state) {
    Session s;
    s.open();
    if (state.range(0) == 1)
        s.controller.checkEdgeAware->click();
    s.stroke(); // the first stroke separates the running composite from the layer
    measure(state, [&] { s.stroke(); });
}

void BM_Recompose100Strokes(benchmark::State& state) {
    const Picture layer = *ImageTools::readPicture(photoPath());
    Picture reveal = ImageTools::applySepia(layer, 1.0f);
    QList<CustomPathRef> strokes;
    for (int i = 0; i < 100; ++i) {
        auto path = makePath();
        const double y = 200 + i * 35.0;
        path->moveTo(100, y);
        path->lineTo(kWidth - 100, y + 50);
        strokes << std::make_shared<CustomPath>(20.0 * kWidth / 588.0, QBrush(), path);
    }
    const QBrush revealColour = patternColor(reveal);
    const QBrush eraseColour = patternColor(layer);
    for (auto _ : state) {
        Picture target = layer;
        target.image.detach();
        QElapsedTimer t;
        t.start();
        Picture out = compositeStrokes(std::move(target), strokes, revealColour, eraseColour);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        benchmark::DoNotOptimize(out.image.constBits());
    }
}

// One kept colour and one edge-aware stroke composed at full size, the original as guide.
void BM_KeptColourComposed(benchmark::State& state) {
    const Picture original = *ImageTools::readPicture(photoPath());
    const Picture grey = ImageTools::applySepia(original, 1.0f);
    const QList<CustomPathRef> key{makeKeepStroke({25, 20, 15})};
    for (auto _ : state) {
        Picture target = grey;
        target.image.detach();
        QElapsedTimer t;
        t.start();
        Picture out = compositeStrokes(std::move(target), key, patternColor(original),
                                       patternColor(grey), original.image);
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        benchmark::DoNotOptimize(out.image.constBits());
    }
}

// A stroke of the default brush across a fifth of the width, at the fit scale of a
// 588-point box, as the brush paints it after the pointer is let go.
void BM_EdgeAwareStroke(benchmark::State& state) {
    const Picture original = *ImageTools::readPicture(photoPath());
    const Picture grey = ImageTools::applySepia(original, 1.0f);
    auto path = makePath();
    path->moveTo(2400, 2000);
    for (int i = 1; i <= 20; ++i)
        path->lineTo(2400 + i * 60, 2000 + (i % 3) * 10);
    auto stroke = std::make_shared<CustomPath>(20.0 * kWidth / 588.0, QBrush(), path);
    stroke->edgeAware = true;
    Picture target = grey;
    target.image.detach();
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        target = compositeStrokes(std::move(target), {stroke}, patternColor(original),
                                  patternColor(grey), original.image);
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
}

BENCHMARK(BM_KeptColourComposed)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_EdgeAwareStroke)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_OpenPhoto)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_OpenFirstPicture)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_SessionPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1)->Arg(0)->Arg(1);
BENCHMARK(BM_BackgroundRerender)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(4);
BENCHMARK(BM_ForegroundChangeToPainting)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(4);
BENCHMARK(BM_OneStroke)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK(BM_Recompose100Strokes)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace
