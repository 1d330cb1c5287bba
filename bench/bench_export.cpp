// Export and profile loading at 6000 × 4000 through the real window and controller:
// from the save dialog's answer to "Image saved successfully." for JPEG, PNG and HEIC,
// and from choosing a profile to both layers rendered again.
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>

#include "bench_session.h"
#include "model/effects/image_tools.h"
#include "model/files/profile_file.h"
#include "model/platform/defaults_store.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/dialogs/output_format_window.h"
#include "ui/shell/app_delegate.h"
#include "ui/shell/dialogs.h"
#include "ui/shell/main_window.h"

namespace {

using namespace vividra;
using namespace vividra::bench;

// Answers dialogs with set paths and every alert with its first button; notes when
// the export's success message arrives.
class BenchDialogs : public platform::Dialogs {
public:
    QString saveAnswer, openAnswer;
    QElapsedTimer sinceSave;
    qint64 savedAfterNs = -1;
    int runAlert(const platform::Alert& alert) override {
        if (alert.informativeText == QStringLiteral("Image saved successfully."))
            savedAfterNs = sinceSave.nsecsElapsed();
        return platform::kFirstButton;
    }
    QString runOpenDialog(const platform::OpenDialog&) override { return openAnswer; }
    QString runSaveDialog(const platform::SaveDialog&) override {
        sinceSave.start();
        savedAfterNs = -1;
        return saveAnswer;
    }
};

struct Session {
    QTemporaryDir folder;
    BenchDialogs* dialogs = nullptr;
    AppDelegate delegate;
    std::unique_ptr<ViewController> controller;
    std::unique_ptr<MainWindow> window;

    Session() {
        // The user's own defaults stay untouched.
        for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope,
                               folder.filePath(QStringLiteral("config")));
        auto owned = std::make_unique<BenchDialogs>();
        dialogs = owned.get();
        platform::setDialogs(std::move(owned));
        controller = std::make_unique<ViewController>();
        window = std::make_unique<MainWindow>(*controller, delegate);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("the window was not exposed");
        platform::defaults::setString(platform::defaults::kShowRateMessage, QStringLiteral("No"));
        controller->engine().open(photoPath());
        waitIdle();
        controller->checkBackgroundBlackWhite->click();
        waitIdle();
        DrawView* surface = controller->imageViewBackground;
        const QRectF r = shownFrame(*controller);
        const int y = surface->height() / 2;
        QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(int(r.left() + r.width() / 4), y));
        QTest::mouseMove(surface, QPoint(int(r.left() + r.width() * 3 / 4), y));
        QTest::mouseRelease(surface, Qt::LeftButton, {},
                            QPoint(int(r.left() + r.width() * 3 / 4), y));
        waitIdle();
    }
    ~Session() {
        window.reset();
        controller.reset();
        platform::setDialogs(nullptr);
    }
    void waitIdle() {
        while (controller->engine().busy() || controller->engine().renderingPending())
            // Sleeps until the next event, leaving both cores to the work.
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
};

void chooseFormat(const QString& entry) {
    QTimer::singleShot(0, [entry] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<OutputFormatWindow*>(w);
                window && window->isVisible()) {
                window->comboBoxOutputFormat->setCurrentText(entry);
                window->buttonSave->click();
                return;
            }
        chooseFormat(entry);
    });
}

void exportAs(benchmark::State& state, const QString& entry) {
    if (entry == QStringLiteral("HEIC") && !ImageTools::heicEncodingAvailable()) {
        state.SkipWithError("no HEVC encoder");
        return;
    }
    Session s;
    const QString path = s.folder.filePath(QStringLiteral("out.") + entry.toLower());
    s.dialogs->saveAnswer = path;
    for (auto _ : state) {
        chooseFormat(entry);
        s.controller->exportPicture();
        s.waitIdle();
        if (s.dialogs->savedAfterNs < 0) {
            state.SkipWithError("export failed");
            return;
        }
        state.SetIterationTime(static_cast<double>(s.dialogs->savedAfterNs) / 1e9);
    }
    state.counters["MB"] = static_cast<double>(QFile(path).size()) / 1e6;
}

void BM_ExportJpeg(benchmark::State& state) {
    exportAs(state, QStringLiteral("JPG"));
}
void BM_ExportPng(benchmark::State& state) {
    exportAs(state, QStringLiteral("PNG"));
}
void BM_ExportHeic(benchmark::State& state) {
    exportAs(state, QStringLiteral("HEIC"));
}

void BM_LoadProfile(benchmark::State& state) {
    Session s;
    EditSettings look;
    look.background.blackWhiteOn = true;
    look.foreground.sepiaOn = true;
    const QString path = s.folder.filePath(QStringLiteral("look.clr"));
    profile::writeFile(path, profile::text(look, look.brushLabel()));
    s.dialogs->openAnswer = path;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        s.controller->loadProfile();
        s.waitIdle();
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
}

BENCHMARK(BM_ExportJpeg)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_ExportPng)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK(BM_ExportHeic)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_LoadProfile)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace
