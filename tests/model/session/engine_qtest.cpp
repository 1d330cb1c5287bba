// The session engine in the cases random sequences rarely reach: where a stroke lands after
// zoom and pan, quick changes as separate undo steps, failures that keep the session, and
// the seams between Original, panning and painting.
#include <QElapsedTimer>
#include <QtTest>

#include "kernels/pixel_memory.h"
#include "model/effects/image_tools.h"
#include "model/platform/work_queue.h"
#include "model/session/session_engine.h"
#include "model/view/zoom.h"
#include "support/isolated_environment.h"
#include "support/test_pictures.h"

using namespace vividra;

namespace {

bool settle(SessionEngine& e) {
    QElapsedTimer clock;
    clock.start();
    const auto idle = [&] {
        while (e.busy() && clock.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        return !e.busy();
    };
    if (!idle())
        return false;
    e.settleView();
    const bool done = idle();
    platform::waitForBackgroundWork();
    return done;
}

const SettingField& field(std::span<const SettingField> list, const char* name) {
    for (const SettingField& f : list)
        if (std::string_view(f.name) == name)
            return f;
    qFatal("no field %s", name);
}

// The picture pixel under a box point, as the composite has it (rows downwards).
QRgb compositeAt(const SessionEngine& e, const QPointF& boxPoint) {
    const QPointF p = e.picturePoint(boxPoint);
    const QImage& image = e.composite().image;
    return image.pixel(static_cast<int>(p.x()), image.height() - 1 - static_cast<int>(p.y()));
}

} // namespace

class EngineTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        environment_ = std::make_unique<test::IsolatedEnvironment>();
        engine_ = std::make_unique<SessionEngine>();
        engine_->setBoxSize(QSizeF(600, 400));
        connect(engine_.get(), &SessionEngine::notice, this,
                [this](const QString& text) { notices_ << text; });
        notices_.clear();
    }
    void cleanup() {
        engine_.reset();
        environment_.reset();
    }

    void aStrokeAfterZoomAndPanRevealsUnderThePointer() {
        SessionEngine& e = open(300, 200);
        e.changeSetting(field(fields::switches(false), "blackWhiteOn"), true);
        QVERIFY(settle(e));
        for (int i = 0; i < 8; ++i)
            e.zoomIn();
        QVERIFY(settle(e));
        e.beginPan();
        e.panBy(QPointF(-90, 40));
        e.endPan();
        QVERIFY(settle(e));
        QVERIFY(zoom::ratio(e.pictureFrame(), e.boxSize()) > 1.5);
        const QPointF at(250, 180), off(450, 300);
        QVERIFY(test::isGrey(compositeAt(e, at)));
        QVERIFY(e.beginStroke(at));
        e.endStroke(at);
        QVERIFY(settle(e));
        QVERIFY2(!test::isGrey(compositeAt(e, at)), "the stroke missed the pointer");
        QVERIFY(test::isGrey(compositeAt(e, off)));
        QCOMPARE(e.history().currentIndex(), 3);
    }

    void quickChangesAreOneUndoStepEach() {
        SessionEngine& e = open(300, 200);
        const qsizetype start = e.history().currentIndex();
        // Sepia then blur before the first rendering lands: the second stops the first.
        e.changeSetting(field(fields::switches(false), "sepiaOn"), true);
        e.changeSetting(field(fields::switches(false), "blurOn"), true);
        e.changeSetting(field(fields::adjustments(), "brightness"), 0.3f);
        QVERIFY(settle(e));
        QCOMPARE(e.history().currentIndex(), start + 3);
        e.undo();
        QVERIFY(settle(e));
        QCOMPARE(e.settings().adjustments.brightness, 0.0f);
        QVERIFY(e.settings().background.blurOn);
        e.undo();
        QVERIFY(settle(e));
        QVERIFY(!e.settings().background.blurOn && e.settings().background.sepiaOn);
    }

    void originalPanningAndFileNewLeaveTheBrushAlive() {
        SessionEngine& e = open(300, 200);
        // Original shows the original and takes no stroke, nor a history step.
        e.showOriginal(true);
        QVERIFY(settle(e));
        QCOMPARE(e.screen().source, Screen::Source::original);
        const qsizetype steps = e.history().states().size();
        QVERIFY(!e.beginStroke(QPointF(300, 200)));
        e.endStroke(QPointF(300, 200));
        QCOMPARE(e.history().states().size(), steps);
        // File New from Original: the next picture starts in Preview, where the brush paints.
        e.clear();
        QVERIFY(!e.viewState().showsOriginal());
        e.open(test::writeColourPicture(environment_->root(), 200, 100));
        QVERIFY(settle(e));
        QVERIFY(e.canPaint());
        // A left press during a pan starts nothing; once the pan ends the brush paints again,
        // whichever button is let go first.
        for (int i = 0; i < 4; ++i)
            e.zoomIn();
        QVERIFY(settle(e));
        e.beginPan();
        e.panBy(QPointF(30, 0));
        QVERIFY(!e.beginStroke(QPointF(300, 200)));
        e.endPan();
        QVERIFY(settle(e));
        QVERIFY(e.canPaint());
        // A stroke under way when a pan starts still ends and lands whole.
        QVERIFY(e.beginStroke(QPointF(200, 200)));
        e.beginPan();
        e.extendStroke(QPointF(260, 200));
        e.endStroke(QPointF(300, 200));
        e.endPan();
        QVERIFY(settle(e));
        QVERIFY(!e.strokeUnderWay() && e.canPaint());
        QVERIFY(!e.strokes().isEmpty() && !e.strokes().last()->path->isEmpty());
    }

    void failuresAreToldAndKeepTheSession() {
        SessionEngine& e = open(300, 200);
        const QImage background = e.cleanBackground().image;
        {
            fx::PixelMemoryLimitForTesting none(0);
            e.changeSetting(field(fields::switches(false), "blurOn"), true);
            QVERIFY(settle(e));
        }
        QCOMPARE(notices_.size(), 1);
        QVERIFY(notices_.front().contains(QStringLiteral("not enough memory")));
        QCOMPARE(e.cleanBackground().image, background);
        QVERIFY(!e.renderingPending());
        // With memory back the same change goes through.
        e.changeSetting(field(fields::switches(false), "blurOn"), true);
        QVERIFY(settle(e));
        QVERIFY(e.cleanBackground().image != background);

        // A file that is no picture: told once, and the session is empty again.
        const QString broken = environment_->root() + QStringLiteral("/broken.png");
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x89PNG\r\n\x1a\nnot a picture");
        file.close();
        e.open(broken);
        QVERIFY(settle(e));
        QCOMPARE(notices_.size(), 2);
        QCOMPARE(notices_.back(), QStringLiteral("The image could not be loaded."));
        QVERIFY(!e.hasPicture() && !e.screen().showsPicture() && !e.canPaint());
    }

private:
    SessionEngine& open(int w, int h) {
        engine_->open(test::writeColourPicture(environment_->root(), w, h));
        if (!settle(*engine_) || !engine_->hasPicture())
            qFatal("the picture did not open");
        return *engine_;
    }

    std::unique_ptr<test::IsolatedEnvironment> environment_;
    std::unique_ptr<SessionEngine> engine_;
    QStringList notices_;
};

QTEST_MAIN(EngineTest)
#include "engine_qtest.moc"
