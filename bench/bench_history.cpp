// Undo and redo at 6000 × 4000 through the real window and its engine: undoing and
// redoing a stroke and an effect change, and a long run of edits, undos and redos.
// Counters report the main thread's longest stall, the layer memory the history holds
// beyond the session's own pictures, and the peak resident memory.
#include "bench_session.h"
#include "model/history/history_memory.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"

namespace {

using namespace vividra;
using namespace vividra::bench;

struct HistorySession {
    AppDelegate delegate;
    ViewController c;
    std::unique_ptr<MainWindow> window;
    HistorySession() {
        window = std::make_unique<MainWindow>(c, delegate);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("the window was not exposed");
        c.engine().open(photoPath());
        idle();
    }
    void idle() {
        while (c.engine().busy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    void stroke(int row) {
        DrawView* surface = c.imageViewBackground;
        const QRectF r = shownFrame(c);
        const int y =
            static_cast<int>(r.top()) + 10 + (row * 17) % std::max(1, int(r.height()) - 20);
        QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(static_cast<int>(r.left()) + 4, y));
        for (int i = 1; i <= 10; ++i)
            QTest::mouseMove(
                surface, QPoint(static_cast<int>(r.left() + r.width() * i / 10.0) - 4, y + i % 3));
        QTest::mouseRelease(surface, Qt::LeftButton, {},
                            QPoint(static_cast<int>(r.right()) - 4, y));
        idle();
    }
    // One of a cycle of effect changes, alternating the layers.
    void effect(int i) {
        const ViewController::LayerControls l = c.layerControls(i % 2 == 0);
        CheckBox* boxes[] = {l.blackWhite, l.sepia, l.colorEffects};
        boxes[(i / 2) % 3]->click();
        idle();
    }
    void report(benchmark::State& state, qint64 stall) {
        state.counters["stall_ms"] = static_cast<double>(stall);
        state.counters["history_MB"] =
            static_cast<double>(
                historyLayerBytes(c.engine().history().states(),
                                  {c.engine().foregroundLayer(), c.engine().cleanBackground(),
                                   c.engine().composite()})) /
            (1 << 20);
        state.counters["peak_rss_MB"] = static_cast<double>(peakResidentMegabytes());
    }
};

// Undo, then redo, of a stroke over 20 others, until the picture is shown.
void BM_UndoRedoStroke(benchmark::State& state) {
    HistorySession s;
    for (int i = 0; i < 21; ++i)
        s.stroke(i);
    StallMeter meter;
    qint64 stall = 0;
    bool undo = true;
    double total[2] = {0, 0};
    for (auto _ : state) {
        meter.start();
        QElapsedTimer t;
        t.start();
        undo ? s.c.undo() : s.c.redo();
        s.idle();
        const double seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        total[undo ? 0 : 1] += seconds;
        stall = std::max(stall, meter.stop());
        undo = !undo;
    }
    s.report(state, stall);
    const double each = static_cast<double>(state.iterations()) / 2;
    state.counters["undo_ms"] = total[0] * 1000 / each;
    state.counters["redo_ms"] = total[1] * 1000 / each;
}

// Undo of the last five effect changes, then their redo, until the picture is shown.
void BM_UndoRedoEffect(benchmark::State& state) {
    HistorySession s;
    for (int i = 0; i < 6; ++i) {
        s.stroke(i);
        s.effect(i);
    }
    StallMeter meter;
    qint64 stall = 0;
    int step = 0;
    for (auto _ : state) {
        // Five effect undos (each past its stroke too), then five redos.
        const bool undo = step % 10 < 5;
        meter.start();
        QElapsedTimer t;
        t.start();
        undo ? s.c.undo() : s.c.redo();
        s.idle();
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        stall = std::max(stall, meter.stop());
        // The stroke states in between are not timed.
        undo ? s.c.undo() : s.c.redo();
        s.idle();
        ++step;
    }
    s.report(state, stall);
}

// 60 edits (strokes and effect changes), 50 undos and 50 redos; the time is the whole run.
void BM_SixtyEditsFiftyUndosFiftyRedos(benchmark::State& state) {
    for (auto _ : state) {
        HistorySession s;
        StallMeter meter;
        qint64 stall = 0;
        meter.start();
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 60; ++i)
            i % 3 == 2 ? s.effect(i) : s.stroke(i);
        for (int i = 0; i < 50; ++i) {
            s.c.undo();
            s.idle();
        }
        for (int i = 0; i < 50; ++i) {
            s.c.redo();
            s.idle();
        }
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        stall = std::max(stall, meter.stop());
        s.report(state, stall);
    }
}

BENCHMARK(BM_UndoRedoStroke)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_UndoRedoEffect)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_SixtyEditsFiftyUndosFiftyRedos)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace
