#include "window_fixture.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>

#include "model/platform/work_queue.h"
#include "test_pictures.h"
#include "ui/dialogs/output_format_window.h"

namespace vividra::test {

void answerFormatWindow(const QString& entry) {
    QTimer::singleShot(10, [entry] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<OutputFormatWindow*>(w);
            if (!window || !window->isVisible())
                continue;
            if (entry.isEmpty()) {
                window->close();
            } else {
                window->comboBoxOutputFormat->setCurrentText(entry);
                window->buttonSave->click();
            }
            return;
        }
        answerFormatWindow(entry);
    });
}

void WindowFixture::setUp(bool show) {
    env_ = std::make_unique<IsolatedEnvironment>();
    auto dialogs = std::make_unique<ScriptedDialogs>();
    dialogs_ = dialogs.get();
    platform::setDialogs(std::move(dialogs));
    openWindow(show);
}

void WindowFixture::restart() {
    const bool shown = window_->isVisible();
    closeWindow();
    openWindow(shown);
}

void WindowFixture::openWindow(bool show) {
    controller_ = std::make_unique<ViewController>();
    window_ = std::make_unique<MainWindow>(*controller_, delegate_);
    if (!show)
        return;
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void WindowFixture::closeWindow() {
    // Background work must be over before the session goes away.
    if (controller_)
        QTRY_VERIFY(!controller_->engine().busy());
    // So are the history's picture writes, before their folder goes.
    platform::waitForBackgroundWork();
    window_.reset();
    controller_.reset();
}

void WindowFixture::tearDown() {
    closeWindow();
    platform::setDialogs(nullptr);
    env_.reset();
}

void WindowFixture::load() {
    controller_->engine().open(writeColourPicture(env_->root(), 400, 300));
    waitIdle();
}

void WindowFixture::waitIdle(int timeoutMs) {
    const SessionEngine& engine = controller_->engine();
    QTRY_VERIFY_WITH_TIMEOUT(!engine.busy() && !engine.renderingPending(), timeoutMs);
}

std::function<void()> WindowFixture::holdLine() {
    auto release = std::make_shared<std::atomic<bool>>(false);
    // The engine offers its line read-only; only a test puts foreign work in it.
    auto& jobs = const_cast<SessionJobs&>(controller_->engine().jobs());
    jobs.enqueue(SessionJobs::Kind::other, [release]() -> SessionJobs::Work {
        return [release](const SessionJobs::Cancel&) {
            while (!release->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return SessionJobs::Apply([] {});
        };
    });
    return [release] { release->store(true); };
}

} // namespace vividra::test
