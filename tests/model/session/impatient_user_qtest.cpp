// The session engine driven the way an impatient user drives it: random sequences of
// openings, effect switches, strokes, brush changes, profile loads, exports, view changes,
// pans, subject selections, resets, and kills restored from the journal, with the jobs they
// start finishing at random points in between. Once the jobs are done, the screen, the brush and
// the layers must be exactly what the settings and strokes say; each change is one undo step, and
// undo and redo bring back exactly what each state showed.
//
// VIVIDRA_SOAK_SEQUENCES sets how many sequences run (default 200) and VIVIDRA_SOAK_SEED
// the first seed, so a failing sequence can be run again alone.
#include <QDir>
#include <QRandomGenerator>
#include <QtTest>

#include <map>
#include <optional>

#include "model/effects/image_tools.h"
#include "model/files/export_file.h"
#include "model/files/profile_file.h"
#include "model/platform/temporary_directory.h"
#include "model/platform/work_queue.h"
#include "model/session/session_engine.h"
#include "model/view/zoom.h"
#include "model/work/journal.h"
#include "model/work/work_file.h"
#include "support/engine_support.h"
#include "support/isolated_environment.h"
#include "support/sample_pictures.h"
#include "support/test_pictures.h"

using namespace vividra;
using test::settle;
using test::spinUntil;

namespace {

int environmentNumber(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

int largestDifference(const QImage& a, const QImage& b) {
    return a.size() != b.size() ? 256 : test::compare(a, b).max;
}

// What one action did to the history, when it ran with the line idle.
enum class Steps { none, one, any };

} // namespace

class ImpatientUserTest : public QObject {
    Q_OBJECT

private slots:
    void randomSequencesKeepTheSessionConsistent() {
        const int sequences = environmentNumber("VIVIDRA_SOAK_SEQUENCES", 200);
        const int firstSeed = environmentNumber("VIVIDRA_SOAK_SEED", 1);
        for (int seed = firstSeed; seed < firstSeed + sequences; ++seed) {
            runSequence(static_cast<quint32>(seed));
            if (QTest::currentTestFailed()) {
                qWarning("failed with VIVIDRA_SOAK_SEED=%d VIVIDRA_SOAK_SEQUENCES=1", seed);
                return;
            }
        }
    }

private:
    struct Sequence {
        SessionEngine& e;
        QRandomGenerator random;
        QStringList pictures;
        QString root;
        QByteArray where;
    };

    void runSequence(quint32 seed) {
        test::IsolatedEnvironment environment;
        SessionEngine engine;
        engine.setBoxSize(QSizeF(640, 420));
        Sequence s{engine,
                   QRandomGenerator(seed),
                   {},
                   environment.root(),
                   QByteArrayLiteral("seed ") + QByteArray::number(seed)};
        // Every other sequence keeps no layer in the history: undo renders them again.
        if (seed % 2 == 0)
            engine.history().memoryBudget = 0;
        s.pictures = {test::writeColourPicture(s.root, 72, 48, QStringLiteral("a.png")),
                      test::writeColourPicture(s.root, 40, 64, QStringLiteral("b.jpg")),
                      s.root + QStringLiteral("/broken.png")};
        QVERIFY(test::writeAll(s.pictures[2], "\x89PNG\r\n\x1a\nthis is not a picture"));

        // At every turn of the event loop: the box never goes back to a picture of older
        // settings than it showed before (a late rendering over a newer preview).
        std::uint64_t shownBefore = 0;
        bool wentBack = false;
        const auto watchShown = [&] {
            wentBack |= engine.shownChange() < shownBefore;
            shownBefore = std::max(shownBefore, engine.shownChange());
        };
        QTimer watch;
        watch.setInterval(0);
        connect(&watch, &QTimer::timeout, this, watchShown);
        watch.start();

        const int steps = 6 + static_cast<int>(s.random.bounded(14));
        for (int step = 0; step < steps; ++step) {
            act(s, s.random.bounded(kActions));
            watchShown();
            if (s.random.bounded(3) == 0)
                waitForJobs(engine, 1 + static_cast<int>(s.random.bounded(3)));
        }

        if (s.random.bounded(8) == 0) {
            // Quitting while work is in flight leaves nothing behind in the working folder.
            engine.end();
            platform::waitForBackgroundWork();
            QCoreApplication::processEvents();
            QVERIFY2(QDir(platform::temporaryDirectory())
                         .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                     s.where);
            return;
        }
        QVERIFY2(settle(engine), s.where);
        QVERIFY2(!wentBack, s.where + ": an older picture came back");
        checkInvariants(s);
        if (engine.hasPicture() && !QTest::currentTestFailed())
            checkUndoAndRedo(s);
        watch.stop();
        QVERIFY(settle(engine));
    }

    static constexpr quint32 kActions = 24;

    QPointF boxPoint(Sequence& s) {
        const QSizeF box = s.e.boxSize();
        return {s.random.bounded(box.width()), s.random.bounded(box.height())};
    }

    // One user action; what it should do to the history when the line was idle and a
    // picture is open.
    Steps act(Sequence& s, quint32 action) {
        SessionEngine& e = s.e;
        QRandomGenerator& random = s.random;
        const QString picture = s.pictures[static_cast<int>(random.bounded(s.pictures.size()))];
        if (qEnvironmentVariableIsSet("VIVIDRA_SOAK_TRACE"))
            qDebug("action %u, busy %d", action, e.busy() ? 1 : 0);
        switch (action) {
        case 0:
            e.open(picture);
            return Steps::any;
        case 1:
            e.reset();
            return Steps::any;
        case 2:
            e.clear();
            return Steps::any;
        case 3:
        case 4:
        case 5: {
            const auto switches = fields::switches(random.bounded(2) == 0);
            const SettingField& field = switches[random.bounded(quint32(switches.size()))];
            EditSettings now = e.settings();
            if (field.items) {
                const QStringList& items = *field.items;
                const QString item = items[static_cast<int>(random.bounded(items.size()))];
                const bool same = *std::get<QString*>(field.in(now)) == item;
                e.changeSetting(field, item);
                return same ? Steps::none : Steps::one;
            }
            e.changeSetting(field, !*std::get<bool*>(field.in(now)));
            return Steps::one;
        }
        case 6:
        case 7: {
            const auto sliders =
                action == 6 ? fields::sliders(random.bounded(2) == 0) : fields::adjustments();
            const SettingField& field = sliders[random.bounded(quint32(sliders.size()))];
            const float value =
                field.range.minimum + (field.range.maximum - field.range.minimum) *
                                          float(random.bounded(field.range.steps + 1)) /
                                          float(field.range.steps);
            EditSettings now = e.settings();
            const bool same = *std::get<float*>(field.in(now)) == value;
            // Sometimes dragged there first: the preview follows, the release renders.
            if (random.bounded(2) == 0)
                e.changeSetting(field, value, true);
            e.changeSetting(field, value);
            return same ? Steps::none : Steps::one;
        }
        case 8: {
            const bool neutral = e.settings().adjustments == AdjustmentSettings();
            e.resetAdjustments();
            return neutral ? Steps::none : Steps::one;
        }
        case 9:
        case 10:
            return stroke(s) ? Steps::one : Steps::none;
        case 11:
            e.setEraser(!e.settings().brush.eraser);
            return Steps::one;
        case 12:
            e.setCustomColour(!e.settings().brush.customColor);
            return Steps::one;
        case 13: {
            if (random.bounded(2) == 0) {
                e.setBrushColour(QColor::fromHsv(static_cast<int>(random.bounded(360)), 255, 255));
                return Steps::none;
            }
            const float size = 1.0f + float(random.bounded(60));
            e.setBrushSize(size);
            return Steps::one;
        }
        case 14:
            return keepColour(s);
        case 15:
            changeView(s);
            return Steps::none;
        case 16:
            // The switch, or a quick look at the original while a key is held.
            if (random.bounded(2) == 0) {
                e.showOriginal(!e.viewState().showsOriginal());
            } else {
                e.holdOriginal(true);
                e.holdOriginal(false);
            }
            return Steps::none;
        case 17:
            return pan(s);
        case 18:
            return loadProfile(s);
        case 19:
            exportPicture(s, picture);
            return Steps::any;
        case 20: {
            // Clicks and drags in Original view neither paint nor record anything.
            e.showOriginal(true);
            const bool began = e.beginStroke(boxPoint(s));
            e.extendStroke(boxPoint(s));
            e.endStroke(boxPoint(s));
            if (began)
                QTest::qFail(s.where + " a stroke began in Original view", __FILE__, __LINE__);
            return Steps::none;
        }
        case 21:
            e.setEdgeAware(!e.settings().brush.edgeAware);
            return Steps::one;
        case 22:
            return selectSubject(s);
        default:
            killAndRestore(s);
            return Steps::any;
        }
    }

