// The program against faults of its machine and its files: a working folder that
// cannot be made, a full disk, the original changed behind its back, damaged and
// monstrous pictures. Each ends in a message or in nothing at all, and never in a
// lost file or a broken session.
#include <QtTest>

#include "model/effects/image_tools.h"
#include "model/files/profile_file.h"
#include "model/platform/temporary_directory.h"
#include "support/file_size_limit.h"
#include "support/test_pictures.h"
#include "support/window_fixture.h"
#include "tests/support/sample_pictures.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"

using namespace vividra;

namespace {

QStringList noticesSince(const test::ScriptedDialogs& d, int from) {
    QStringList out;
    for (int i = from; i < d.alerts.size(); ++i)
        out << d.alerts[i].informativeText;
    return out;
}

const QString kCouldNotLoad = QStringLiteral("The image could not be loaded.");

} // namespace

class MachineFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(false); }
    void cleanup() { fixture_.tearDown(); }

    void aWorkingFolderThatCannotBeMadeIsToldAndExportStillWorks() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        // Root writes anywhere, but not below a plain file.
        QVERIFY(test::writeAll(root + QStringLiteral("/plain"), "x"));
        platform::removeTemporaryDirectory();
        qputenv("TMPDIR", (root + QStringLiteral("/plain/tmp")).toLocal8Bit());
        const QString problem = platform::temporaryDirectoryProblem();
        QVERIFY(problem.contains(root + QStringLiteral("/plain/tmp")));
        QVERIFY(problem.contains(QStringLiteral("still edit and export")));

        fixture_.load(160, 120);
        idle();
        c.checkBackgroundBlackWhite->click();
        idle();
        const QString out = root + QStringLiteral("/out.png");
        test::answerFormatWindow(QStringLiteral("PNG"));
        d.saveAnswers = {out};
        const int before = d.alerts.size();
        c.exportPicture();
        QTRY_COMPARE_WITH_TIMEOUT(d.alerts.size(), before + 1, 30000);
        QCOMPARE(d.alerts[before].informativeText, QStringLiteral("Image saved successfully."));
        const std::optional<Picture> saved = ImageTools::readPicture(out);
        QVERIFY(saved);
        QCOMPARE(saved->image.size(), QSize(160, 120));
        QVERIFY(test::isGrey(saved->image.pixel(80, 60)));
        QCOMPARE(QDir(root).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    void aFullDiskWhileSavingAProfileKeepsTheOldOne() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString path = fixture_.environment().root() + QStringLiteral("/look.clr");
        QCOMPARE(c.engine().saveProfile(path), SessionEngine::ProfileSaved::saved);
        const std::optional<QString> old = profile::readFile(path);
        QVERIFY(old);
        c.checkForegroundSepia->click();
        idle();

        test::FileSizeLimit limit(16); // the profile is about 150 bytes
        if (!limit.ok())
            QSKIP("cannot limit the file size here");
        const int before = d.alerts.size();
        c.saveProfile();
        limit.lift();
        QCOMPARE(noticesSince(d, before), QStringList{QStringLiteral("Could not save profile.")});
        QCOMPARE(profile::readFile(path), old);
        QCOMPARE(QDir(fixture_.environment().root())
                     .entryList({QStringLiteral("look.clr*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("look.clr")});
        // Room again: the same command saves.
        c.saveProfile();
        QCOMPARE(noticesSince(d, before).size(), 1);
        QVERIFY(profile::readFile(path) != old);
    }

    void theOriginalDeletedOrReplacedLeavesTheSessionAsTakenIn() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        const QString path = fixture_.load(160, 120).engine().picturePath();
        idle();
        const QImage colours = c.engine().cleanBackground().image;

        QVERIFY(QFile::remove(path));
        c.checkBackgroundBlackWhite->click();
        idle();
        QCOMPARE(c.engine().cleanBackground().image.size(), QSize(160, 120));
        QVERIFY(test::isGrey(c.engine().cleanBackground().image.pixel(80, 60)));
        c.undo();
        idle();
        QCOMPARE(c.engine().cleanBackground().image, colours);

        // A smaller picture of another colour takes its name: the reset and the next
        // rendering still work on the picture the user opened.
        QImage other(50, 40, QImage::Format_RGB32);
        other.fill(Qt::darkGreen);
        QVERIFY(other.save(path, "PNG"));
        d.alertAnswers = {platform::kFirstButton};
        const int before = d.alerts.size();
        c.resetPicture();
        idle();
        c.checkForegroundSepia->click();
        idle();
        QCOMPARE(noticesSince(d, before).size(), 1); // the reset's question alone
        QCOMPARE(c.engine().pictureSize(), QSizeF(160, 120));
        QCOMPARE(c.engine().cleanBackground().image, colours);
        QCOMPARE(c.engine().foregroundLayer().image.size(), QSize(160, 120));
        QCOMPARE(c.engine().history().states().size(), 2);
    }

    void aCutOffJpegOpensAndIsToldOnce() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        const QByteArray jpeg = test::qtJpeg(test::photoLike(200, 150), 75, false);
        const QString path = root + QStringLiteral("/cut.jpg");
        QVERIFY(test::writeAll(path, jpeg.left(jpeg.size() / 2)));

        c.engine().open(path);
        idle();
        QCOMPARE(
            noticesSince(d, 0),
            QStringList{QStringLiteral("The picture file is damaged; part of it may be missing.")});
        QCOMPARE(c.engine().picturePath(), path);
        QCOMPARE(c.engine().pictureSize(), QSizeF(200, 150));
        QCOMPARE(c.engine().history().states().size(), 1);
        // Editing it tells nothing more.
        c.checkBackgroundBlackWhite->click();
        idle();
        d.alertAnswers = {platform::kFirstButton};
        c.resetPicture();
        idle();
        QCOMPARE(d.alerts.size(), 2); // and the reset's question
        QCOMPARE(c.engine().cleanBackground().image.size(), QSize(200, 150));
    }

    void monstrousPicturesAreRefusedOrOpenAndTheWindowGoesOn() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString root = fixture_.environment().root();
        // A PNG header claiming 60,000 × 60,000 pixels, with one row behind it.
        const QString huge = root + QStringLiteral("/huge.png");
        QVERIFY(test::writeAll(huge, test::greyPng(60000, 60000, '\x80', 1)));
        c.engine().open(huge);
        idle();
        QCOMPARE(noticesSince(d, 0), QStringList{kCouldNotLoad});
        QVERIFY(!c.engine().hasPicture());
        QVERIFY(c.engine().history().states().isEmpty());

        // A picture one pixel wide and a million long: opened, at its size.
        QImage line(1, 1'000'000, QImage::Format_RGB32);
        line.fill(Qt::blue);
        const QString tall = root + QStringLiteral("/tall.bmp");
        QVERIFY(line.save(tall, "BMP"));
        line = QImage();
        c.engine().open(tall);
        idle();
        QCOMPARE(d.alerts.size(), 1);
        QCOMPARE(c.engine().pictureSize(), QSizeF(1, 1'000'000));
        QCOMPARE(c.engine().history().states().size(), 1);
        c.checkBackgroundBlackWhite->click();
        idle();
        QCOMPARE(c.engine().cleanBackground().image.size(), QSize(1, 1'000'000));
    }

private:
    void idle() { fixture_.waitIdle(120000); }

    test::WindowFixture fixture_;
};

QTEST_MAIN(MachineFaultsTest)
#include "machine_faults_qtest.moc"
