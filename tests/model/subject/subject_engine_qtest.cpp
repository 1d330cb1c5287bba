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

// The box point (y-up) over a picture pixel (rows downwards).
QPointF boxPointOf(const SessionEngine& e, double x, double y) {
    const QRectF& r = e.geometry().pictureRect;
    const QPointF f = e.pictureFrame().topLeft();
    const QSizeF size = e.pictureSize();
    return {x / size.width() * r.width() + r.x() + f.x(),
            (size.height() - y) / size.height() * r.height() + r.y() + f.y()};
}

} // namespace

class SubjectEngineTest : public QObject {
    Q_OBJECT

private slots:
    // A cancelled run leaves nothing behind; a box dragged in the view selects the subject in
    // one step; an eraser stroke over it is the next run's hint, which the button uses without
    // a new box; a run that a new box replaced never lands.
    void selectsRefinesAndCancels() {
        test::IsolatedEnvironment environment;
        SessionEngine e;
        e.setBoxSize(QSizeF(600, 400));
        const SubjectScene s = testing::makeSubjectScene(SceneKind::twoColourFigure, 200, 150);
        const QString path = environment.root() + QStringLiteral("/scene.png");
        QVERIFY(QImage(s.rgba.data(), s.width, s.height, s.width * 4, QImage::Format_RGBA8888)
                    .save(path));
        e.open(path);
        QVERIFY(settle(e));
        e.changeSetting(fields::switches(false)[0], true);
        QVERIFY(settle(e) && test::isGrey(e.composite().image.pixel(100, 80)));
        const int before = e.history().currentIndex();
        const qsizetype strokes = e.strokes().size();
        e.selectSubjectIn({s.boxX, s.boxY, s.boxWidth, s.boxHeight});
        QVERIFY(test::spinUntil([&] { return e.jobs().running(SessionJobs::Kind::subject); }));
        e.cancelSubject();
        QVERIFY(settle(e));
        QCOMPARE(e.history().currentIndex(), before);
        QVERIFY(e.strokes().size() == strokes && test::isGrey(e.composite().image.pixel(100, 80)));

        e.pressSelectSubject();
        e.selectSubject(boxPointOf(e, s.boxX, s.boxY),
                        boxPointOf(e, s.boxX + s.boxWidth, s.boxY + s.boxHeight));
        QVERIFY(settle(e));
        QCOMPARE(e.history().currentIndex(), before + 1);
        // The body and the head have their colour, the orange blobs beside them none.
        const QImage& shown = e.composite().image;
        QVERIFY(!test::isGrey(shown.pixel(100, 87)) && !test::isGrey(shown.pixel(100, 42)));
        QVERIFY(test::isGrey(shown.pixel(43, 30)) && test::isGrey(shown.pixel(157, 112)));

        e.setEraser(true);
        QVERIFY(settle(e) && e.beginStroke(boxPointOf(e, 60, 110)));
        e.endStroke(boxPointOf(e, 140, 110));
        QVERIFY(settle(e));
        e.pressSelectSubject();
        QVERIFY(!e.awaitingSubjectBox() && settle(e));
        const fx::SubjectMask& m = selectedSubject(e.strokes())->mask;
        QVERIFY(m.fullResolution());
        QVERIFY(m.alpha[static_cast<std::size_t>(110 - m.extent.y) * m.width + 100 - m.extent.x] <
                128);

        const int steps = e.history().currentIndex();
        e.selectSubjectIn({s.boxX, s.boxY, s.boxWidth, s.boxHeight});
        e.selectSubjectIn({70, 10, 60, 50});
        QVERIFY(settle(e));
        QCOMPARE(e.history().currentIndex(), steps + 1);
        QCOMPARE(selectedSubject(e.strokes())->box, (fx::PixelRect{70, 10, 60, 50}));
    }
};

QTEST_MAIN(SubjectEngineTest)
#include "subject_engine_qtest.moc"
