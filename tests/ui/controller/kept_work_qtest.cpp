// What the window adds to kept work: the questions of Continue and of a crash, locating a photo
// that has moved, and work files through their dialogs. What a restore brings back is the
// engine's and the randomized test's.
#include <QtTest>

#include "model/work/journal.h"
#include "support/test_pictures.h"
#include "support/window_fixture.h"
#include "ui/controller/view_controller.h"

using namespace vividra;

class KeptWorkTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(true); }
    void cleanup() { fixture_.tearDown(); }

    void continueStartOverAndWorkFilesGoThroughTheirQuestions() {
        ViewController& c = fixture_.controller();
        SessionEngine& e = c.engine();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        const QString photo = test::writeColourPicture(root, 300, 200);
        c.openPhoto(photo);
        fixture_.waitIdle();
        QVERIFY(d.alerts.isEmpty());
        edit();

        // Continue brings the edit back; Start Over forgets it.
        d.alertAnswers = {platform::kFirstButton};
        c.openPhoto(photo);
        fixture_.waitIdle();
        QCOMPARE(d.alerts.size(), 1);
        QCOMPARE(d.alerts[0].messageText, "Continue where you left off?");
        QCOMPARE(d.alerts[0].buttons, (QStringList{"Continue", "Start Over"}));
        QVERIFY(e.settings().background.blackWhiteOn);
        QCOMPARE(e.history().states().size(), 2);

        // Saved as a work file with the extension added, and opened again from it.
        d.saveAnswers = {root + QStringLiteral("/carried")};
        QSignalSpy saved(&e, &SessionEngine::workSaved);
        c.saveWorkAs();
        QTRY_COMPARE(saved.size(), 1);
        QVERIFY(saved[0][0].toBool());
        QCOMPARE(d.saveDialogs[0].suggestedName, QFileInfo(photo).completeBaseName() + ".vividra");
        c.openPhoto(root + QStringLiteral("/carried.vividra"));
        fixture_.waitIdle();
        QVERIFY(e.settings().background.blackWhiteOn);
        QCOMPARE(e.history().states().size(), 2);

        d.alertAnswers = {platform::kSecondButton};
        c.openPhoto(photo);
        fixture_.waitIdle();
        QCOMPARE(d.alerts.size(), 2);
        QCOMPARE(e.history().states().size(), 1);
        QVERIFY(!e.journal()->find(work::contentHash(photo)));
    }

    void aCrashOffersRestoreAndAMovedPhotoIsLocated() {
        ViewController& c = fixture_.controller();
        SessionEngine& e = c.engine();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        const QString photo = test::writeColourPicture(root, 300, 200);
        c.openPhoto(photo);
        fixture_.waitIdle();
        edit();
        const QByteArray hash = work::contentHash(photo);
        const QString question =
            QStringLiteral("Vividra closed unexpectedly. Restore your last photo and its edits?");

        // The journal of a session that never ended: Discard removes it.
        d.alertAnswers = {platform::kSecondButton};
        c.offerRecovery();
        QCOMPARE(d.alerts.size(), 1);
        QCOMPARE(d.alerts[0].messageText, question);
        QCOMPARE(d.alerts[0].buttons, (QStringList{"Restore", "Discard"}));
        QVERIFY(!e.journal()->find(hash));

        // The photo moved: the journal stays until the photo is found, and only that photo
        // is taken.
        edit(4);
        const QString moved = root + QStringLiteral("/moved.png");
        QVERIFY(QFile::rename(photo, moved));
        d.alertAnswers = {platform::kFirstButton, platform::kFirstButton, platform::kFirstButton};
        d.openAnswers = {test::writeColourPicture(root, 30, 20, QStringLiteral("other.png")),
                         moved};
        c.offerRecovery();
        QCOMPARE(d.alerts[1].messageText, question);
        QVERIFY(d.alerts[1].informativeText.contains(photo));
        QVERIFY(d.alerts[2].informativeText.startsWith("That is not the photo"));
        QVERIFY(e.journal()->find(hash));
        c.offerRecovery();
        fixture_.waitIdle();
        QCOMPARE(e.picturePath(), moved);
        QVERIFY(e.settings().background.sepiaOn);
        QCOMPARE(e.history().states().size(), 3);
    }

private:
    // One switch of the background turned on, journaled.
    void edit(int which = 0) {
        SessionEngine& e = fixture_.controller().engine();
        e.changeSetting(fields::switches(false)[which], true);
        fixture_.waitIdle();
        QCoreApplication::processEvents();
        e.journal()->flush();
    }

    test::WindowFixture fixture_;
};

QTEST_MAIN(KeptWorkTest)
#include "kept_work_qtest.moc"
