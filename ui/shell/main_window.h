#pragma once

#include <QMainWindow>

namespace vividra {

class AppDelegate;
class ViewController;

// The one window. It asks its controller before closing and tells it when it closes.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(ViewController& controller, AppDelegate& delegate);

    QAction* actionNew = nullptr;
    QAction* actionOpen = nullptr;
    QAction* actionReset = nullptr;
    QAction* actionExport = nullptr;
    QAction* actionSaveProfile = nullptr;
    QAction* actionSaveProfileAs = nullptr;
    QAction* actionLoadProfile = nullptr;
    QAction* actionQuit = nullptr;
    QAction* actionZoomIn = nullptr;
    QAction* actionZoomOut = nullptr;
    QAction* actionFit = nullptr;
    QAction* actionUndo = nullptr;
    QAction* actionRedo = nullptr;
    QAction* actionHelp = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();

    ViewController& controller_;
    AppDelegate& delegate_;
};

} // namespace vividra
