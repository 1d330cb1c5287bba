#include <QApplication>
#include <QDir>
#include <QStyleFactory>
#include <QTimer>

#include <cstdio>

#include "model/platform/temporary_directory.h"
#include "model/platform/work_queue.h"
#include "ui/controller/view_controller.h"
#include "ui/shell/app_delegate.h"
#include "ui/shell/command_line.h"
#include "ui/shell/dialogs.h"
#include "ui/shell/main_window.h"
#include "ui/shell/single_instance.h"
#include "ui/shell/theme.h"

using namespace vividra;

int main(int argc, char** argv) {
    QApplication::setOrganizationName(QStringLiteral("Vividra"));
    QApplication::setApplicationName(QStringLiteral("Vividra"));
    QApplication::setApplicationVersion(QStringLiteral(VIVIDRA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.vividra.Vividra"));
    // Help and the version answer before any display is needed: they work over ssh too.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine cmd = parseCommandLine(arguments, QDir::currentPath());
    for (const QString& option : cmd.unknownOptions)
        std::fprintf(stderr, "vividra: ignoring unknown option %s\n", qPrintable(option));
    if (cmd.showHelp) {
        std::printf("Usage: vividra [PICTURE...]\nA colour-splash photo editor.\n");
        return 0;
    }
    if (cmd.showVersion) {
        std::printf("vividra %s\n", VIVIDRA_VERSION);
        return 0;
    }
    QApplication app(argc, argv);

    SingleInstance instance(
        qEnvironmentVariable("VIVIDRA_INSTANCE", SingleInstance::defaultServerName()));
    if (instance.handOver(cmd.paths))
        return 0;

    applyTheme(app);
    platform::temporaryDirectory();

    AppDelegate delegate;
    ViewController controller;
    MainWindow window(controller, delegate);
    platform::setDialogParent(&window);
    app.setQuitOnLastWindowClosed(AppDelegate::applicationShouldTerminateAfterLastWindowClosed());

    instance.listen([&](const QStringList& paths) { delegate.launchedAgain(window, paths); });

    window.show();
    if (const QString problem = platform::temporaryDirectoryProblem(); !problem.isEmpty())
        QTimer::singleShot(0, &window, [problem] { platform::showNotice(problem); });
    // A crash's work is offered before the photos asked for are opened.
    QTimer::singleShot(0, &controller, [&] { controller.offerRecovery(); });
    if (!cmd.paths.isEmpty())
        QTimer::singleShot(0, &delegate, [&] { delegate.openURLs(cmd.paths); });

    const int status = app.exec();
    platform::waitForBackgroundWork();
    platform::removeTemporaryDirectory();
    return status;
}
