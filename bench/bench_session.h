// The real window and controller on a 24-megapixel photo, for the benchmarks that
// drive the editor as a user would.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/shell/app_delegate.h"
#include "ui/shell/main_window.h"

namespace vividra::bench {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A 24-megapixel JPEG: the shared photograph resized where present, else a generated one.
inline QString photoPath() {
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

// Where the picture is shown on the surface, in widget coordinates (rows downwards).
inline QRectF shownFrame(const ViewController& c) {
    return pictureInBox(c.engine().geometry());
}

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
        while (controller.engine().busy() || controller.engine().renderingPending())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    void open() {
        controller.engine().open(photoPath());
        waitIdle();
    }
    void stroke() {
        DrawView* surface = controller.imageViewBackground;
        const QRectF r = shownFrame(controller);
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

inline long peakResidentMegabytes() {
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

} // namespace vividra::bench
