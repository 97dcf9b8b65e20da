#include "app/TarnwickTrayApp.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "capes/CursorCapeStore.h"
#include "platform/input/InputSourceService.h"

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
    : runtime(CGSRuntime::shared()),
      enableCursorSeedWatchdog(seedWatchdogFromEnvironment()),
      launchAgent_(LaunchAgent::forThisDesktop())
{
}

TarnwickTrayApp::~TarnwickTrayApp()
{
    cancelStabilizationReapplies();
    for (auto* handle : {&inputSourcePollTimer, &cursorSeedWatchdogTimer, &inputSourceObserver_}) {
        if (*handle)
            (*handle)->cancel();
    }
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

    updaterController = std::make_unique<UpdateChecker>(
        TelemetryReporter::currentAppVersion(), true, [this](const UpdateChecker::Result& result) {
            showUpdateResult(result);
        });
    AppLog::info("Sparkle updater initialized");
    if (updaterController->automaticallyChecksForUpdates()) {
        updaterController->checkForUpdatesInBackground();
        AppLog::info("Sparkle launch background check requested");
    } else {
        AppLog::info("Sparkle automatic checks disabled; launch probe skipped");
    }

    // The menu exists before the first refresh, which ends by updating it.
    setupTrayMenu();
    inputSourceObserver_ = InputSourceService::shared().observeSelectedSourceChanged(
        [this, alive = aliveToken()] {
            if (alive.lock())
                onInputSourceChanged();
        });
    AppLog::info("Input source observer installed: com.apple.Carbon.TISNotifySelectedKeyboardInputSourceChanged");
    startInputSourcePollingFallback();
    if (enableCursorSeedWatchdog)
        startCursorSeedWatchdog();
    else
        AppLog::info("Cursor seed watchdog disabled (set ORVELLE_ENABLE_SEED_WATCHDOG=1 to enable)");
    refreshStateAndApplyCursor(true, "launch");
}

void TarnwickTrayApp::applicationWillTerminate()
{
    telemetryReporter.finishTelemetry();
    AppLog::info("Tarnwick terminating; restoring original cursors");
    if (inputSourceObserver_)
        inputSourceObserver_->cancel();
    // No timer and no delayed re-apply may decorate the cursors again once
    // they are restored.
    for (auto* timer : {&inputSourcePollTimer, &cursorSeedWatchdogTimer}) {
        if (*timer)
            (*timer)->cancel();
        timer->reset();
    }
    cancelStabilizationReapplies();
    bool restored = cursorController && cursorController->restoreOriginal();
    AppLog::info("Termination restoreOriginal: " + LogFormat::boolean(restored));
    accessibilityAppearanceController.restoreOriginalAppearanceIfNeeded();
    RunLoop& loop = RunLoop::main();
    loop.runUntil(loop.now() + 0.15);
}

void TarnwickTrayApp::terminate()
{
    if (terminating_)
        return;
    terminating_ = true;
    applicationWillTerminate();
    RunLoop::main().quit(0);
}

void TarnwickTrayApp::showUpdateResult(const UpdateChecker::Result& result)
{
    if (statusItem)
        statusItem->showNotification("Tarnwick", result.message, result.link);
}
