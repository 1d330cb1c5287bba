// Kept work on a 24-megapixel photo with 200 strokes: the journal's snapshot on the main
// thread after a change, and restoring the work to the full picture.
#include <QElapsedTimer>
#include <QFileInfo>

#include "bench/bench_session.h"
#include "model/history/control_values.h"
#include "model/work/journal.h"

namespace vividra::bench {
namespace {

constexpr int kStrokes = 200;

// Fifty-one states, the last with 200 reveal strokes across the photo over a black and
// white background, each state sharing the strokes of the one before, as the history does.
work::SessionWork twoHundredStrokes() {
    EditSettings settings;
    settings.background.blackWhiteOn = true;
    auto layers =
        std::make_shared<StateLayers>(StateLayers{{settings.foreground, settings.adjustments},
                                                  {settings.background, settings.adjustments},
                                                  {},
                                                  {}});
    work::SessionWork w;
    w.originalPath = photoPath();
    w.originalHash = work::contentHash(w.originalPath);
    w.settings = settings;
    QList<CustomPathRef> strokes;
    const int perState = kStrokes / (History::kMaxStates - 1);
    for (int i = 0; i < History::kMaxStates; ++i) {
        for (int k = 0; i > 0 && k < perState; ++k) {
            const int n = strokes.size();
            PathRef path = makePath();
            path->moveTo(100 + (n * 37) % 3000, 100 + n * 19);
            for (int p = 1; p <= 30; ++p)
                path->lineTo(100 + (n * 37) % 3000 + p * 90, 100 + n * 19 + (p % 5) * 12);
            strokes.append(std::make_shared<CustomPath>(120.0, QBrush(), path));
        }
        auto state = std::make_shared<State>(QBrush(Qt::white), strokes);
        state->controllersStates = ControlValues::record(settings).toText();
        state->lastAction = QStringLiteral("pathModified");
        state->layers = layers;
        w.states.append(state);
    }
    w.current = w.states.size() - 1;
    w.strokes = snapshotStrokes(strokes);
    return w;
}

void waitUntil(const std::function<bool()>& done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
}

} // namespace

// From the request until the full picture with every stroke is in; `first_ms` is the first
// picture shown, to set beside BM_OpenFirstPicture.
void BM_RestoreWork200Strokes(benchmark::State& state) {
    const work::SessionWork kept = twoHundredStrokes();
    Session s;
    SessionEngine& e = s.controller.engine();
    double first = 0;
    for (auto _ : state) {
        e.clear();
        s.waitIdle();
        QElapsedTimer t;
        t.start();
        e.restore(kept.originalPath, kept);
        waitUntil([&] { return e.screen().showsPicture(); });
        first = std::max(first, static_cast<double>(t.nsecsElapsed()) / 1e6);
        waitUntil([&] { return !e.busy() && !e.renderingPending(); });
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        if (e.strokes().size() != kStrokes)
            state.SkipWithError("the strokes were not restored");
    }
    state.counters["first_ms"] = first;
}

// What a change costs the main thread for the journal: the snapshot of the session's recipes
// handed to the writer. `text_ms` and `text_KB` are the writer's own work on its thread.
void BM_JournalSnapshot(benchmark::State& state) {
    Session s;
    SessionEngine& e = s.controller.engine();
    e.restore(photoPath(), twoHundredStrokes());
    s.waitIdle();
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        e.journal()->submit(e.work());
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
    QElapsedTimer t;
    t.start();
    const QByteArray text = work::toText(e.work());
    state.counters["text_ms"] = static_cast<double>(t.nsecsElapsed()) / 1e6;
    state.counters["text_KB"] = static_cast<double>(text.size()) / 1024;
    e.journal()->flush();
}

// Opening a photo looks up its kept work by this key on the main thread.
void BM_PhotoKey(benchmark::State& state) {
    const QString path = photoPath();
    for (auto _ : state)
        benchmark::DoNotOptimize(work::contentHash(path));
    state.counters["file_MB"] = double(QFileInfo(path).size()) / 1e6;
}

BENCHMARK(BM_RestoreWork200Strokes)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_JournalSnapshot)->Unit(benchmark::kMicrosecond)->UseManualTime()->Iterations(200);
BENCHMARK(BM_PhotoKey)->Unit(benchmark::kMicrosecond);

} // namespace vividra::bench
