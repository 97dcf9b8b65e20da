#include "app/TarnwickTrayApp.h"

#include "app/AppLog.h"
#include "app/LogFormat.h"
#include "capes/CursorCapeStore.h"
#include "platform/runloop/RunLoop.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace {

bool seedWatchdogFromEnvironment()
{
    const char* raw = std::getenv("ORVELLE_ENABLE_SEED_WATCHDOG");
    if (!raw)
        return false;
    std::string value(raw);
    std::transform(value.begin(), value.end(), value.begin(), [](unsigned char c) { return std::tolower(c); });
    return value == "1" || value == "true" || value == "yes";
}

}

TarnwickTrayApp::TarnwickTrayApp()
    : runtime(CGSRuntime::shared()), enableCursorSeedWatchdog(seedWatchdogFromEnvironment())
{
}

void TarnwickTrayApp::applicationDidFinishLaunching()
{
    // The pointer colour override is in place before any cursor is captured
    // or decorated.
    accessibilityAppearanceController.recoverPreviousSessionIfNeeded();
    bool accessibilityOverrideActive = accessibilityAppearanceController.activateSystemCursorAppearanceIfNeeded();
    AppLog::info("Accessibility cursor override active=" + LogFormat::boolean(accessibilityOverrideActive));
    // Before the controller exists, so that its baselines are the system's
    // own cursors rather than whatever an earlier run left installed.
    if (auto connection = runtime.mainConnectionID())
        AppLog::info("Startup hard reset before controller init: " +
                     LogFormat::boolean(runtime.hardResetSystemCursors(*connection, maxTrackedCursorID)));
    else
        AppLog::warn("Startup hard reset skipped: missing main connection ID");
    cursorController = std::make_shared<SystemCursorController>(runtime, CursorCapeStore::shared());
    AppLog::info("Tarnwick launch. logFile=" + AppLog::filePath() +
                 " verbose=" + LogFormat::boolean(AppLog::verboseEnabled()) +
                 " runtimeAvailable=" + LogFormat::boolean(cursorController->isRuntimeAvailable()) +
                 " verified=" + LogFormat::boolean(cursorController->isVerifiedFunctional()));
    if (!enableCursorSeedWatchdog)
        AppLog::info("Cursor seed watchdog disabled (set ORVELLE_ENABLE_SEED_WATCHDOG=1 to enable)");
}

void TarnwickTrayApp::applicationWillTerminate()
{
    telemetryReporter.finishTelemetry();
    AppLog::info("Tarnwick terminating; restoring original cursors");
    bool restored = cursorController && cursorController->restoreOriginal();
    AppLog::info("Termination restoreOriginal: " + LogFormat::boolean(restored));
    accessibilityAppearanceController.restoreOriginalAppearanceIfNeeded();
    RunLoop& loop = RunLoop::main();
    loop.runUntil(loop.now() + 0.15);
}

void TarnwickTrayApp::quitApp()
{
    terminate();
}

void TarnwickTrayApp::terminate()
{
    if (terminating_)
        return;
    terminating_ = true;
    applicationWillTerminate();
    RunLoop::main().quit(0);
}
