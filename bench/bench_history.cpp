// Undo and redo at 6000 × 4000 through the real window and controller: recording a
// state, undoing and redoing a stroke and an effect change, and a long run of edits,
// undos and redos. Counters report the main thread's longest stall, the layer memory
// the history holds beyond the session's own pictures, and the peak resident memory.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "app/app_delegate.h"
#include "app/main_window.h"
#include "controls/check_box.h"
#include "history/history_memory.h"
#include "paint/draw_view.h"
#include "session/view_controller.h"

namespace {

using namespace vividra;

// The same 24-megapixel JPEG as the editing benchmarks.
QString historyPhoto() {
    static const QString path = [] {
        const QString target = QDir::tempPath() + QStringLiteral("/vividra-bench-editing.jpg");
        if (QFile::exists(target))
            return target;
        const QString source = QStringLiteral("/work/shared/photos/elephants-18mp.jpg");
        if (QFile::exists(source))
            QProcess::execute(QStringLiteral("convert"),
                              {source, QStringLiteral("-resize"), QStringLiteral("6000x4000!"),
                               QStringLiteral("-quality"), QStringLiteral("95"), target});
        if (!QFile::exists(target)) {
            QImage img(6000, 4000, QImage::Format_RGB32);
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    img.setPixel(x, y, qRgb(x * 255 / 6000, y * 255 / 4000, (x ^ y) & 255));
            img.save(target, "JPEG", 95);
        }
        return target;
    }();
    return path;
}

class Stalls {
public:
    Stalls() {
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { worst_ = std::max(worst_, clock_.restart()); });
    }
    void start() {
        clock_.start();
        timer_.start();
    }
    void stop() { timer_.stop(); }
    qint64 worst() const { return worst_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 worst_ = 0;
};

struct HistorySession {
    AppDelegate delegate;
    ViewController c;
    std::unique_ptr<MainWindow> window;
    HistorySession() {
        window = std::make_unique<MainWindow>(c, delegate);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("the window was not exposed");
        c.takeInPicture(historyPhoto(), QStringLiteral("addImage"));
        idle();
    }
    void idle() {
        while (c.jobs.busy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    void stroke(int row) {
        DrawView* surface = c.imageViewBackground;
        const QRectF r = surface->curentRect;
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
    void report(benchmark::State& state, const Stalls& stalls) {
        state.counters["stall_ms"] = static_cast<double>(stalls.worst());
        state.counters["history_MB"] =
            static_cast<double>(historyLayerBytes(
                c.actualStatesList, {c.foregroundImage, c.preEraseImage, c.backgroundImage,
                                     c.lastImage, c.currentZoomInImage})) /
            (1 << 20);
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmHWM:"))
                    state.counters["peak_rss_MB"] =
                        line.mid(6).trimmed().split(' ').front().toDouble() / 1024;
        }
    }
};

// Recording a state after a stroke, on the main thread, with 30 strokes in the list.
void BM_RecordState(benchmark::State& state) {
    HistorySession s;
    for (int i = 0; i < 30; ++i)
        s.stroke(i);
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        s.c.needToSaveState = true;
        s.c.registerStateChange(QStringLiteral("brushSizeChanged"));
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
}

// Undo, then redo, of a stroke over 20 others, until the picture is shown.
void BM_UndoRedoStroke(benchmark::State& state) {
    HistorySession s;
    for (int i = 0; i < 21; ++i)
        s.stroke(i);
    Stalls stalls;
    bool undo = true;
    double total[2] = {0, 0};
    for (auto _ : state) {
        stalls.start();
        QElapsedTimer t;
        t.start();
        undo ? s.c.OnUndo() : s.c.OnRedo();
        s.idle();
        const double seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        total[undo ? 0 : 1] += seconds;
        stalls.stop();
        undo = !undo;
    }
    s.report(state, stalls);
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
    Stalls stalls;
    int step = 0;
    for (auto _ : state) {
        // Five effect undos (each past its stroke too), then five redos.
        const bool undo = step % 10 < 5;
        stalls.start();
        QElapsedTimer t;
        t.start();
        undo ? s.c.OnUndo() : s.c.OnRedo();
        s.idle();
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        stalls.stop();
        // The stroke states in between are not timed.
        undo ? s.c.OnUndo() : s.c.OnRedo();
        s.idle();
        ++step;
    }
    s.report(state, stalls);
}

// 60 edits (strokes and effect changes), 50 undos and 50 redos; the time is the whole run.
void BM_SixtyEditsFiftyUndosFiftyRedos(benchmark::State& state) {
    for (auto _ : state) {
        HistorySession s;
        Stalls stalls;
        stalls.start();
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 60; ++i)
            i % 3 == 2 ? s.effect(i) : s.stroke(i);
        for (int i = 0; i < 50; ++i) {
            s.c.OnUndo();
            s.idle();
        }
        for (int i = 0; i < 50; ++i) {
            s.c.OnRedo();
            s.idle();
        }
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        stalls.stop();
        s.report(state, stalls);
    }
}

BENCHMARK(BM_RecordState)->Unit(benchmark::kMicrosecond)->UseManualTime()->Iterations(100);
BENCHMARK(BM_UndoRedoStroke)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_UndoRedoEffect)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_SixtyEditsFiftyUndosFiftyRedos)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace
