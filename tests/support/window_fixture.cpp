#include "window_fixture.h"

#include <QtTest>

#include "platform/work_queue.h"

namespace vividra::test {

void WindowFixture::setUp(bool show) {
    env_ = std::make_unique<IsolatedEnvironment>();
    dialogs_ = ScriptedDialogs::install();
    controller_ = std::make_unique<ViewController>();
    window_ = std::make_unique<MainWindow>(*controller_, delegate_);
    if (show) {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
}

void WindowFixture::tearDown() {
    // Background work must be over before the session goes away.
    if (controller_)
        QTRY_VERIFY(!controller_->infoProvider.processIsRunning());
    // So are the history's picture writes, before their folder goes.
    platform::waitForBackgroundWork();
    window_.reset();
    controller_.reset();
    platform::setDialogs(nullptr);
    env_.reset();
}

} // namespace vividra::test
