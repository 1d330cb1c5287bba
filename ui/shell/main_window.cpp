#include "ui/shell/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>

#include "ui/controller/view_controller.h"
#include "ui/shell/app_delegate.h"

namespace vividra {

MainWindow::MainWindow(ViewController& controller, AppDelegate& delegate)
    : controller_(controller), delegate_(delegate) {
    setWindowTitle(QStringLiteral("Vividra"));
    setWindowIcon(QIcon(QStringLiteral(":/images/vividra.svg")));
    controller_.buildWindow(this);
    buildMenus();
    controller_.setUpControls();
    controller_.styleWindow();
    connect(&controller_, &ViewController::terminateRequested, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    actionNew =
        file->addAction(tr("&New"), QKeySequence::New, &controller_, &ViewController::newSession);
    actionOpen = file->addAction(tr("&Open…"), QKeySequence::Open, &controller_,
                                 &ViewController::openPicture);
    actionReset = file->addAction(tr("&Reset Picture"), QKeySequence(tr("Ctrl+Shift+R")),
                                  &controller_, &ViewController::resetPicture);
    file->addSeparator();
    // There is no other document to save, so Save exports too.
    actionExport =
        file->addAction(tr("&Export Image…"), &controller_, &ViewController::exportPicture);
    actionExport->setShortcuts({QKeySequence(tr("Ctrl+E")), QKeySequence::Save});
    file->addAction(tr("Save &Work As…"), QKeySequence::SaveAs, &controller_,
                    &ViewController::saveWorkAs);
    file->addSeparator();
    actionSaveProfile = file->addAction(tr("Save &Profile"), QKeySequence(tr("Ctrl+Alt+S")),
                                        &controller_, &ViewController::saveProfile);
    actionSaveProfileAs =
        file->addAction(tr("Save Profile &As…"), QKeySequence(tr("Ctrl+Shift+Alt+S")), &controller_,
                        &ViewController::saveProfileAs);
    actionLoadProfile = file->addAction(tr("&Load Profile…"), QKeySequence(tr("Ctrl+L")),
                                        &controller_, &ViewController::loadProfile);
    file->addSeparator();
    actionQuit =
        file->addAction(tr("&Quit"), QKeySequence::Quit, &controller_, &ViewController::quit);
    actionQuit->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    actionUndo =
        edit->addAction(tr("&Undo"), QKeySequence::Undo, &controller_, &ViewController::undo);
    actionRedo = edit->addAction(tr("&Redo"), &controller_, &ViewController::redo);
    actionRedo->setShortcuts({QKeySequence(tr("Ctrl+Shift+Z")), QKeySequence(tr("Ctrl+Y"))});
    const auto updateHistoryActions = [this] {
        actionUndo->setEnabled(controller_.canUndo());
        actionRedo->setEnabled(controller_.canRedo());
    };
    connect(&controller_, &ViewController::historyChanged, this, updateHistoryActions);
    updateHistoryActions();

    QMenu* view = menuBar()->addMenu(tr("&View"));
    actionZoomIn = view->addAction(tr("Zoom &In"), &controller_, &ViewController::zoomIn);
    // Ctrl+= as well: on most keyboards "+" needs Shift.
    actionZoomIn->setShortcuts({QKeySequence(tr("Ctrl++")), QKeySequence(tr("Ctrl+="))});
    actionZoomOut = view->addAction(tr("Zoom &Out"), QKeySequence(tr("Ctrl+-")), &controller_,
                                    &ViewController::zoomOut);
    actionFit = view->addAction(tr("&Fit"), QKeySequence(tr("Ctrl+0")), &controller_,
                                &ViewController::resetZoom);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    actionHelp = help->addAction(tr("How to colour-splash a photo"), QKeySequence::HelpContents,
                                 &delegate_, &AppDelegate::showHelpPage);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!controller_.confirmClose()) {
        event->ignore();
        return;
    }
    controller_.endSession();
    event->accept();
}

} // namespace vividra
