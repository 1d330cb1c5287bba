// The session engine in the cases random sequences rarely reach: where a stroke lands after
// zoom and pan, failures that keep the session, the seams between Original, panning and
// painting, what profiles, exports and damaged or changing files do to the session, and the
// picture in the display's colours, and Select Subject.
#include <QtTest>

#include "kernels/pixel_memory.h"
#include "model/colour/photo_colour.h"
#include "model/effects/image_tools.h"
#include "model/files/export_file.h"
#include "model/files/keep_sidecar.h"
#include "model/files/profile_file.h"
#include "model/platform/temporary_directory.h"
#include "model/platform/work_queue.h"
#include "model/session/session_engine.h"
#include "model/view/zoom.h"
#include "model/work/journal.h"
#include "model/work/session_work.h"
#include "support/engine_support.h"
#include "support/isolated_environment.h"
#include "support/sample_pictures.h"
#include "support/subject_scenes.h"
#include "support/test_pictures.h"

using namespace vividra;
using test::settle;
using testing::SceneKind;
using testing::SubjectScene;

namespace {

const SettingField& field(std::span<const SettingField> list, const char* name) {
    for (const SettingField& f : list)
        if (std::string_view(f.name) == name)
            return f;
    qFatal("no field %s", name);
}

// Turns a switch on and waits for its rendering.
bool turnOn(SessionEngine& e, const char* name) {
    e.changeSetting(field(fields::switches(false), name), true);
    return settle(e);
}

// The box point (y-up) over a picture pixel (rows downwards).
QPointF boxPointOf(const SessionEngine& e, double x, double y) {
    const QRectF& r = e.geometry().pictureRect;
    const QPointF f = e.pictureFrame().topLeft();
    const QSizeF size = e.pictureSize();
    return {x / size.width() * r.width() + r.x() + f.x(),
            (size.height() - y) / size.height() * r.height() + r.y() + f.y()};
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
        QVERIFY(turnOn(e, "blackWhiteOn"));
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

    void originalPanningAndFileNewLeaveTheBrushAlive() {
        SessionEngine& e = open(300, 200);
        // Original shows the original, with its own exact window even when asked for while a
        // zoom's window is cut for Preview, and takes no stroke, nor a history step.
        e.zoomIn();
        e.settleView();
        e.showOriginal(true);
        QVERIFY(settle(e));
        QCOMPARE(e.screen().source, Screen::Source::original);
        QVERIFY(e.screen().showsWindow());
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
            QVERIFY(turnOn(e, "blurOn"));
        }
        QCOMPARE(notices_.size(), 1);
        QVERIFY(notices_.front().contains(QStringLiteral("not enough memory")));
        QCOMPARE(e.cleanBackground().image, background);
        QVERIFY(!e.renderingPending());
        // With memory back the same change goes through.
        QVERIFY(turnOn(e, "blurOn") && e.cleanBackground().image != background);
    }

    void aJournalThatCannotBeWrittenIsToldOnceAndRetried() {
        SessionEngine& e = open(300, 200);
        // A file where the folder should be fails every write, as a full disk does.
        const QString folder = environment_->root() + QStringLiteral("/blocked");
        QVERIFY(test::writeAll(folder, "in the way"));
        e.setJournal(std::make_unique<work::Journal>(folder + QStringLiteral("/work")));
        const auto change = [&](const char* name) {
            QVERIFY(turnOn(e, name));
            QCoreApplication::processEvents();
            e.journal()->flush();
            QCoreApplication::processEvents();
        };
        change("blackWhiteOn");
        change("sepiaOn");
        QCOMPARE(notices_.size(), 1);
        // With room again the next change is written whole, and quitting marks it ended.
        QVERIFY(QFile::remove(folder));
        change("blurOn");
        QCOMPARE(notices_.size(), 1);
        const QByteArray hash = work::contentHash(e.picturePath());
        QCOMPARE(e.journal()->find(hash).value().states.size(), e.history().states().size());
        e.end();
        QVERIFY(e.journal()->find(hash).value().clean);
    }