    // The program killed at an idle moment and started again on its journal, as the next
    // start reads it: the session comes back as it was, its undo steps included.
    void killAndRestore(Sequence& s) {
        SessionEngine& e = s.e;
        QVERIFY2(settle(e), s.where);
        // The snapshot is taken once the change is whole, at the next turn of the loop.
        QCoreApplication::processEvents();
        if (!e.hasPicture() || e.history().states().size() < 2)
            return;
        std::optional<work::SessionWork> kept;
        if (s.random.bounded(3) == 0) {
            // Or carried to another machine in a work file, and opened there.
            const QString file = s.root + QStringLiteral("/carried.vividra");
            std::optional<bool> saved;
            const auto c = connect(&e, &SessionEngine::workSaved, this,
                                   [&](bool ok, const QString&) { saved = ok; });
            e.saveWork(file);
            QVERIFY2(spinUntil([&] { return saved.has_value(); }) && *saved, s.where);
            disconnect(c);
            QString error;
            kept = work::openWorkFile(file, s.root + QStringLiteral("/unpacked"), &error);
            QVERIFY2(kept, s.where + " " + error.toUtf8());
        } else {
            e.journal()->flush();
            kept = work::Journal().lastUnclean();
            QVERIFY2(kept && kept->originalPath == e.picturePath(), s.where + " no journal");
        }
        const Recorded before = recorded(e);
        const qsizetype index = e.history().currentIndex();
        const qsizetype states = e.history().states().size();
        const int undoSteps = e.canUndo() ? 1 : 0;
        const QString path = kept->originalPath;
        e.restore(path, std::move(*kept));
        QVERIFY2(settle(e), s.where);
        sameAs(e, before, s.where + " restored", false);
        QVERIFY2(e.history().currentIndex() == index && e.history().states().size() == states,
                 s.where + " restored history");
        QCOMPARE(e.canUndo() ? 1 : 0, undoSteps);
    }

    // Select Subject: a box dragged (a run may fail on a box with too little in it), the
    // button, which may run again on the last box, or a cancel.
    Steps selectSubject(Sequence& s) {
        switch (s.random.bounded(4)) {
        case 0:
        case 1:
            s.e.selectSubject(boxPoint(s), boxPoint(s));
            return Steps::any;
        case 2:
            s.e.pressSelectSubject();
            return Steps::any;
        default:
            s.e.cancelSubject();
            return Steps::none;
        }
    }

    // A stroke of a few random points; whether it painted.
    bool stroke(Sequence& s) {
        if (!s.e.beginStroke(boxPoint(s)))
            return false;
        for (int i = static_cast<int>(s.random.bounded(4)); i > 0; --i)
            s.e.extendStroke(boxPoint(s));
        s.e.endStroke(boxPoint(s));
        return true;
    }

    Steps keepColour(Sequence& s) {
        SessionEngine& e = s.e;
        switch (s.random.bounded(3)) {
        case 0: {
            // A pick anywhere: greys refuse it and picking goes on.
            e.startColourPick();
            const QPointF at = e.picturePoint(boxPoint(s));
            return e.pickColourAt(at) ? Steps::one : Steps::none;
        }
        case 1: {
            const bool kept = e.settings().keep.on;
            e.setKeepColour(!kept && s.random.bounded(2) == 0);
            return kept ? Steps::one : Steps::none;
        }
        default: {
            using Range = SessionEngine::KeepRange;
            const Range which = Range(s.random.bounded(3));
            const float value = float(s.random.bounded(which == Range::hue ? 360 : 90));
            if (s.random.bounded(2) == 0)
                e.setKeepRange(which, value, true);
            e.setKeepRange(which, value);
            return Steps::one;
        }
        }
    }

