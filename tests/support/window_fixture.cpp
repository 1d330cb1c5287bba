#include "window_fixture.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

#include "model/platform/work_queue.h"
#include "test_pictures.h"
#include "ui/canvas/draw_view.h"
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
    dialogs_ = ScriptedDialogs::install();
    controller_ = std::make_unique<ViewController>();
    window_ = std::make_unique<MainWindow>(*controller_, delegate_);
    if (show)
        this->show();
}

void WindowFixture::show() {
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void WindowFixture::tearDown() {
    // Background work must be over before the session goes away.
    if (controller_)
        QTRY_VERIFY(!controller_->infoProvider.jobsBusy());
    // So are the history's picture writes, before their folder goes.
    platform::waitForBackgroundWork();
    window_.reset();
    controller_.reset();
    platform::setDialogs(nullptr);
    env_.reset();
}

ViewController& WindowFixture::load(int w, int h) {
    controller_->takeInPicture(
        writeColourPicture(env_->root(), w, h, QStringLiteral("p%1x%2.png").arg(w).arg(h)),
        QStringLiteral("addImage"));
    waitIdle();
    return *controller_;
}

void WindowFixture::waitIdle(int timeoutMs) {
    QTRY_VERIFY_WITH_TIMEOUT(!controller_->infoProvider.jobsBusy(), timeoutMs);
}

void WindowFixture::drag(Qt::MouseButton button, QPoint from, QPoint to) {
    DrawView* surface = controller_->imageViewBackground;
    QTest::mousePress(surface, button, {}, from);
    QTest::mouseMove(surface, to);
    QTest::mouseRelease(surface, button, {}, to);
}

void WindowFixture::paintAcrossMiddle() {
    const QRectF r = controller_->imageViewBackground->pictureRect;
    const int y = controller_->imageViewBackground->height() / 2;
    drag(Qt::LeftButton, QPoint(static_cast<int>(r.x() + r.width() * 0.25), y),
         QPoint(static_cast<int>(r.x() + r.width() * 0.75), y));
}

} // namespace vividra::test
