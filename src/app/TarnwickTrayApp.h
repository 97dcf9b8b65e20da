#pragma once

#include "app/AppServices.h"
#include "app/LanguageChangePipeline.h"
#include "app/TrayMenuController.h"
#include "language/CursorPreferences.h"

#include <memory>

class SystemCursorController;

// The application delegate: runs the start-up sequence once launching has
// finished and undoes the program's system-wide changes when the application
// terminates. The language-change pipeline and the tray menu it owns do the
// rest.
class TarnwickTrayApp {
public:
    explicit TarnwickTrayApp(const AppServices& services);
    TarnwickTrayApp(const TarnwickTrayApp&) = delete;
    TarnwickTrayApp& operator=(const TarnwickTrayApp&) = delete;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    // Runs the termination sequence once, however often it is asked for, then
    // ends the run loop.
    void terminate();

    static constexpr int maxTrackedCursorID = 101;

    // Puts the system's own cursors back in the window server, as start-up
    // does before the controller captures them, and as --restore does after
    // a run that did not end cleanly.
    static void hardResetSystemCursors(CGSRuntime& runtime);

    bool enableCursorSeedWatchdog() const { return services_.enableCursorSeedWatchdog; }
    const CursorPreferences& preferences() const { return preferences_; }
    LanguageChangePipeline& pipeline() { return pipeline_; }
    TrayMenuController& trayMenu() { return trayMenu_; }

private:
    const AppServices services_;
    CursorPreferences preferences_;
    // Created once launching has finished; held shared so that its delayed
    // work can tell when it is gone.
    std::shared_ptr<SystemCursorController> cursorController_;
    LanguageChangePipeline pipeline_;
    TrayMenuController trayMenu_;
    bool terminating_ = false;
};