    // Zoom steps, a fit or a resized box; sometimes the view is rebuilt at once rather than
    // after its wait.
    void changeView(Sequence& s) {
        SessionEngine& e = s.e;
        switch (s.random.bounded(5)) {
        case 0:
            for (quint32 i = s.random.bounded(6); i > 0; --i)
                e.zoomIn();
            break;
        case 1:
            e.zoomOut();
            break;
        case 2:
            e.fit();
            break;
        case 3:
            e.zoomAbout(s.random.bounded(2) ? 1.1 : 0.9, boxPoint(s));
            break;
        default:
            e.setBoxSize(QSizeF(500 + s.random.bounded(300), 320 + s.random.bounded(200)));
            break;
        }
        if (s.random.bounded(2) == 0)
            e.settleView();
    }

    // A pan with a stroke pressed in either order: press left during the pan and let go of
    // the pan first, or begin a stroke and pan during it.
    Steps pan(Sequence& s) {
        SessionEngine& e = s.e;
        const QPointF by(s.random.bounded(200) - 100.0, s.random.bounded(200) - 100.0);
        const double before = zoom::ratio(e.pictureFrame(), e.boxSize());
        if (s.random.bounded(2) == 0) {
            e.beginPan();
            e.panBy(by);
            const bool began = e.beginStroke(boxPoint(s));
            e.endPan();
            e.endStroke(boxPoint(s));
            if (began)
                QTest::qFail(s.where + " a stroke began during a pan", __FILE__, __LINE__);
        } else {
            const bool began = e.beginStroke(boxPoint(s));
            e.beginPan();
            e.panBy(by);
            e.endStroke(boxPoint(s));
            e.endPan();
            if (began)
                return Steps::any;
        }
        return before > 1.0 ? Steps::any : Steps::none;
    }

    // A profile with non-neutral adjustments and effects, loaded over the session.
    Steps loadProfile(Sequence& s) {
        EditSettings look = s.e.settings();
        look.adjustments.brightness = float(s.random.bounded(9)) / 10.0f - 0.4f;
        look.adjustments.contrast = 0.5f + float(s.random.bounded(10)) / 10.0f;
        look.background.blackWhiteOn = s.random.bounded(2) == 0;
        look.foreground.sepiaOn = s.random.bounded(2) == 0;
        const QString path = s.root + QStringLiteral("/look.clr");
        if (!profile::writeFile(path, profile::text(look, look.brushLabel())))
            QTest::qFail("could not write the profile", __FILE__, __LINE__);
        s.e.loadProfile(path);
        return Steps::one;
    }

    // An export, and sometimes a new picture taken in while it runs: the export still ends
    // and tells how.
    void exportPicture(Sequence& s, const QString& next) {
        SessionEngine& e = s.e;
        if (!e.hasPicture())
            return;
        const QString destination = s.root + QStringLiteral("/out.png");
        QFile::remove(destination);
        std::optional<exporting::Outcome> outcome;
        auto ended = connect(&e, &SessionEngine::exportEnded, this,
                             [&](exporting::Outcome o, const QString&) { outcome = o; });
        e.exportTo(destination, QStringLiteral("PNG"));
        if (s.random.bounded(2) == 0)
            e.open(next);
        QVERIFY2(spinUntil([&] { return outcome.has_value(); }), s.where + " export never ended");
        disconnect(ended);
        if (*outcome == exporting::Outcome::saved)
            QVERIFY2(!QImage(destination).isNull(), s.where + " export wrote no picture");
    }

    void waitForJobs(SessionEngine& e, int count) {
        const auto target = e.jobs().finishedJobs() + static_cast<quint64>(count);
        QVERIFY(spinUntil([&] { return e.jobs().finishedJobs() >= target || !e.busy(); }));
    }

