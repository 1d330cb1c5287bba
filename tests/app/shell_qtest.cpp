// Quitting, closing, File New, the clean-up of working files and open-with.
#include <QDir>
#include <QFile>
#include <QtTest>

#include <thread>
#include <unistd.h>

#include "app/app_delegate.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "controls/check_box.h"
#include "controls/combo_box.h"
#include "platform/file_manager.h"
#include "platform/temporary_directory.h"
#include "session/view_controller.h"
#include "support/isolated_environment.h"
#include "support/scripted_dialogs.h"

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
    void init() {
        env_ = std::make_unique<test::IsolatedEnvironment>();
        dialogs_ = test::ScriptedDialogs::install();
        controller_ = std::make_unique<ViewController>();
        window_ = std::make_unique<MainWindow>(*controller_, delegate_);
    }
    void cleanup() {
        window_.reset();
        controller_.reset();
        platform::setDialogs(nullptr);
        env_.reset();
    }

    void quitAsksOnlyWithUnsavedChanges() {
        QSignalSpy quits(controller_.get(), &ViewController::terminateRequested);
        controller_->OnAppQuit();
        QCOMPARE(quits.size(), 1);
        QVERIFY(dialogs_->alerts.isEmpty());

        controller_->changesMade = true;
        dialogs_->alertAnswers = {platform::kSecondButton};
        controller_->OnAppQuit();
        QCOMPARE(quits.size(), 1);
        QCOMPARE(dialogs_->alerts.size(), 1);
        const auto& asked = dialogs_->alerts.front();
        QCOMPARE(asked.informativeText, kExitQuestion);
        QCOMPARE(asked.messageText, QString());
        QCOMPARE(asked.style, platform::Alert::Style::Warning);
        QCOMPARE(asked.buttons, (QStringList{QStringLiteral("Yes"), QStringLiteral("No")}));

        dialogs_->alertAnswers = {platform::kFirstButton};
        controller_->OnAppQuit();
        QCOMPARE(quits.size(), 2);
    }

    void closeAnsweredNoKeepsEverything() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        const QString temp = platform::temporaryDirectory();
        touch(temp + QStringLiteral("backgroundImage1.png"));
        controller_->changesMade = true;
        controller_->checkBackgroundSepia->setChecked(true);
        dialogs_->alertAnswers = {platform::kSecondButton};

        QVERIFY(!window_->close());

        QVERIFY(window_->isVisible());
        QCOMPARE(dialogs_->alerts.size(), 1);
        QCOMPARE(dialogs_->alerts.front().informativeText, kExitQuestion);
        QVERIFY(QFile::exists(temp + QStringLiteral("backgroundImage1.png")));
        QVERIFY(controller_->checkBackgroundSepia->isChecked());
        QVERIFY(!controller_->lastWindowResize);
    }

    void closeEmptiesTheWorkingFolder() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->resize(1200, 800);
        const QString temp = platform::temporaryDirectory();
        touch(temp + QStringLiteral("image1.png"));
        QDir(temp).mkpath(QStringLiteral("PhotosImages/inner"));
        touch(temp + QStringLiteral("PhotosImages/inner/drop.jpg"));

        QVERIFY(window_->close());

        QVERIFY(dialogs_->alerts.isEmpty());
        QCOMPARE(window_->size(), QSize(920, 560));
        QVERIFY(QDir(temp).exists());
        QVERIFY(QDir(temp).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
        QVERIFY(controller_->lastWindowResize);
    }

    void aFailedRemovalIsLoggedAndTheRestGoes() {
        const QString temp = platform::temporaryDirectory();
        for (const char* name : {"a.png", "b.png", "c.png"})
            touch(temp + QLatin1String(name));
        QDir(temp).mkpath(QStringLiteral("PhotosImages"));
        touch(temp + QStringLiteral("PhotosImages/drop.png"));
        controller_->originalImagePath = QStringLiteral("/pictures/x.jpg");
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
        controller_->windowWillClose();
        const QString out = capture.finish();

        QCOMPARE(out, QStringLiteral("Remove failed: Device or resource busy\n"));
        QCOMPARE(attempted.front(), QStringLiteral("PhotosImages"));
        QCOMPARE(attempted.size(), 4);
        QVERIFY(QFile::exists(temp + QStringLiteral("b.png")));
        QVERIFY(!QFile::exists(temp + QStringLiteral("a.png")));
        QVERIFY(!QFile::exists(temp + QStringLiteral("c.png")));
    }

    void fileNewAlwaysAsks() {
        ViewController& c = *controller_;
        c.currentProfilePath = QStringLiteral("/profiles/a.clr");
        c.comboForegroundColorEffects->setCurrentIndex(2);
        dialogs_->alertAnswers = {platform::kSecondButton, platform::kFirstButton};

        c.OnFileNew();
        QCOMPARE(dialogs_->alerts.size(), 1);
        QCOMPARE(dialogs_->alerts.front().informativeText, kNewQuestion);
        QCOMPARE(c.comboForegroundColorEffects->currentIndex(), 2);
        QCOMPARE(c.currentProfilePath, QStringLiteral("/profiles/a.clr"));

        c.OnFileNew();
        QCOMPARE(dialogs_->alerts.size(), 2);
        QCOMPARE(c.comboForegroundColorEffects->currentIndex(), 0);
        QVERIFY(c.currentProfilePath.isEmpty());
        QCOMPARE(c.statesList.size(), 1);
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

        delegate_.openURLs(cmd.paths);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.front(), cmd.paths);

        // A second launch hands its paths to the running instance.
        const QString name =
            QStringLiteral("vividra-test-%1").arg(QCoreApplication::applicationPid());
        SingleInstance running(name);
        QVERIFY(running.listen([&](const QStringList& paths) { delegate_.openURLs(paths); }));
        bool delivered = false;
        std::thread second([&] { delivered = SingleInstance(name).handOver(cmd.paths); });
        QTRY_COMPARE(received.size(), 2);
        second.join();
        QVERIFY(delivered);
        QCOMPARE(received.back(), cmd.paths);
        QVERIFY(!SingleInstance(name + QStringLiteral("-nobody")).handOver(cmd.paths));
    }

private:
    std::unique_ptr<test::IsolatedEnvironment> env_;
    test::ScriptedDialogs* dialogs_ = nullptr;
    AppDelegate delegate_;
    std::unique_ptr<ViewController> controller_;
    std::unique_ptr<MainWindow> window_;
};

QTEST_MAIN(ShellTest)
#include "shell_qtest.moc"
