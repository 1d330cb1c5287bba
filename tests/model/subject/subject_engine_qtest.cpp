// Select Subject through the session engine: one undo step, strokes over it as the next
// run's hints, and cancelled or superseded runs that leave nothing behind.
#include <QtTest>

#include "model/session/edit_settings.h"
#include "model/session/session_engine.h"
#include "support/engine_support.h"
#include "support/isolated_environment.h"
#include "support/subject_scenes.h"
#include "support/test_pictures.h"

using namespace vividra;
using test::settle;
using testing::SceneKind;
using testing::SubjectScene;

namespace {

int subjectEntries(const SessionEngine& e) {
    return static_cast<int>(std::count_if(e.strokes().begin(), e.strokes().end(),
                                          [](const CustomPathRef& s) { return s && s->subject; }));
}

// The box point (y-up) over a picture pixel (rows downwards).
QPointF boxPointOf(const SessionEngine& e, double x, double y) {
    const QRectF& r = e.geometry().pictureRect;
    const QPointF f = e.pictureFrame().topLeft();
    const QSizeF size = e.pictureSize();
    return {x / size.width() * r.width() + r.x() + f.x(),
            (size.height() - y) / size.height() * r.height() + r.y() + f.y()};
}

// Where the composite holds colour, as a mask.
std::vector<std::uint8_t> colouredPixels(const SessionEngine& e) {
    const QImage& image = e.composite().image;
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(image.width()) * image.height());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            mask[static_cast<std::size_t>(y) * image.width() + x] =
                test::isGrey(image.pixel(x, y)) ? 0 : 255;
    return mask;
}

} // namespace

class SubjectEngineTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        environment_ = std::make_unique<test::IsolatedEnvironment>();
        engine_ = std::make_unique<SessionEngine>();
        engine_->setBoxSize(QSizeF(600, 400));
        scene_ = testing::makeSubjectScene(SceneKind::twoColourFigure, 200, 150);
        QImage picture(scene_.rgba.data(), scene_.width, scene_.height, scene_.width * 4,
                       QImage::Format_RGBA8888);
        const QString path = environment_->root() + QStringLiteral("/scene.png");
        QVERIFY(picture.save(path));
        engine_->open(path);
        QVERIFY(settle(*engine_) && engine_->hasPicture());
        engine_->changeSetting(fields::switches(false)[0], true);
        QVERIFY(settle(*engine_));
        QVERIFY(test::isGrey(engine_->composite().image.pixel(100, 80)));
    }
    void cleanup() {
        engine_.reset();
        environment_.reset();
    }

    // One step, undone and redone; strokes painted over it are the next run's hints; a new
    // box replaces it.
    void aSelectionIsOneStepRefinedByHintsAndReplaced() {
        SessionEngine& e = *engine_;
        const int before = e.history().currentIndex();
        e.pressSelectSubject();
        QVERIFY(e.awaitingSubjectBox() && !e.canPaint());
        e.selectSubject(
            boxPointOf(e, scene_.boxX, scene_.boxY),
            boxPointOf(e, scene_.boxX + scene_.boxWidth, scene_.boxY + scene_.boxHeight));
        QVERIFY(settle(e));
        QCOMPARE(e.history().currentIndex(), before + 1);
        const double iou = testing::subjectIoU(scene_, colouredPixels(e));
        QVERIFY2(iou >= 0.9, qPrintable(QString::number(iou)));
        e.undo();
        QVERIFY(settle(e));
        QCOMPARE(subjectEntries(e), 0);
        e.redo();
        QVERIFY(settle(e));
        QCOMPARE(testing::subjectIoU(scene_, colouredPixels(e)), iou);

        e.setEraser(true);
        QVERIFY(settle(e) && e.beginStroke(boxPointOf(e, 60, 110)));
        e.endStroke(boxPointOf(e, 140, 110));
        QVERIFY(settle(e));
        e.pressSelectSubject();
        QVERIFY(!e.awaitingSubjectBox() && settle(e));
        const auto s = selectedSubject(e.strokes());
        const fx::SubjectMask& m = s->mask;
        QVERIFY(m.fullResolution());
        QVERIFY(m.alpha[static_cast<std::size_t>(110 - m.extent.y) * m.width + 100 - m.extent.x] <
                128);

        e.selectSubjectIn({70, 10, 60, 50});
        QVERIFY(settle(e));
        QCOMPARE(subjectEntries(e), 1);
        QVERIFY(!test::isGrey(e.composite().image.pixel(100, 30)));
    }

    // Cancelled while running, after its preview may have shown, or replaced by a new box.
    void cancelledOrSupersededRunsLeaveNothing() {
        SessionEngine& e = *engine_;
        const int before = e.history().currentIndex();
        const qsizetype strokes = e.strokes().size();
        e.selectSubjectIn({scene_.boxX, scene_.boxY, scene_.boxWidth, scene_.boxHeight});
        QVERIFY(test::spinUntil([&] { return e.jobs().running(SessionJobs::Kind::subject); }));
        e.cancelSubject();
        QVERIFY(settle(e));
        QCOMPARE(e.history().currentIndex(), before);
        QCOMPARE(e.strokes().size(), strokes);
        QVERIFY(test::isGrey(e.composite().image.pixel(100, 80)));
        e.selectSubjectIn({scene_.boxX, scene_.boxY, scene_.boxWidth, scene_.boxHeight});
        e.selectSubjectIn({70, 10, 60, 50});
        QVERIFY(settle(e));
        QCOMPARE(e.history().currentIndex(), before + 1);
        QCOMPARE(selectedSubject(e.strokes())->box, (fx::PixelRect{70, 10, 60, 50}));
    }

private:
    std::unique_ptr<test::IsolatedEnvironment> environment_;
    std::unique_ptr<SessionEngine> engine_;
    SubjectScene scene_;
};

QTEST_MAIN(SubjectEngineTest)
#include "subject_engine_qtest.moc"
