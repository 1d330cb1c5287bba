// Quitting, closing, File New, the clean-up of working files and open-with.
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QtTest>

#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "model/platform/file_manager.h"
#include "model/platform/temporary_directory.h"
#include "support/test_pictures.h"
#include "support/window_fixture.h"
#include "tests/support/sample_pictures.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/combo_box.h"
#include "ui/shell/app_delegate.h"
#include "ui/shell/command_line.h"
#include "ui/shell/main_window.h"
#include "ui/shell/single_instance.h"

using namespace vividra;

namespace {

const QString kExitQuestion = QStringLiteral(
    "You have unsaved changes that will be lost. Are you sure you want to exit the application?");

void touch(const QString& path) {
    QVERIFY(test::writeAll(path, "x"));
}

bool emptyFolder(const QString& path) {
    return QDir(path).exists() &&
           QDir(path).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

// What the program writes to standard output while `act` runs.
QByteArray standardOutputOf(const std::function<void()>& act, const QString& file) {
    std::fflush(stdout);
    const int saved = dup(1);
    const int out = ::open(file.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    close(out);
    act();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return test::readAll(file);
}

} // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(true); }
    void cleanup() { fixture_.tearDown(); }

    void quitAndCloseAskOnceWithUnsavedChangesAndLeaveNothingBehind() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        MainWindow& window = fixture_.window();
        const QString temp = platform::temporaryDirectory();
        QSignalSpy quits(&c, &ViewController::terminateRequested);
        // "No" to quit and to close keeps the window, its working files and its settings.
        window.setGeometry(140, 90, 1000, 700);
        touch(temp + QStringLiteral("backgroundImage1.png"));
        c.checkBackgroundSepia->click();
        d.alertAnswers = {platform::kSecondButton, platform::kSecondButton};
        c.quit();
        QVERIFY(!window.close());
        QCOMPARE(quits.size(), 0);
        const test::ScriptedDialogs::Asked exit{
            platform::Alert::Style::Warning, {}, kExitQuestion, {"Yes", "No"}};
        QVERIFY(d.alerts == QList({exit, exit}));
        QVERIFY(window.isVisible() && c.checkBackgroundSepia->isChecked());
        QVERIFY(QFile::exists(temp + QStringLiteral("backgroundImage1.png")));
        QCOMPARE(window.size(), QSize(1000, 700));

        // "Yes" while a picture is still being worked on: the window closing after it asks
        // no more, and nothing on its way is written to the working folder afterwards.
        c.engine().open(test::writeColourPicture(fixture_.environment().root(), 900, 700));
        c.checkBackgroundBlur->click();
        QVERIFY(c.engine().busy());
        touch(temp + QStringLiteral("PhotosImages/inner/drop.jpg"));
        d.alertAnswers = {platform::kFirstButton, platform::kSecondButton};
        c.quit();
        QCOMPARE(quits.size(), 1);
        QVERIFY(window.close());
        QCOMPARE(d.alerts.size(), 3);
        // The frame goes back to its first size, at the top left of the usable screen.
        QCOMPARE(window.size(), QSize(920, 560));
        QCOMPARE(window.frameGeometry().topLeft(), window.screen()->availableGeometry().topLeft());
        QVERIFY(emptyFolder(temp));
        QTest::qWait(300);
        QVERIFY(emptyFolder(temp));
    }

    void aFailedRemovalIsLoggedAndTheRestGoes() {
        const QString temp = platform::temporaryDirectory();
        for (const char* name : {"a.png", "b.png", "c.png"})
            touch(temp + QLatin1String(name));
        touch(temp + QStringLiteral("PhotosImages/drop.png"));
        QStringList attempted;
        platform::setRemoveFunction([&](const QString& path, QString* error) {
            attempted << QFileInfo(path).fileName();
            if (path.endsWith(QStringLiteral("b.png"))) {
                *error = QStringLiteral("Device or resource busy");
                return false;
            }
            return QDir(path).exists() ? QDir(path).removeRecursively() : QFile::remove(path);
        });
        const QByteArray out =
            standardOutputOf([this] { fixture_.controller().endSession(); },
                             fixture_.environment().root() + QStringLiteral("/out.txt"));
        QCOMPARE(out, "Remove failed: Device or resource busy\n");
        QCOMPARE(attempted.size(), 4);
        QCOMPARE(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("b.png")});
    }

    void fileNewAlwaysAsks() {
        ViewController& c = fixture_.controller();
        test::ScriptedDialogs& d = fixture_.dialogs();
        const QString profile = fixture_.environment().root() + QStringLiteral("/a.clr");
        QCOMPARE(c.engine().saveProfile(profile), SessionEngine::ProfileSaved::saved);
        c.comboForegroundColorEffects->setCurrentIndex(2);
        emit c.comboForegroundColorEffects->activated(2);
        d.alertAnswers = {platform::kSecondButton, platform::kFirstButton};
        c.newSession();
        QCOMPARE(d.alerts.size(), 1);
        QCOMPARE(d.alerts.front().informativeText,
                 QStringLiteral("You have unsaved changes that will be lost. Continue?"));
        QCOMPARE(c.comboForegroundColorEffects->currentIndex(), 2);
        QCOMPARE(c.engine().profilePath(), profile);
        c.newSession();
        QCOMPARE(d.alerts.size(), 2);
        QCOMPARE(c.comboForegroundColorEffects->currentIndex(), 0);
        QVERIFY(c.engine().profilePath().isEmpty() && !c.engine().hasUnsavedChanges());
    }

    void openWithPostsEveryPath() {
        QList<QStringList> received;
        QObject receiver;
        platform::NotificationCenter::defaultCenter().addObserver(
            &receiver, platform::kOpenWith, [&](const platform::Notification& n) {
                received << n.userInfo.value(QStringLiteral("0")).toStringList();
            });

        const CommandLine cmd = parseCommandLine(
            {"--bogus", "a.jpg", "file:///x/b%20c.png", "--", "-odd.tif"}, "/home/u");
        QCOMPARE(cmd.unknownOptions, QStringList{"--bogus"});
        QCOMPARE(cmd.paths, (QStringList{"/home/u/a.jpg", "/x/b c.png", "/home/u/-odd.tif"}));

        fixture_.delegate().openURLs(cmd.paths);
        QCOMPARE(received, QList<QStringList>{cmd.paths});

        // A second launch hands its paths to the running instance.
        const QString name =
            QStringLiteral("vividra-test-%1").arg(QCoreApplication::applicationPid());
        SingleInstance running(name);
        QWidget& window = fixture_.window();
        QVERIFY(running.listen(
            [&](const QStringList& paths) { fixture_.delegate().launchedAgain(window, paths); }));
        bool delivered = false;
        std::thread second([&] { delivered = SingleInstance(name).handOver(cmd.paths); });
        QTRY_COMPARE(received, (QList<QStringList>{cmd.paths, cmd.paths}));
        second.join();
        QVERIFY(delivered);
        // A launch without files brings a minimised window back, and opens nothing.
        window.showMinimized();
        std::thread third([&] { delivered = SingleInstance(name).handOver({}); });
        QTRY_VERIFY(!window.isMinimized());
        third.join();
        QVERIFY(delivered);
        QCOMPARE(received.size(), 2);
        QVERIFY(!SingleInstance(name + QStringLiteral("-nobody")).handOver(cmd.paths));
    }

private:
    test::WindowFixture fixture_;
};

QTEST_MAIN(ShellTest)
#include "shell_qtest.moc"
