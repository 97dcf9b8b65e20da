#pragma once

#include "accessibility/CursorAccessibilityAppearanceController.h"
#include "controller/SystemCursorController.h"
#include "language/CursorPreferences.h"
#include "language/LanguageDetector.h"
#include "runtime/CGSRuntime.h"
#include "telemetry/TelemetryReporter.h"

#include <functional>
#include <memory>

// The application delegate: owns every long-lived service, runs the start-up
// sequence once launching has finished and undoes the program's system-wide
// changes when the application terminates.
class TarnwickTrayApp {
public:
    TarnwickTrayApp();

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    // Menu action: asks the application to terminate.
    void quitApp();
    // Runs the termination sequence once, however often it is asked for, then
    // ends the run loop.
    void terminate();

    static constexpr int maxTrackedCursorID = 101;
    LanguageDetector detector;
    CursorPreferences preferences;
    // Sends the launch event while it is created; the pipeline, the menu and
    // termination report to it.
    TelemetryReporter telemetryReporter;
    CursorAccessibilityAppearanceController accessibilityAppearanceController;
    CGSRuntime& runtime;
    // Created once launching has finished; held shared so that its delayed
    // work can tell when it is gone.
    std::shared_ptr<SystemCursorController> cursorController;
    const bool enableCursorSeedWatchdog;

private:
    bool terminating_ = false;
};
