// Quitting, closing, File New, the clean-up of working files and open-with.
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QtTest>

#include <thread>
#include <unistd.h>

#include "model/platform/file_manager.h"
#include "model/platform/temporary_directory.h"
#include "support/window_fixture.h"
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
const QString kNewQuestion =
    QStringLiteral("You have unsaved changes that will be lost. Continue?");

void touch(const QString& path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

// Captures what the program writes to standard output.
class StdoutCapture {
public:
    StdoutCapture() {
        std::fflush(stdout);
        saved_ = dup(1);
        file_ = std::tmpfile();
        dup2(fileno(file_), 1);
    }
    QString finish() {
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
        std::rewind(file_);
        QByteArray out;
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0)
            out.append(buf, static_cast<qsizetype>(n));
        std::fclose(file_);
        return QString::fromLocal8Bit(out);
    }

private:
    int saved_ = -1;
    FILE* file_ = nullptr;
};

} // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fixture_.setUp(false); }
    void cleanup() { fixture_.tearDown(); }

    void quitAsksOnlyWithUnsavedChanges() {
        QSignalSpy quits(&fixture_.controller(), &ViewController::terminateRequested);
        fixture_.controller().quit();
        QCOMPARE(quits.size(), 1);
        QVERIFY(fixture_.dialogs().alerts.isEmpty());

        fixture_.controller().checkBackgroundSepia->click();
        QVERIFY(fixture_.controller().engine().hasUnsavedChanges());
        fixture_.dialogs().alertAnswers = {platform::kSecondButton};
        fixture_.controller().quit();
        QCOMPARE(quits.size(), 1);
        QCOMPARE(fixture_.dialogs().alerts.size(), 1);
        const auto& asked = fixture_.dialogs().alerts.front();
        QCOMPARE(asked.informativeText, kExitQuestion);
        QCOMPARE(asked.messageText, QString());
        QCOMPARE(asked.style, platform::Alert::Style::Warning);
        QCOMPARE(asked.buttons, (QStringList{QStringLiteral("Yes"), QStringLiteral("No")}));

        fixture_.dialogs().alertAnswers = {platform::kFirstButton};
        fixture_.controller().quit();
        QCOMPARE(quits.size(), 2);
    }

    void quitAsksOnceEvenThoughTheWindowThenCloses() {
        fixture_.show();
        QSignalSpy quits(&fixture_.controller(), &ViewController::terminateRequested);
        fixture_.controller().checkBackgroundSepia->click();
        fixture_.dialogs().alertAnswers = {platform::kFirstButton, platform::kSecondButton};
        fixture_.controller().quit();
        QCOMPARE(quits.size(), 1);
        // Ending the application closes the window; the answer already given stands.
        QVERIFY(fixture_.window().close());
        QCOMPARE(fixture_.dialogs().alerts.size(), 1);
    }

    void closingWhileWorkRunsLeavesNothingBehind() {
        fixture_.show();
        ViewController& c = fixture_.controller();
        QImage img(900, 700, QImage::Format_RGB32);
        img.fill(qRgb(200, 40, 90));
        const QString path = fixture_.environment().root() + QStringLiteral("/p.png");
        QVERIFY(img.save(path));
        c.engine().open(path);
        c.checkBackgroundBlur->click();
        QVERIFY(c.engine().busy());

        QVERIFY(fixture_.window().close());
        const QDir temp(platform::temporaryDirectory());
        const auto empty = [&] {
            return temp.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        };
        QVERIFY(empty());
        // Whatever was still on its way is dropped, not written afterwards.
        QTest::qWait(300);
        QVERIFY(empty());
        // The intake never completed: it recorded no state.
        QVERIFY(c.engine().history().states().isEmpty());
    }

    void closeAnsweredNoKeepsEverything() {
        fixture_.show();
        fixture_.window().resize(1000, 700);
        const QString temp = platform::temporaryDirectory();
        touch(temp + QStringLiteral("backgroundImage1.png"));
        fixture_.controller().checkBackgroundSepia->click();
        fixture_.dialogs().alertAnswers = {platform::kSecondButton};

        QVERIFY(!fixture_.window().close());

        QVERIFY(fixture_.window().isVisible());
        QCOMPARE(fixture_.dialogs().alerts.size(), 1);
        QCOMPARE(fixture_.dialogs().alerts.front().informativeText, kExitQuestion);
        QVERIFY(QFile::exists(temp + QStringLiteral("backgroundImage1.png")));
        QVERIFY(fixture_.controller().checkBackgroundSepia->isChecked());
        QVERIFY(fixture_.controller().engine().settings().background.sepiaOn);
        QCOMPARE(fixture_.window().size(), QSize(1000, 700));
    }

    void closeEmptiesTheWorkingFolder() {
        fixture_.show();
        fixture_.window().setGeometry(140, 90, 1200, 800);
        const QString temp = platform::temporaryDirectory();
        touch(temp + QStringLiteral("image1.png"));
        QDir(temp).mkpath(QStringLiteral("PhotosImages/inner"));
        touch(temp + QStringLiteral("PhotosImages/inner/drop.jpg"));

        QVERIFY(fixture_.window().close());

        QVERIFY(fixture_.dialogs().alerts.isEmpty());
        // The frame goes back to its first size, at the top left of the usable screen.
        QCOMPARE(fixture_.window().size(), QSize(920, 560));
        QCOMPARE(fixture_.window().frameGeometry().topLeft(),
                 fixture_.window().screen()->availableGeometry().topLeft());
        QVERIFY(QDir(temp).exists());
        QVERIFY(QDir(temp).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }

    void aFailedRemovalIsLoggedAndTheRestGoes() {
        const QString temp = platform::temporaryDirectory();
        for (const char* name : {"a.png", "b.png", "c.png"})
            touch(temp + QLatin1String(name));
        QDir(temp).mkpath(QStringLiteral("PhotosImages"));
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

        StdoutCapture capture;
        fixture_.controller().endSession();
        const QString out = capture.finish();

        QCOMPARE(out, QStringLiteral("Remove failed: Device or resource busy\n"));
        QCOMPARE(attempted.size(), 4);
        QVERIFY(!QFileInfo::exists(temp + QStringLiteral("PhotosImages")));
        QVERIFY(QFile::exists(temp + QStringLiteral("b.png")));
        QVERIFY(!QFile::exists(temp + QStringLiteral("a.png")));
        QVERIFY(!QFile::exists(temp + QStringLiteral("c.png")));
    }

    void fileNewAlwaysAsks() {
        ViewController& c = fixture_.controller();
        const QString profile = fixture_.environment().root() + QStringLiteral("/a.clr");
        QCOMPARE(c.engine().saveProfile(profile), SessionEngine::ProfileSaved::saved);
        c.comboForegroundColorEffects->setCurrentIndex(2);
        emit c.comboForegroundColorEffects->activated(2);
        const EditSettings changed = c.engine().settings();
        fixture_.dialogs().alertAnswers = {platform::kSecondButton, platform::kFirstButton};

        c.newSession();
        QCOMPARE(fixture_.dialogs().alerts.size(), 1);
        QCOMPARE(fixture_.dialogs().alerts.front().informativeText, kNewQuestion);
        QCOMPARE(c.comboForegroundColorEffects->currentIndex(), 2);
        QCOMPARE(c.engine().settings(), changed);
        QCOMPARE(c.engine().profilePath(), profile);

        c.newSession();
        QCOMPARE(fixture_.dialogs().alerts.size(), 2);
        QCOMPARE(c.comboForegroundColorEffects->currentIndex(), 0);
        // The colour dialog's colour is the dialog's own: New leaves it.
        EditSettings defaults;
        defaults.brush.colour = changed.brush.colour;
        QCOMPARE(c.engine().settings(), defaults);
        QVERIFY(c.engine().profilePath().isEmpty());
        QVERIFY(!c.engine().hasUnsavedChanges());
        QCOMPARE(c.engine().history().states().size(), 1);
    }

    void openWithPostsEveryPath() {
        QList<QStringList> received;
        QObject receiver;
        platform::NotificationCenter::defaultCenter().addObserver(
            &receiver, platform::kOpenWith, [&](const platform::Notification& n) {
                received << n.userInfo.value(QStringLiteral("0")).toStringList();
            });

        const CommandLine cmd =
            parseCommandLine({QStringLiteral("--bogus"), QStringLiteral("a.jpg"),
                              QStringLiteral("file:///x/b%20c.png"), QStringLiteral("--"),
                              QStringLiteral("-odd.tif")},
                             QStringLiteral("/home/u"));
        QCOMPARE(cmd.unknownOptions, QStringList{QStringLiteral("--bogus")});
        QCOMPARE(cmd.paths,
                 (QStringList{QStringLiteral("/home/u/a.jpg"), QStringLiteral("/x/b c.png"),
                              QStringLiteral("/home/u/-odd.tif")}));

        fixture_.delegate().openURLs(cmd.paths);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.front(), cmd.paths);

        // A second launch hands its paths to the running instance.
        const QString name =
            QStringLiteral("vividra-test-%1").arg(QCoreApplication::applicationPid());
        SingleInstance running(name);
        QWidget& window = fixture_.window();
        QVERIFY(running.listen(
            [&](const QStringList& paths) { fixture_.delegate().launchedAgain(window, paths); }));
        bool delivered = false;
        std::thread second([&] { delivered = SingleInstance(name).handOver(cmd.paths); });
        QTRY_COMPARE(received.size(), 2);
        second.join();
        QVERIFY(delivered);
        QCOMPARE(received.back(), cmd.paths);
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
