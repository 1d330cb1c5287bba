// What the window adds to exporting, to profiles and to kept work: the dialogs and their
// questions, the words of every outcome, the progress window, the rate prompt, Continue and the
// offer after a crash. What a profile, an export or a restore does to the session is the
// engine's tests and the randomized test's.
#include <QtTest>

#include <QColorDialog>
#include <QProgressDialog>

#include "model/files/keep_sidecar.h"
#include "model/files/profile_file.h"
#include "model/platform/defaults_store.h"
#include "model/work/journal.h"
#include "support/file_size_limit.h"
#include "support/test_pictures.h"
#include "support/window_fixture.h"
#include "tests/support/sample_pictures.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/combo_box.h"
#include "ui/controls/slider.h"

using namespace vividra;
using namespace platform::defaults;

class ViewControllerTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(true); }
    void cleanup() { fixture_.tearDown(); }

    // The format window, then the save dialog; the first good export arms the rate prompt,
    // which is asked once per run until answered.
    void exportAsksForAFormatThenADestinationAndThenForARating() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        c.engine().open(test::writeColourPicture(root, 300, 200, QStringLiteral("IMG_1.JPG")));
        fixture_.waitIdle();
        // Closing the format window stops silently.
        test::answerFormatWindow(QString());
        c.exportPicture();
        QVERIFY(d.alerts.isEmpty() && d.saveDialogs.isEmpty());

        // "Original" keeps the picture's own extension; a cancelled dialog changes nothing.
        test::answerFormatWindow(QStringLiteral("Original"));
        c.exportPicture();
        QCOMPARE(d.saveDialogs.size(), 1);
        QCOMPARE(d.saveDialogs[0].suggestedName, "IMG_1_edited.JPG");
        QCOMPARE(d.saveDialogs[0].extensions.size(), 12);
        QVERIFY(folder(kSaveImagePath).isEmpty() && !contains(kShowRateMessage));

        QDir(root).mkdir(QStringLiteral("out"));
        exportTo(root + QStringLiteral("/out/splash.tif"), "PNG");
        QCOMPARE(d.saveDialogs[1].suggestedName, "IMG_1_edited.PNG");
        QCOMPARE(d.alerts.size(), 1);
        QCOMPARE(d.alerts[0].informativeText, "Image saved successfully.");
        QCOMPARE(d.alerts[0].style, platform::Alert::Style::Informational);
        QCOMPARE(folder(kSaveImagePath), root + QStringLiteral("/out"));
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/out/splash.tif")));
        QCOMPARE(string(kShowRateMessage), "Yes");

        QList<QUrl> opened;
        auto oldOpener = ViewController::ratingPageOpener();
        ViewController::ratingPageOpener() = [&opened](const QUrl& url) { opened << url; };
        // How many alerts one good export brings.
        const auto exportOnce = [&] {
            const int before = d.alerts.size();
            exportTo(root + QStringLiteral("/a.jpg"), "JPG");
            return d.alerts.size() - before;
        };
        // "Remind me later" stores nothing, and this run asks no more.
        d.alertAnswers = {platform::kFirstButton, platform::kSecondButton};
        QCOMPARE(exportOnce(), 2);
        QCOMPARE(d.alerts.last().buttons,
                 (QStringList{"Yes, Rate Vividra", "Remind me later", "No, Thanks"}));
        QCOMPARE(string(kShowRateMessage), "Yes");
        QCOMPARE(exportOnce(), 1);
        // A later run asks again; the rating page is opened and the prompt retired.
        fixture_.restart();
        fixture_.load();
        d.alertAnswers = {platform::kFirstButton, platform::kFirstButton};
        QCOMPARE(exportOnce(), 2);
        QCOMPARE(opened, QList<QUrl>{QUrl("appstream://org.vividra.Vividra")});
        QCOMPARE(string(kShowRateMessage), "No");
        fixture_.restart();
        fixture_.load();
        QCOMPARE(exportOnce(), 1);
        // "No, Thanks" retires it too, and opens nothing.
        setString(kShowRateMessage, QStringLiteral("Yes"));
        fixture_.restart();
        fixture_.load();
        d.alertAnswers = {platform::kFirstButton, platform::kSecondButton + 1};
        QCOMPARE(exportOnce(), 2);
        QCOMPARE(string(kShowRateMessage), "No");
        QCOMPARE(opened.size(), 1);
        ViewController::ratingPageOpener() = oldOpener;
    }

    void everyFailureIsToldInItsOwnWords() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        const QString profile = root + QStringLiteral("/look.clr");
        const QString beside = sidecar::pathFor(profile);
        // The words told, and what brings them.
        const std::pair<QString, std::function<void()>> cases[] = {
            {"There is no image to save. Please add an image and try again.",
             [&] { c.exportPicture(); }},
            {"The image could not be loaded.",
             [&] {
                 c.openRequested({{}, {{QStringLiteral("0"), QStringList()}}});
             }},
            {"Could not save the image.",
             [&] {
                 fixture_.load();
                 test::FileSizeLimit limit(100 * 1024); // a 400 × 300 BMP is 360 kB
                 exportTo(root + QStringLiteral("/full.bmp"), "BMP");
             }},
            {"Could not save profile.",
             [&] {
                 test::FileSizeLimit limit(16); // the profile is about 150 bytes
                 d.saveAnswers = {profile};
                 c.saveProfile();
             }},
            {"The profile was saved, but not its kept colour: could not write \"look.keep\".",
             [&] {
                 QDir(root).mkdir(QFileInfo(beside).fileName());
                 c.checkEdgeAware->click();
                 c.saveProfile();
                 QDir(root).rmdir(QFileInfo(beside).fileName());
             }},
            {"The profile was loaded without its kept colour: \"look.keep\" is damaged.",
             [&] {
                 QVERIFY(test::writeAll(beside, "keep=1\nhue=400\n"));
                 d.openAnswers = {profile};
                 c.loadProfile();
             }},
            {"Could not load profile.",
             [&] {
                 QVERIFY(test::writeAll(profile, "not a profile"));
                 d.openAnswers = {profile};
                 c.loadProfile();
             }},
        };
        for (const auto& [told, act] : cases) {
            const int before = d.alerts.size();
            d.alertAnswers = {platform::kFirstButton};
            act();
            fixture_.waitIdle();
            QVERIFY2(!d.alerts.isEmpty(), qPrintable(told));
            QCOMPARE(d.alerts.last().informativeText, told);
            // Besides, at most the unsaved-changes question.
            QVERIFY2(d.alerts.size() - before <= 2, qPrintable(told));
        }
    }

    void theProgressWindowGoesWithEscapeOrADroppedPicture() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        const QString next = test::writeColourPicture(root, 120, 90, QStringLiteral("next.png"));
        const auto visibleProgress = []() -> QProgressDialog* {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* found = qobject_cast<QProgressDialog*>(w); found && found->isVisible())
                    return found;
            return nullptr;
        };
        for (const bool escape : {true, false}) {
            fixture_.load();
            // Work ahead in the line holds the export back until it goes.
            const auto release = fixture_.holdLine();
            test::answerFormatWindow(QStringLiteral("PNG"));
            d.saveAnswers = {root + QStringLiteral("/held.png")};
            c.exportPicture();
            QProgressDialog* progress = nullptr;
            QTRY_VERIFY((progress = visibleProgress()));
            QVERIFY(progress->isModal());
            if (escape)
                QTest::keyClick(progress, Qt::Key_Escape);
            else
                c.pictureDropped({{}, {{QStringLiteral("path"), next}}});
            release();
            fixture_.waitIdle();
            QTRY_VERIFY(!visibleProgress());
            QVERIFY(d.alerts.isEmpty());
        }
        // The next export is not refused as if one still ran.
        exportTo(root + QStringLiteral("/after.png"), "PNG");
        QCOMPARE(d.alerts.size(), 1);
    }

    void profilesGoThroughTheirDialogsAndTheControlsFollow() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        const QString path = root + QStringLiteral("/look.clr");
        c.checkBackgroundBlackWhite->click();
        c.comboBackgroundBlackWhite->setCurrentIndex(2);
        emit c.comboBackgroundBlackWhite->activated(2);
        c.sliderForegroundBlurIntensity->setFloatValue(55.5f);
        emit c.sliderForegroundBlurIntensity->floatValueChanged(55.5f);
        c.checkEraserMode->click();
        c.colourDialog->setCurrentColor(QColor::fromRgbF(0.2f, 0.4f, 0.6f));
        fixture_.waitIdle();
        const EditSettings saved = c.engine().settings();
        d.saveAnswers = {path};
        c.saveProfile();
        QCOMPARE(d.saveDialogs.size(), 1);
        QCOMPARE(d.saveDialogs[0].suggestedName, "profile.clr");
        QCOMPARE(d.saveDialogs[0].extensions, QStringList{"clr"});
        QCOMPARE(folder(kSaveAsProfilePath), root);
        QCOMPARE(profile::readFile(path), profile::text(saved, c.labelBrushSize->text()));
        // Saved again to the same file, without asking.
        c.saveProfile();
        QCOMPARE(d.saveDialogs.size(), 1);

        // Back to defaults and a change, then load: every control returns.
        c.newSession();
        c.checkForegroundSepia->click();
        d.openAnswers = {path};
        c.loadProfile();
        QCOMPARE(c.engine().settings(), saved);
        QVERIFY(c.checkBackgroundBlackWhite->isChecked() && c.checkEraserMode->isChecked());
        QVERIFY(!c.checkForegroundSepia->isChecked());
        QCOMPARE(c.comboBackgroundBlackWhite->currentIndex(), 2);
        QCOMPARE(c.sliderForegroundBlurIntensity->floatValue(), 55.5f);
        QCOMPARE(c.colourDialog->currentColor(), saved.brush.colour);
        QCOMPARE(folder(kLoadProfilePath), root);

        // "No" leaves everything and opens no dialog.
        c.checkForegroundSepia->click();
        const EditSettings changed = c.engine().settings();
        d.alertAnswers = {platform::kSecondButton};
        c.loadProfile();
        QCOMPARE(d.openDialogs.size(), 1);
        QCOMPARE(c.engine().settings(), changed);
    }

    void continueStartOverCrashAndWorkFilesGoThroughTheirQuestions() {
        ViewController& c = fixture_.controller();
        SessionEngine& e = c.engine();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        const QString photo = test::writeColourPicture(root, 300, 200);
        const QByteArray hash = work::contentHash(photo);
        c.openPhoto(photo);
        edit(0);
        // Continue brings the edit back; saved as a work file, it opens again from there.
        d.alertAnswers = {platform::kFirstButton};
        c.openPhoto(photo);
        fixture_.waitIdle();
        QCOMPARE(d.alerts[0].messageText, "Continue where you left off?");
        QCOMPARE(d.alerts[0].buttons, (QStringList{"Continue", "Start Over"}));
        QCOMPARE(e.history().states().size(), 2);
        d.saveAnswers = {root + QStringLiteral("/carried")};
        QSignalSpy saved(&e, &SessionEngine::workSaved);
        c.saveWorkAs();
        QTRY_COMPARE(saved.size(), 1);
        c.openPhoto(root + QStringLiteral("/carried.vividra"));
        fixture_.waitIdle();
        QCOMPARE(e.history().states().size(), 2);
        // Start Over forgets it.
        d.alertAnswers = {platform::kSecondButton};
        c.openPhoto(photo);
        fixture_.waitIdle();
        QVERIFY(e.history().states().size() == 1 && !e.journal()->find(hash));

        // A session that never ended: Discard removes its journal.
        edit(2);
        d.alertAnswers = {platform::kSecondButton};
        c.offerRecovery();
        QCOMPARE(d.alerts.size(), 3);
        QCOMPARE(d.alerts[2].messageText,
                 "Vividra closed unexpectedly. Restore your last photo and its edits?");
        QCOMPARE(d.alerts[2].buttons, (QStringList{"Restore", "Discard"}));
        QVERIFY(!e.journal()->find(hash));
        // The photo moved: the journal stays until that photo, and no other, is located.
        edit(4);
        const QString moved = root + QStringLiteral("/moved.png");
        QVERIFY(QFile::rename(photo, moved));
        d.alertAnswers = {platform::kSecondButton}; // "Not Now"
        c.offerRecovery();
        QVERIFY(e.journal()->find(hash));
        d.alertAnswers = {platform::kFirstButton, platform::kFirstButton, platform::kFirstButton};
        d.openAnswers = {test::writeColourPicture(root, 30, 20, QStringLiteral("other.png")),
                         moved};
        c.offerRecovery();
        QCOMPARE(d.alerts.size(), 6);
        QVERIFY(d.alerts[4].informativeText.contains(photo));
        QVERIFY(d.alerts[5].informativeText.startsWith("That is not the photo"));
        c.offerRecovery();
        fixture_.waitIdle();
        QCOMPARE(e.picturePath(), moved);
        QVERIFY(e.settings().background.sepiaOn);
    }

private:
    // One switch of the background turned on, journaled.
    void edit(int which) {
        SessionEngine& e = fixture_.controller().engine();
        fixture_.waitIdle();
        e.changeSetting(fields::switches(false)[which], true);
        fixture_.waitIdle();
        QCoreApplication::processEvents();
        e.journal()->flush();
    }

    // Exports through the format window and the dialog, and waits until it is told.
    void exportTo(const QString& destination, const char* format) {
        const int before = fixture_.dialogs().alerts.size();
        test::answerFormatWindow(QString::fromLatin1(format));
        fixture_.dialogs().saveAnswers = {destination};
        fixture_.controller().exportPicture();
        QTRY_VERIFY(fixture_.dialogs().alerts.size() > before);
        fixture_.waitIdle();
    }

    test::WindowFixture fixture_;
};

QTEST_MAIN(ViewControllerTest)
#include "view_controller_qtest.moc"
