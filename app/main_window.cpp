#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>

#include "app/app_delegate.h"
#include "session/view_controller.h"

namespace vividra {

MainWindow::MainWindow(ViewController& controller, AppDelegate& delegate)
    : controller_(controller), delegate_(delegate) {
    setWindowTitle(QStringLiteral("Vividra"));
    setWindowIcon(QIcon(QStringLiteral(":/images/vividra.svg")));
    controller_.loadView(this);
    buildMenus();
    controller_.viewDidLoad();
    controller_.viewWillAppear();
    connect(&controller_, &ViewController::terminateRequested, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    actionNew =
        file->addAction(tr("&New"), QKeySequence::New, &controller_, &ViewController::OnFileNew);
    actionOpen = file->addAction(tr("&Open…"), QKeySequence::Open, &controller_,
                                 &ViewController::OnSelectImage);
    actionReset = file->addAction(tr("&Reset Picture"), QKeySequence(tr("Ctrl+Shift+R")),
                                  &controller_, &ViewController::OnReset);
    file->addSeparator();
    // There is no other document to save, so Save exports too.
    actionExport =
        file->addAction(tr("&Export Image…"), &controller_, &ViewController::OnSaveImage);
    actionExport->setShortcuts({QKeySequence(tr("Ctrl+E")), QKeySequence::Save});
    file->addSeparator();
    actionSaveProfile = file->addAction(tr("Save &Profile"), QKeySequence(tr("Ctrl+Alt+S")),
                                        &controller_, &ViewController::OnSaveProfile);
    actionSaveProfileAs =
        file->addAction(tr("Save Profile &As…"), QKeySequence(tr("Ctrl+Shift+Alt+S")), &controller_,
                        &ViewController::OnSaveProfileAs);
    actionLoadProfile = file->addAction(tr("&Load Profile…"), QKeySequence(tr("Ctrl+L")),
                                        &controller_, &ViewController::OnLoadProfile);
    file->addSeparator();
    actionQuit =
        file->addAction(tr("&Quit"), QKeySequence::Quit, &controller_, &ViewController::OnAppQuit);
    actionQuit->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    actionUndo =
        edit->addAction(tr("&Undo"), QKeySequence::Undo, &controller_, &ViewController::OnUndo);
    actionRedo = edit->addAction(tr("&Redo"), &controller_, &ViewController::OnRedo);
    actionRedo->setShortcuts({QKeySequence(tr("Ctrl+Shift+Z")), QKeySequence(tr("Ctrl+Y"))});
    const auto updateHistoryActions = [this] {
        actionUndo->setEnabled(controller_.canUndo());
        actionRedo->setEnabled(controller_.canRedo());
    };
    connect(&controller_, &ViewController::historyChanged, this, updateHistoryActions);
    updateHistoryActions();

    QMenu* view = menuBar()->addMenu(tr("&View"));
    actionZoomIn = view->addAction(tr("Zoom &In"), &controller_, &ViewController::OnZoomIn);
    // Ctrl+= as well: on most keyboards "+" needs Shift.
    actionZoomIn->setShortcuts({QKeySequence(tr("Ctrl++")), QKeySequence(tr("Ctrl+="))});
    actionZoomOut = view->addAction(tr("Zoom &Out"), QKeySequence(tr("Ctrl+-")), &controller_,
                                    &ViewController::OnZoomOut);
    actionFit = view->addAction(tr("&Fit"), QKeySequence(tr("Ctrl+0")), &controller_,
                                &ViewController::OnResetZoom);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    actionHelp = help->addAction(tr("How to colour-splash a photo"), QKeySequence::HelpContents,
                                 &delegate_, &AppDelegate::OnHowToColorSplashPhoto);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!controller_.windowShouldClose()) {
        event->ignore();
        return;
    }
    controller_.windowWillClose();
    event->accept();
}

} // namespace vividra