    void aResetWhileThePhotoComesInKeepsTheKeyOfItsWork() {
        engine_->open(test::writeColourPicture(environment_->root(), 300, 200));
        QVERIFY(engine_->hasPicture());
        engine_->reset();
        QVERIFY(settle(*engine_));
        QCOMPARE(engine_->work().originalHash, work::contentHash(engine_->picturePath()));
    }

    void profilesCarryTheKeptColourAndFailuresKeepTheSession() {
        using Saved = SessionEngine::ProfileSaved;
        using Loaded = SessionEngine::ProfileLoaded;
        SessionEngine& e = open(300, 200);
        const QString root = environment_->root();
        const QString path = root + QStringLiteral("/look.clr");
        const QString beside = sidecar::pathFor(path);
        e.changeSetting(field(fields::switches(false), "blackWhiteOn"), true);
        e.setKeepColour(true);
        QVERIFY(e.pickColourAt(QPointF(150, 100)));
        e.setEdgeAware(true);
        QVERIFY(settle(e));
        const EditSettings kept = e.settings();
        QCOMPARE(e.saveProfile(path), Saved::saved);
        QVERIFY(!e.hasUnsavedChanges() && QFileInfo::exists(beside));
        e.setKeepColour(false);
        e.setEdgeAware(false);
        e.changeSetting(field(fields::switches(true), "sepiaOn"), true);
        QCOMPARE(e.loadProfile(path), Loaded::loaded);
        QVERIFY(settle(e));
        QCOMPARE(e.settings(), kept);
        QVERIFY(e.history().current()->keep.on);

        // Saved with neither, the file beside it goes; a damaged one is left out when loaded.
        e.setKeepColour(false);
        e.setEdgeAware(false);
        QVERIFY(settle(e));
        QCOMPARE(e.saveProfile(path), Saved::saved);
        QVERIFY(!QFileInfo::exists(beside));
        QVERIFY(test::writeAll(beside, "keep=1\nhue=400\n"));
        QCOMPARE(e.loadProfile(path), Loaded::loadedWithoutKeptColour);
        QVERIFY(settle(e));
        QVERIFY(!e.settings().keep.on);

        // A bad profile changes nothing but the save target.
        QStringList lines = profile::readFile(path)->split('\n');
        lines[32] = QStringLiteral("9.0"); // contrast
        const QString bad = root + QStringLiteral("/bad.clr");
        QVERIFY(test::writeAll(bad, lines.join('\n').toUtf8()));
        const EditSettings before = e.settings();
        QCOMPARE(e.loadProfile(bad), Loaded::failed);
        QCOMPARE(e.settings(), before);
        QCOMPARE(e.profilePath(), bad);

        // Adjustments reset while a profile's picture comes in go back to layers an older
        // state holds; they are still a state of their own, or undo would skip past them.
        e.changeSetting(field(fields::adjustments(), "contrast"), 1.5f);
        QVERIFY(settle(e));
        QCOMPARE(e.saveProfile(path), Saved::saved);
        e.resetAdjustments();
        QVERIFY(settle(e));
        QCOMPARE(e.loadProfile(path), Loaded::loaded);
        e.resetAdjustments();
        QVERIFY(settle(e));
        const StateLayersRef shown = e.history().current()->layers;
        const LayerRecipe background{e.settings().background, e.settings().adjustments};
        QVERIFY(shown && shown->backgroundRecipe == background);
    }

