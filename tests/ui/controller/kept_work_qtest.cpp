// What the window adds to kept work: the questions of Continue and of a crash, locating a photo
// that has moved, and work files through their dialogs. What a restore brings back is the
// engine's and the randomized test's.
#include <QtTest>

#include "model/work/journal.h"
#include "support/test_pictures.h"
#include "support/window_fixture.h"

using namespace vividra;

class KeptWorkTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(true); }
    void cleanup() { fixture_.tearDown(); }

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
        d.alertAnswers = {platform::kFirstButton, platform::kFirstButton, platform::kFirstButton};
        d.openAnswers = {test::writeColourPicture(root, 30, 20, QStringLiteral("other.png")),
                         moved};
        c.offerRecovery();
        QCOMPARE(d.alerts.size(), 5);
        QVERIFY(d.alerts[3].informativeText.contains(photo));
        QVERIFY(d.alerts[4].informativeText.startsWith("That is not the photo"));
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

    test::WindowFixture fixture_;
};

QTEST_MAIN(KeptWorkTest)
#include "kept_work_qtest.moc"
