// Exporting the splash through the window and the dialog, and saving and loading profiles.
#include <QtTest>

#include <QColorDialog>
#include <QLabel>
#include <QProgressDialog>

#include "model/effects/image_tools.h"
#include "model/effects/layer_rendering.h"
#include "model/files/keep_sidecar.h"
#include "model/files/profile_file.h"
#include "model/platform/defaults_store.h"
#include "model/platform/temporary_directory.h"
#include "support/file_size_limit.h"
#include "support/test_pictures.h"
#include "support/window_fixture.h"
#include "tests/support/sample_pictures.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/combo_box.h"
#include "ui/controls/slider.h"

using namespace vividra;
using test::isGrey;

namespace {

template <class Widget> Widget* findVisible() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<Widget*>(w); found && found->isVisible())
            return found;
    return nullptr;
}

// The strokes that paint something, by their paths' bounds: the lists may also hold empty
// ones, which paint nothing.
QList<QRectF> paintedStrokes(const QList<CustomPathRef>& strokes) {
    QList<QRectF> out;
    for (const CustomPathRef& s : strokes)
        if (s->path && !s->path->isEmpty())
            out << s->path->boundingRect();
    return out;
}

QString informative(const test::ScriptedDialogs& d, int i) {
    return d.alerts.value(i).informativeText;
}

} // namespace

class ExportAndProfilesTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(true); }
    void cleanup() { fixture_.tearDown(); }

    void exportFollowsTheWindowTheDialogAndTheDestinationsExtension() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        c.exportPicture();
        QCOMPARE(d.alerts.size(), 1);
        QCOMPARE(informative(d, 0),
                 "There is no image to save. Please add an image and try again.");
        QVERIFY(d.saveDialogs.isEmpty());

        const QString root = fixture_.environment().root();
        openSplash(test::writeColourPicture(root, 300, 200, QStringLiteral("IMG_1.JPG")));
        const int before = d.alerts.size();
        // Closing the window stops silently.
        test::answerFormatWindow(QString());
        c.exportPicture();
        QCOMPARE(d.alerts.size(), before);
        QVERIFY(d.saveDialogs.isEmpty());

        // "Original" keeps the picture's own extension; a cancelled dialog changes nothing.
        test::answerFormatWindow(QStringLiteral("Original"));
        d.saveAnswers = {QString()};
        c.exportPicture();
        QCOMPARE(d.saveDialogs.size(), 1);
        QCOMPARE(d.saveDialogs[0].suggestedName, "IMG_1_edited.JPG");
        QCOMPARE(d.saveDialogs[0].extensions.size(), 12);
        QVERIFY(platform::defaults::folder(platform::defaults::kSaveImagePath).isEmpty());

        // "PNG" chosen, a ".tif" name typed: TIFF data, the folder remembered.
        QDir(root).mkdir(QStringLiteral("out"));
        const QString tif = root + QStringLiteral("/out/splash.tif");
        test::answerFormatWindow(QStringLiteral("PNG"));
        d.saveAnswers = {tif};
        c.exportPicture();
        QCOMPARE(d.saveDialogs[1].suggestedName, "IMG_1_edited.PNG");
        QTRY_COMPARE(d.alerts.size(), before + 1);
        QCOMPARE(informative(d, before), "Image saved successfully.");
        QCOMPARE(d.alerts[before].style, platform::Alert::Style::Informational);
        const QByteArray bytes = test::readAll(tif);
        QVERIFY(bytes.startsWith("II*") || bytes.startsWith("MM"));
        QCOMPARE(platform::defaults::folder(platform::defaults::kSaveImagePath),
                 root + QStringLiteral("/out"));
        QCOMPARE(ImageTools::readPicture(tif)->image, c.engine().composite().image);
        QVERIFY(QDir(platform::temporaryDirectory()).entryList({"finalImage*"}).isEmpty());
    }

    void theRatePromptIsArmedThenAskedOncePerRun() {
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        const QString picture = test::writeColourPicture(root, 80, 60);
        openSplash(picture);
        QList<QUrl> opened;
        auto oldOpener = ViewController::ratingPageOpener();
        ViewController::ratingPageOpener() = [&opened](const QUrl& url) { opened << url; };
        const auto exportOnce = [&] {
            ViewController& c = fixture_.controller();
            test::answerFormatWindow(QStringLiteral("JPG"));
            d.saveAnswers = {root + QStringLiteral("/a.jpg")};
            const int before = d.alerts.size();
            c.exportPicture();
            if (!QTest::qWaitFor(
                    [&] { return d.alerts.size() > before && !c.engine().renderingPending(); }))
                return QList<test::ScriptedDialogs::Asked>();
            return d.alerts.mid(before);
        };
        QVERIFY(!platform::defaults::contains(platform::defaults::kShowRateMessage));
        QCOMPARE(exportOnce().size(), 1);
        QCOMPARE(platform::defaults::string(platform::defaults::kShowRateMessage), "Yes");
        // "Remind me later" stores nothing, and this run asks no more.
        d.alertAnswers = {platform::kFirstButton, platform::kSecondButton};
        const auto second = exportOnce();
        QCOMPARE(second.size(), 2);
        QCOMPARE(second[1].buttons,
                 (QStringList{"Yes, Rate Vividra", "Remind me later", "No, Thanks"}));
        QCOMPARE(platform::defaults::string(platform::defaults::kShowRateMessage), "Yes");
        QCOMPARE(exportOnce().size(), 1);
        // A later run asks again; the rating page is opened and the prompt retired.
        nextRun(picture);
        d.alertAnswers = {platform::kFirstButton, platform::kFirstButton};
        QCOMPARE(exportOnce().size(), 2);
        QCOMPARE(opened, QList<QUrl>{QUrl("appstream://org.vividra.Vividra")});
        QCOMPARE(platform::defaults::string(platform::defaults::kShowRateMessage), "No");
        nextRun(picture);
        QCOMPARE(exportOnce().size(), 1);
        ViewController::ratingPageOpener() = oldOpener;
    }

    void aFullDiskKeepsTheOldFile() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        openSplash(test::writeColourPicture(root, 400, 300));
        const QString path = root + QStringLiteral("/old.bmp");
        const QByteArray old(2000, 'x');
        QVERIFY(test::writeAll(path, old));

        test::FileSizeLimit limit(100 * 1024); // a 400 × 300 BMP is 360 kB
        if (!limit.ok())
            QSKIP("cannot limit the file size here");
        test::answerFormatWindow(QStringLiteral("BMP"));
        d.saveAnswers = {path};
        const int before = d.alerts.size();
        c.exportPicture();
        QTRY_COMPARE(d.alerts.size(), before + 1);
        limit.lift();
        QCOMPARE(informative(d, before), "Could not save the image.");
        QCOMPARE(test::readAll(path), old);
        QCOMPARE(QDir(root).entryList({".old.bmp*"}, QDir::Files | QDir::Hidden), QStringList());
    }

    void cancellingTheProgressWindowKeepsTheOldFile() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        openSplash(test::writeColourPicture(root, 200, 150));
        const QString path = root + QStringLiteral("/old.png");
        QVERIFY(test::writeAll(path, "old"));
        // Work ahead in the line holds the export back until it is cancelled.
        const auto release = fixture_.holdLine();
        test::answerFormatWindow(QStringLiteral("PNG"));
        d.saveAnswers = {path};
        const int before = d.alerts.size();
        c.exportPicture();
        QProgressDialog* progress = nullptr;
        QTRY_VERIFY((progress = findVisible<QProgressDialog>()));
        QVERIFY(progress->isModal());
        QTest::keyClick(progress, Qt::Key_Escape);
        release();
        QTRY_VERIFY(!c.engine().busy());
        QTest::qWait(50);
        QCOMPARE(d.alerts.size(), before);
        QCOMPARE(test::readAll(path), QByteArray("old"));
        QVERIFY(!findVisible<QProgressDialog>());
    }

    void profilesRoundTripAndBadFilesChangeNothing() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        const QString path = root + QStringLiteral("/look.clr");

        // Change controls as a user would, then save as.
        c.checkBackgroundBlackWhite->click();
        c.comboBackgroundBlackWhite->setCurrentIndex(2);
        emit c.comboBackgroundBlackWhite->activated(2);
        c.sliderForegroundBlurIntensity->setFloatValue(55.5f);
        emit c.sliderForegroundBlurIntensity->floatValueChanged(55.5f);
        c.checkEraserMode->click();
        c.colourDialog->setCurrentColor(QColor::fromRgbF(0.2f, 0.4f, 0.6f));
        QTRY_VERIFY(!c.engine().renderingPending());
        const EditSettings saved = c.engine().settings();
        QVERIFY(saved.background.blackWhiteOn && saved.brush.eraser);
        d.saveAnswers = {path};
        c.saveProfile();
        QCOMPARE(d.saveDialogs.size(), 1);
        QCOMPARE(d.saveDialogs[0].suggestedName, "profile.clr");
        QCOMPARE(d.saveDialogs[0].extensions, QStringList{"clr"});
        QCOMPARE(c.engine().profilePath(), path);
        QCOMPARE(platform::defaults::folder(platform::defaults::kSaveAsProfilePath), root);
        QVERIFY(!c.engine().hasUnsavedChanges());
        QCOMPARE(profile::readFile(path), profile::text(saved, c.labelBrushSize->text()));

        // Back to defaults and a change, then load: it asks, and every control returns.
        d.alertAnswers = {platform::kFirstButton};
        c.newSession();
        QVERIFY(c.engine().settings() != saved);
        c.checkForegroundSepia->click();
        const int alerts = d.alerts.size();
        d.alertAnswers = {platform::kFirstButton};
        d.openAnswers = {path};
        c.loadProfile();
        QCOMPARE(informative(d, alerts), "You have unsaved changes that will be lost. Continue?");
        QCOMPARE(c.engine().settings(), saved);
        QVERIFY(c.checkBackgroundBlackWhite->isChecked());
        QVERIFY(!c.checkForegroundSepia->isChecked());
        QCOMPARE(c.comboBackgroundBlackWhite->currentIndex(), 2);
        QCOMPARE(c.sliderForegroundBlurIntensity->floatValue(), 55.5f);
        QVERIFY(c.checkEraserMode->isChecked());
        QCOMPARE(c.colourDialog->currentColor(), saved.brush.colour);
        QVERIFY(!c.engine().busy());
        QCOMPARE(platform::defaults::folder(platform::defaults::kLoadProfilePath), root);

        // "No" leaves everything.
        c.checkForegroundSepia->click();
        const EditSettings changed = c.engine().settings();
        d.alertAnswers = {platform::kSecondButton};
        const int asked = d.openDialogs.size();
        c.loadProfile();
        QCOMPARE(d.openDialogs.size(), asked);
        QCOMPARE(c.engine().settings(), changed);
        QCOMPARE(c.engine().profilePath(), path);

        // A bad file (the line rules are the model's tests): rejected before any control
        // changes, and then the save target.
        QStringList outOfRange = profile::readFile(path)->split('\n');
        outOfRange[32] = "9.0"; // contrast
        const QString bad = root + QStringLiteral("/bad.clr");
        d.alertAnswers = {platform::kFirstButton};
        c.newSession();
        const EditSettings defaults = c.engine().settings();
        QVERIFY(test::writeAll(bad, outOfRange.join('\n').toUtf8()));
        d.openAnswers = {bad};
        const int before = d.alerts.size();
        c.loadProfile();
        QCOMPARE(d.alerts.size(), before + 1);
        QCOMPARE(informative(d, before), "Could not load profile.");
        QCOMPARE(c.engine().settings(), defaults);
        QVERIFY(!c.checkBackgroundBlackWhite->isChecked());
        QCOMPARE(c.engine().profilePath(), bad);
        const int saveDialogs = d.saveDialogs.size();
        c.saveProfile();
        QCOMPARE(d.saveDialogs.size(), saveDialogs);
        QCOMPARE(profile::readFile(bad), profile::text(defaults, c.labelBrushSize->text()));
    }

    void loadingWithAPictureRendersOnceAndIsOneUndoStep() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        EditSettings look;
        look.background.blackWhiteOn = true;
        look.foreground.sepiaOn = true;
        look.adjustments.brightness = 0.3f;
        const QString path = root + QStringLiteral("/look.clr");
        QVERIFY(profile::writeFile(path, profile::text(look, look.brushLabel())));
        openSplash(test::writeColourPicture(root, 200, 150));
        const SessionEngine& e = c.engine();
        const EditSettings before = e.settings();
        const QList<QRectF> strokes = paintedStrokes(e.strokes());
        QCOMPARE(strokes.size(), 1);
        const QImage foreground = e.foregroundLayer().image;
        const QImage background = e.cleanBackground().image;
        const QImage composite = e.composite().image;
        const qsizetype step = e.history().currentIndex();

        d.alertAnswers = {platform::kFirstButton};
        d.openAnswers = {path};
        c.loadProfile();
        QVERIFY(e.busy());
        fixture_.waitIdle();
        QCOMPARE(d.alerts.size(), 1);
        QCOMPARE(e.history().currentIndex(), step + 1);
        QCOMPARE(e.history().states().size(), step + 2);
        QVERIFY(!e.hasUnsavedChanges());
        QVERIFY(paintedStrokes(e.strokes()).isEmpty());
        QVERIFY(c.checkForegroundSepia->isChecked());

        // The background is the profile's look, adjustments included.
        const Picture original = *ImageTools::readPicture(e.picturePath());
        const Picture loaded = effectChain(original, look.background, look.adjustments);
        QCOMPARE(e.cleanBackground().image, loaded.image);

        // Undo returns to the splash as it was before the load, controls included.
        QVERIFY(c.canUndo());
        c.undo();
        fixture_.waitIdle();
        EditSettings undone = e.settings();
        undone.brush.colour = before.brush.colour;
        QCOMPARE(undone, before);
        QCOMPARE(e.settings().brush.colour, before.brush.colour);
        QCOMPARE(paintedStrokes(e.strokes()), strokes);
        QCOMPARE(e.foregroundLayer().image, foreground);
        QCOMPARE(e.cleanBackground().image, background);
        QCOMPARE(e.composite().image, composite);
        QVERIFY(!c.checkForegroundSepia->isChecked());
        QVERIFY(c.canRedo());
        c.redo();
        fixture_.waitIdle();
        QCOMPARE(e.cleanBackground().image, loaded.image);
        QVERIFY(paintedStrokes(e.strokes()).isEmpty());
    }

    void anExportOutlivesANewPictureTakenInMeanwhile() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        openSplash(test::writeColourPicture(root, 200, 150));
        const QImage splash = c.engine().composite().image;
        const QString next = test::writeColourPicture(root, 120, 90, QStringLiteral("next.png"));
        platform::defaults::setString(platform::defaults::kShowRateMessage, "No");

        // Started with its copies, then a picture opened with the program: still written and
        // told, and the new picture comes in after it.
        const QString written = root + QStringLiteral("/written.png");
        test::answerFormatWindow(QStringLiteral("PNG"));
        d.saveAnswers = {written};
        const int before = d.alerts.size();
        c.exportPicture();
        c.openRequested({{}, {{QStringLiteral("0"), QStringList{next}}}});
        QTRY_COMPARE(d.alerts.size(), before + 1);
        QCOMPARE(informative(d, before), "Image saved successfully.");
        QCOMPARE(ImageTools::readPicture(written)->image, splash);
        fixture_.waitIdle();
        QCOMPARE(c.engine().picturePath(), next);
        QTRY_VERIFY(!findVisible<QProgressDialog>());

        // Still waiting behind other work when a picture is dropped: its pictures are gone,
        // so it goes as if cancelled, and its progress window with it.
        openSplash(test::writeColourPicture(root, 200, 150));
        const auto release = fixture_.holdLine();
        const QString dropped = root + QStringLiteral("/dropped.png");
        test::answerFormatWindow(QStringLiteral("PNG"));
        d.saveAnswers = {dropped};
        c.exportPicture();
        QTRY_VERIFY(findVisible<QProgressDialog>());
        c.pictureDropped({{}, {{QStringLiteral("path"), next}}});
        release();
        fixture_.waitIdle();
        QTRY_VERIFY(!findVisible<QProgressDialog>());
        QCOMPARE(d.alerts.size(), before + 1);
        QVERIFY(!QFileInfo::exists(dropped));
        // The next export is not refused as if one still ran.
        test::answerFormatWindow(QStringLiteral("PNG"));
        d.saveAnswers = {dropped};
        c.exportPicture();
        QTRY_COMPARE(d.alerts.size(), before + 2);
        QVERIFY(QFileInfo::exists(dropped));
    }

    void aKeptColourTravelsBesideTheProfile() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const SessionEngine& e = c.engine();
        const QString root = fixture_.environment().root();
        QImage halves(200, 100, QImage::Format_RGB32);
        halves.fill(qRgb(40, 160, 50));
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                halves.setPixel(x, y, qRgb(210, 30, 25));
        const QString picture = root + QStringLiteral("/halves.png");
        QVERIFY(halves.save(picture));
        c.checkBackgroundBlackWhite->click();
        c.engine().open(picture);
        fixture_.waitIdle();
        c.checkKeepColor->click();
        QVERIFY(c.engine().pickColourAt(QPointF(50, 50)));
        fixture_.waitIdle();
        c.checkEdgeAware->click();

        const QString path = root + QStringLiteral("/look.clr");
        const QString beside = root + QStringLiteral("/look.keep");
        d.saveAnswers = {path};
        c.saveProfile();
        const std::optional<sidecar::Extras> written = sidecar::read(path);
        QVERIFY(written);
        QCOMPARE(written->keep, e.settings().keep);
        QVERIFY(written->edgeAware);

        // Loaded again over the same picture: the red half keeps its colour at once.
        const KeepColourSettings kept = e.settings().keep;
        QVERIFY(kept.on);
        c.checkKeepColor->click();
        fixture_.waitIdle();
        QVERIFY(!e.settings().keep.on);
        d.alertAnswers = {platform::kFirstButton};
        d.openAnswers = {path};
        c.loadProfile();
        fixture_.waitIdle();
        QCOMPARE(e.settings().keep, kept);
        QVERIFY(c.checkKeepColor->isChecked());
        QCOMPARE(e.composite().image.pixel(50, 50), halves.pixel(50, 50));
        QVERIFY(isGrey(e.composite().image.pixel(150, 50)));
        QVERIFY(e.history().current()->keep.on);

        // Saved with neither, the file beside it goes; a damaged one is told and left out.
        c.checkKeepColor->click();
        c.checkEdgeAware->click();
        fixture_.waitIdle();
        c.saveProfile();
        QVERIFY(!QFileInfo::exists(beside));
        QVERIFY(test::writeAll(beside, "keep=1\nhue=400\n"));
        const int alerts = d.alerts.size();
        d.openAnswers = {path};
        c.loadProfile();
        fixture_.waitIdle();
        QCOMPARE(d.alerts.size(), alerts + 1);
        QVERIFY(informative(d, alerts).contains(QStringLiteral("damaged")));
        QVERIFY(!e.settings().keep.on);
        QVERIFY(isGrey(e.composite().image.pixel(50, 50)));
    }

private:
    // A later run of the program, with the picture opened again as a splash.
    void nextRun(const QString& picture) {
        fixture_.restart();
        openSplash(picture);
    }

    // Opens a picture, turns the background black and white and paints across its middle.
    void openSplash(const QString& path) {
        ViewController& c = fixture_.controller();
        c.engine().open(path);
        fixture_.waitIdle();
        c.checkBackgroundBlackWhite->click();
        fixture_.waitIdle();
        fixture_.paintAcrossMiddle();
        fixture_.waitIdle();
    }

    test::WindowFixture fixture_;
};

QTEST_MAIN(ExportAndProfilesTest)
#include "export_and_profiles_qtest.moc"