    void exportsTellHowTheyWentAndNeedNoWorkingFolder() {
        SessionEngine& e = open(400, 300);
        const QString root = environment_->root();
        QVERIFY(turnOn(e, "blackWhiteOn") && e.beginStroke(QPointF(200, 200)));
        e.endStroke(QPointF(400, 200));
        QVERIFY(settle(e));
        QList<exporting::Outcome> outcomes;
        connect(&e, &SessionEngine::exportEnded, this,
                [&](exporting::Outcome o, const QString&) { outcomes << o; });
        // Exports to `name`, cancelled before its turn when `cancel`, and tells how it went.
        const auto exportTo = [&](const char* name, bool cancel) {
            outcomes.clear();
            e.exportTo(root + QLatin1String(name), QStringLiteral("PNG"))->store(cancel);
            settle(e);
            return outcomes;
        };
        QCOMPARE(exportTo("/a.png", false), QList{exporting::Outcome::saved});
        QCOMPARE(ImageTools::readPicture(root + QStringLiteral("/a.png"))->image,
                 e.composite().image);
        QCOMPARE(exportTo("/b.png", true), QList{exporting::Outcome::cancelled});
        QVERIFY(!QFileInfo::exists(root + QStringLiteral("/b.png")));
        // Below a plain file no working folder can be made, not even by root.
        QVERIFY(test::writeAll(root + QStringLiteral("/plain"), "x"));
        platform::removeTemporaryDirectory();
        qputenv("TMPDIR", (root + QStringLiteral("/plain/tmp")).toLocal8Bit());
        QVERIFY(!platform::temporaryDirectoryProblem().isEmpty());
        QCOMPARE(exportTo("/d.png", false), QList{exporting::Outcome::saved});
        QCOMPARE(QDir(root).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    void damagedOrChangedPicturesKeepTheSession() {
        // A cut-off photo opens, with a word that it is damaged; one too large to open is
        // told and starts no history. (What opens of which file is the reader's tests.)
        const QString root = environment_->root();
        const QByteArray jpeg = test::qtJpeg(test::photoLike(200, 150), 75, false);
        QVERIFY(test::writeAll(root + QStringLiteral("/cut.jpg"), jpeg.left(jpeg.size() / 2)));
        engine_->open(root + QStringLiteral("/cut.jpg"));
        QVERIFY(settle(*engine_));
        QCOMPARE(notices_, QStringList{ImageTools::damagedPictureNotice()});
        QCOMPARE(engine_->history().states().size(), 1);
        QVERIFY(test::writeAll(root + QStringLiteral("/huge.png"),
                               test::greyPng(60000, 60000, '\x80', 1)));
        engine_->open(root + QStringLiteral("/huge.png"));
        QVERIFY(settle(*engine_));
        QCOMPARE(notices_.last(), QStringLiteral("The image could not be loaded."));
        QVERIFY(!engine_->hasPicture() && engine_->history().states().isEmpty());
        notices_.clear();
        // The original deleted, then another picture under its name: the session goes on
        // with the picture the user opened, through a rendering and a reset.
        SessionEngine& e = open(160, 120);
        const QImage colours = e.cleanBackground().image;
        QVERIFY(QFile::remove(e.picturePath()));
        QVERIFY(turnOn(e, "blackWhiteOn") && test::isGrey(e.cleanBackground().image.pixel(80, 60)));
        QVERIFY(QImage(50, 40, QImage::Format_RGB32).save(e.picturePath(), "PNG"));
        e.reset();
        QVERIFY(settle(e));
        QCOMPARE(e.pictureSize(), QSizeF(160, 120));
        QCOMPARE(e.cleanBackground().image, colours);
        QVERIFY(notices_.isEmpty());
    }

    void thePictureShowsInTheDisplaysColours() {
        // A strong Display P3 red (full red would only clip to sRGB's): the screen shows what
        // LittleCMS makes of it, in Preview, in Original and in the brush under way, while
        // the layers keep the photo's own values.
        const QByteArray p3 = colour::profileFromPrimaries(
            {0.680f, 0.320f, 0.265f, 0.690f, 0.150f, 0.060f, 0.3127f, 0.3290f}, 13);
        QVERIFY(!p3.isEmpty());
        QImage red(120, 80, QImage::Format_ARGB32_Premultiplied);
        const QRgb raw = qRgb(220, 40, 30);
        red.fill(raw);
        Picture picture(red);
        picture.metadata = std::make_shared<const PhotoMetadata>(PhotoMetadata{p3, {}, {}, {}});
        const QString path = environment_->root() + QStringLiteral("/p3.png");
        QVERIFY(ImageTools::writeImage(picture, path, 5, 1.0));
        QImage expected = red.copy(0, 0, 1, 1);
        QVERIFY(colour::convertToSrgb(expected, p3));
        const auto near = [](QRgb a, QRgb b) {
            return std::abs(qRed(a) - qRed(b)) <= 1 && std::abs(qGreen(a) - qGreen(b)) <= 1 &&
                   std::abs(qBlue(a) - qBlue(b)) <= 1;
        };
        SessionEngine& e = *engine_;
        e.setDisplayProfile({});
        e.open(path);
        QVERIFY(settle(e));
        QVERIFY(!near(expected.pixel(0, 0), raw));
        QCOMPARE(e.cleanBackground().image.pixel(60, 40), raw);
        for (const bool original : {false, true}) {
            e.showOriginal(original);
            QVERIFY(settle(e));
            const QImage& window = e.screen().window;
            QVERIFY(!window.isNull());
            QVERIFY2(
                near(window.pixel(window.width() / 2, window.height() / 2), expected.pixel(0, 0)),
                original ? "Original" : "Preview");
        }
        e.showOriginal(false);
        QVERIFY(settle(e));
        const QImage brush = e.liveColourOnScreen().textureImage();
        QVERIFY(near(brush.pixel(brush.width() / 2, brush.height() / 2), expected.pixel(0, 0)));
        // Moved to a display of the picture's own space, nothing is converted.
        e.setDisplayProfile(p3);
        QVERIFY(settle(e));
        QCOMPARE(e.screen().window.pixel(10, 10), raw);
        QCOMPARE(e.liveColourOnScreen().textureImage().pixel(10, 10), raw);
    }

    // Select Subject: a cancelled run leaves nothing behind; a box dragged in the view selects
    // the subject in one step; an eraser stroke over it is the next run's hint, which the
    // button uses without a new box; a run that a new box replaced never lands.
    void selectsRefinesAndCancelsTheSubject() {
        SessionEngine& e = *engine_;
        const SubjectScene s = testing::makeSubjectScene(SceneKind::twoColourFigure, 200, 150);
        const QString path = environment_->root() + QStringLiteral("/scene.png");
        QVERIFY(QImage(s.rgba.data(), s.width, s.height, s.width * 4, QImage::Format_RGBA8888)
                    .save(path));
        e.open(path);
        QVERIFY(settle(e) && turnOn(e, "blackWhiteOn"));
        QVERIFY(test::isGrey(e.composite().image.pixel(100, 80)));
        const int before = e.history().currentIndex();
        // Cancelled once its preview is on screen.
        const auto cancel = connect(&e, &SessionEngine::screenChanged, this, [&e] {
            if (e.screen().source == Screen::Source::preview)
                e.cancelSubject();
        });
        e.selectSubjectIn({s.boxX, s.boxY, s.boxWidth, s.boxHeight});
        QVERIFY(settle(e));
        disconnect(cancel);
        QCOMPARE(e.history().currentIndex(), before);
        QCOMPARE(e.screen().source, Screen::Source::composite);
        QVERIFY(!selectedSubject(e.strokes()) && test::isGrey(e.composite().image.pixel(100, 80)));

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
        // A box dragged past the picture's edge keeps the part over it, and the work that
        // holds it can be read back.
        e.selectSubjectIn({70, -10, 60, 70});
        QVERIFY(settle(e));
        QCOMPARE(e.history().currentIndex(), steps + 1);
        QCOMPARE(selectedSubject(e.strokes())->box, (fx::PixelRect{70, 0, 60, 60}));
        QString why;
        QVERIFY2(work::fromText(work::toText(e.work()), &why), qPrintable(why));
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