    void checkInvariants(Sequence& s) {
        SessionEngine& e = s.e;
        const QByteArray& where = s.where;
        QVERIFY2(!e.busy() && !e.renderingPending(), where);
        QVERIFY2(!e.strokeUnderWay(), where + " a stroke never ended");
        // Painting is allowed exactly when the edited picture is shown and the line is idle.
        QCOMPARE(e.canPaint(), e.hasPicture() && !e.picking() && !e.awaitingSubjectBox() &&
                                   !e.viewState().showsOriginal());
        QVERIFY2(!e.selectingSubject(), where);
        QVERIFY2(std::count_if(e.strokes().begin(), e.strokes().end(),
                               [](const CustomPathRef& p) { return p->subject; }) <= 1,
                 where + " more than one selection");
        const Screen& screen = e.screen();
        if (!e.hasPicture()) {
            QVERIFY2(e.foregroundLayer().isEmpty() && e.composite().isEmpty(), where);
            QVERIFY2(!screen.showsPicture(), where + " a picture without a session");
            checkWorkingFolder(where);
            return;
        }

        // The brush paints as the settings say, and the strokes hold the settings' kept
        // colour and only that one.
        const EditSettings& settings = e.settings();
        QCOMPARE(e.brushModes().erase, settings.brush.eraser);
        QCOMPARE(e.brushModes().solidColour, settings.brush.customColor && !settings.brush.eraser);
        QCOMPARE(e.brushModes().edgeAware, settings.brush.edgeAware);
        const CustomPath* kept = keptColour(e.strokes());
        QCOMPARE(kept != nullptr, settings.keep.on);
        if (kept)
            QVERIFY(*kept->keep == settings.keep.key());

        // Each layer is a fresh rendering of the settings, adjustments included.
        const std::optional<Picture> original = ImageTools::readPicture(e.picturePath());
        QVERIFY2(original.has_value(), where);
        const Picture foreground =
            effectChain(*original, settings.foreground, settings.adjustments);
        const Picture background =
            effectChain(*original, settings.background, settings.adjustments);
        QVERIFY2(e.foregroundLayer().image == foreground.image, where + " foreground");
        QVERIFY2(e.cleanBackground().image == background.image, where + " background");

        // The composite is the recorded strokes painted again, oldest first.
        const Picture again = compositeStrokes(background, e.strokes(), patternColor(foreground),
                                               patternColor(background), original->image);
        QVERIFY2(largestDifference(e.composite().image, again.image) <= 2, where + " composite");

        // The view covers the box or fits it, settled.
        const QSizeF box = e.boxSize();
        const QRectF frame = e.pictureFrame();
        QVERIFY2(frame == zoom::clampPictureFrame(frame, box), where + " frame");
        const double ratio = zoom::ratio(frame, box);
        QVERIFY2(ratio >= 1.0 - 1e-9 && ratio <= 5.0 + 1e-9, where + " ratio");
        QVERIFY2(!e.viewState().rebuildPending(), where + " view pending");
        QVERIFY2(e.geometry().maskRect.size() == box, where + " box");

        // The picture shown is the original in Original, else the composite of the current
        // settings, as the exact window for the view.
        QVERIFY2(screen.showsWindow(), where + " window");
        const bool inOriginal = e.viewState().showsOriginal();
        QCOMPARE(screen.source, inOriginal ? Screen::Source::original : Screen::Source::composite);
        // Plain strokes painted since the window was cut are drawn live over it.
        const qsizetype held = inOriginal ? 0 : screen.strokes;
        QVERIFY2(held <= e.strokes().size(), where + " the screen shows strokes undone");
        for (const CustomPathRef& stroke : e.strokes().mid(held))
            QVERIFY2(inOriginal || !(stroke->keep || stroke->subject ||
                                     (stroke->edgeAware && !stroke->path->isEmpty())),
                     where + " a stroke not shown");
        const Picture shown =
            inOriginal
                ? *original
                : compositeStrokes(background, e.strokes().first(held), patternColor(foreground),
                                   patternColor(background), original->image);
        QVERIFY2(largestDifference(screen.window, displayWindow(shown, e.geometry()).image) <= 2,
                 where + " shown picture");
        if (!inOriginal)
            QVERIFY2(e.shownChange() == e.settingsChanges(), where + " latest settings shown");
        if (!settings.brush.eraser && !settings.brush.customColor)
            QVERIFY2(e.liveColour().textureImage() == displayWindow(foreground, e.geometry()).image,
                     where + " brush colour");
        checkWorkingFolder(where);
    }

    // Only received drops: the history keeps its pictures in memory, never in files.
    void checkWorkingFolder(const QByteArray& where) {
        const QString folder = platform::temporaryDirectory();
        for (const QString& name :
             QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            QVERIFY2(name == QStringLiteral("PhotosImages"), where + " " + name.toUtf8());
    }

    struct Recorded {
        QImage foreground, background, composite;
        EditSettings settings;
    };
    static Recorded recorded(const SessionEngine& e) {
        return {e.foregroundLayer().image, e.cleanBackground().image, e.composite().image,
                e.settings()};
    }

    // The session shows what was recorded, and its strokes paint that composite again. A
    // colour chosen in the dialog is no undo step: a state keeps the colour it was recorded
    // with, unless `anyBrushColour`.
    static void sameAs(const SessionEngine& e, const Recorded& then, const QByteArray& at,
                       bool anyBrushColour) {
        const Recorded now = recorded(e);
        QVERIFY2(now.foreground == then.foreground, at + " foreground");
        QVERIFY2(now.background == then.background, at + " background");
        QVERIFY2(now.composite == then.composite, at + " composite");
        const Picture again =
            compositeStrokes(e.cleanBackground(), e.strokes(), patternColor(e.foregroundLayer()),
                             patternColor(e.cleanBackground()), e.original().image);
        QVERIFY2(largestDifference(now.composite, again.image) <= 2, at + " strokes");
        EditSettings expected = then.settings;
        if (anyBrushColour)
            expected.brush.colour = now.settings.brush.colour;
        QVERIFY2(now.settings == expected, at + " controls");
    }

    // A few more edits from an idle line, each exactly one undo step where it changes
    // something, then undo all the way back and redo all the way forward: at every state the
    // layers, the composite and the controls are those seen there before.
    void checkUndoAndRedo(Sequence& s) {
        SessionEngine& e = s.e;
        // Back to Preview, where strokes paint, so the edits below include some.
        e.showOriginal(false);
        QVERIFY2(settle(e), s.where);
        std::map<qsizetype, Recorded> seen;
        seen[e.history().currentIndex()] = recorded(e);
        const int edits = 1 + static_cast<int>(s.random.bounded(6));
        for (int i = 0; i < edits; ++i) {
            // Edits, profile loads and pans, but no new picture, reset or export.
            static constexpr quint32 kEdits[] = {3, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17, 18, 21, 22};
            const qsizetype before = e.history().currentIndex();
            const StateRef last = e.history().current();
            const quint32 action = kEdits[s.random.bounded(quint32{std::size(kEdits)})];
            const Steps steps = act(s, action);
            QVERIFY2(settle(e), s.where);
            const qsizetype after = e.history().currentIndex();
            const QByteArray what = s.where + " action " + QByteArray::number(action);
            // At the cap the index stays where it is and the oldest state goes.
            const bool recorded = after == before + 1 || e.history().current() != last;
            if (steps == Steps::one)
                QVERIFY2(recorded && after <= before + 1, what + " is not one undo step");
            else if (steps == Steps::none)
                QVERIFY2(!recorded, what + " recorded an undo step");
            seen[after] = this->recorded(e);
        }
        const auto compare = [&](const Recorded& then, const char* how) {
            sameAs(e, then,
                   s.where + " " + how + " to state " +
                       QByteArray::number(e.history().currentIndex()),
                   true);
        };
        while (e.history().currentIndex() > 0) {
            const qsizetype before = e.history().currentIndex();
            e.undo();
            QVERIFY2(settle(e) && e.history().currentIndex() == before - 1, s.where);
            const auto known = seen.find(e.history().currentIndex());
            if (known == seen.end())
                seen[e.history().currentIndex()] = recorded(e);
            else
                compare(known->second, "undo");
        }
        while (e.history().currentIndex() < e.history().states().size() - 1) {
            e.redo();
            QVERIFY2(settle(e), s.where);
            compare(seen.at(e.history().currentIndex()), "redo");
        }
    }
};

QTEST_MAIN(ImpatientUserTest)
#include "impatient_user_qtest.moc"
