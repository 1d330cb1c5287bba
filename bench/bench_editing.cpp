// The editing loop at 6000 × 4000 through the real window and controller,
// on the offscreen platform: taking a photo in, a background re-render, one
// stroke, recomposing 100 strokes. Counters report the longest stall of the
// main thread and the peak resident memory of the process.
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
#include "effects/image_tools.h"
#include "paint/compositing.h"
#include "paint/draw_view.h"
#include "platform/dialogs.h"
#include "session/view_controller.h"

namespace {

using namespace vividra;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A 24-megapixel JPEG: the shared photograph resized where present, else a generated one.
QString photoPath() {
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
            QImage img(kWidth, kHeight, QImage::Format_RGB32);
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x)
                    img.setPixel(x, y, qRgb(x * 255 / kWidth, y * 255 / kHeight, (x ^ y) & 255));
            img.save(target, "JPEG", 95);
        }
        return target;
    }();
    return path;
}

// Watches the event loop: the longest time between two turns is the main thread's worst stall.
class StallMeter {
public:
    StallMeter() {
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { worst_ = std::max(worst_, clock_.restart()); });
    }
    void start() {
        worst_ = 0;
        clock_.start();
        timer_.start();
    }
    qint64 stop() {
        timer_.stop();
        return worst_;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 worst_ = 0;
};

struct Session {
    AppDelegate delegate;
    ViewController controller;
    std::unique_ptr<MainWindow> window;
    Session() {
        window = std::make_unique<MainWindow>(controller, delegate);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("the window was not exposed");
    }
    void waitIdle() {
        while (controller.infoProvider.processIsRunning() || controller.processIsRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    void open() {
        controller.takeInPicture(photoPath(), QStringLiteral("addImage"));
        waitIdle();
    }
    void stroke() {
        DrawView* surface = controller.imageViewBackground;
        const QRectF r = surface->curentRect;
        const int y = surface->height() / 2;
        QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(static_cast<int>(r.left()) + 2, y));
        for (int i = 1; i <= 20; ++i)
            QTest::mouseMove(surface, QPoint(static_cast<int>(r.left() + r.width() * i / 20.0) - 2,
                                             y + (i % 3)));
        QTest::mouseRelease(surface, Qt::LeftButton, {},
                            QPoint(static_cast<int>(r.right()) - 2, y));
        waitIdle();
    }
};

long peakResidentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toLong() / 1024;
    }
    return -1;
}

// Times `step` per iteration from the action to the result applied, watching the main thread.
template <class Step> void measure(benchmark::State& state, Step step) {
    StallMeter meter;
    qint64 stall = 0;
    for (auto _ : state) {
        meter.start();
        QElapsedTimer t;
        t.start();
        step();
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        stall = std::max(stall, meter.stop());
    }
    state.counters["stall_ms"] = static_cast<double>(stall);
    state.counters["peak_rss_MB"] = static_cast<double>(peakResidentMegabytes());
}

void BM_OpenPhoto(benchmark::State& state) {
    photoPath();
    Session s;
    measure(state, [&] { s.open(); });
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

void BM_OneStroke(benchmark::State& state) {
    Session s;
    s.open();
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

BENCHMARK(BM_OpenPhoto)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_BackgroundRerender)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(4);
BENCHMARK(BM_ForegroundChangeToPainting)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(4);
BENCHMARK(BM_OneStroke)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_Recompose100Strokes)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace
