#pragma once

#include <functional>
#include <memory>

#include "isolated_environment.h"
#include "scripted_dialogs.h"
#include "ui/controller/view_controller.h"
#include "ui/shell/app_delegate.h"
#include "ui/shell/main_window.h"

namespace vividra::test {

// Answers the next output-format window: picks `entry` and presses Save, or with an empty
// entry closes the window.
void answerFormatWindow(const QString& entry);

// The real main window with its controller, in an isolated environment with
// scripted alerts and dialogs. Built fresh for each test.
class WindowFixture {
public:
    void setUp(bool show);
    void tearDown();

    ViewController& controller() { return *controller_; }
    MainWindow& window() { return *window_; }
    ScriptedDialogs& dialogs() { return *dialogs_; }
    AppDelegate& delegate() { return delegate_; }
    IsolatedEnvironment& environment() { return *env_; }

    // A later run of the program: a new window and controller over the same defaults and
    // working folder.
    void restart();

    // Takes in a colourful picture of 400 × 300 and waits until it is shown.
    void load();
    // Waits until the engine's line is empty and no rendering waits for its turn.
    void waitIdle(int timeoutMs = 30000);
    // Puts work in the engine's line that holds everything behind it until the returned
    // function is called.
    std::function<void()> holdLine();

private:
    void openWindow(bool show);
    void closeWindow();

    std::unique_ptr<IsolatedEnvironment> env_;
    ScriptedDialogs* dialogs_ = nullptr;
    AppDelegate delegate_;
    std::unique_ptr<ViewController> controller_;
    std::unique_ptr<MainWindow> window_;
};

} // namespace vividra::test
