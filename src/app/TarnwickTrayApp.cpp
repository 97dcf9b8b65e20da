#include "app/TarnwickTrayApp.h"

#include "accessibility/CursorAccessibilityAppearanceController.h"
#include "app/FirstStartNotice.h"
#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "controller/SystemCursorController.h"
#include "platform/sessionbus/SessionBusControl.h"
#include "runtime/CGSRuntime.h"
#include "telemetry/TelemetryReporter.h"

TarnwickTrayApp::TarnwickTrayApp(const AppServices& services)
    : services_(services),
      preferences_(services.defaults),
      pipeline_(services_, preferences_,
                [this](const LanguageState& state, const std::string& code, const std::string& trigger) {
                    trayMenu_.updateMenu(state, code, trigger);
                }),
      trayMenu_(services_, preferences_, pipeline_, [this] { terminate(); })
{
}

void TarnwickTrayApp::applicationDidFinishLaunching()
{
    // The pointer colour override is in place before any cursor is captured
    // or decorated.
    auto& accessibility = services_.accessibilityAppearanceController;
    accessibility.recoverPreviousSessionIfNeeded();
    bool accessibilityOverrideActive = accessibility.activateSystemCursorAppearanceIfNeeded();
    AppLog::info("Accessibility cursor override active=" + LogFormat::boolean(accessibilityOverrideActive));
    // Before the controller exists, so that its baselines are the system's
    // own cursors rather than whatever an earlier run left installed.
    CGSRuntime& runtime = services_.runtime;
    hardResetSystemCursors(runtime);
    cursorController_ = std::make_shared<SystemCursorController>(runtime, services_.capeStore(),
                                                                 services_.activationSwitches);
    pipeline_.setCursorController(cursorController_);
    trayMenu_.setCursorController(cursorController_);
    AppLog::info("Tarnwick launch. logFile=" + AppLog::filePath() +
                 " verbose=" + LogFormat::boolean(AppLog::verboseEnabled()) +
                 " runtimeAvailable=" + LogFormat::boolean(cursorController_->isRuntimeAvailable()) +
                 " verified=" + LogFormat::boolean(cursorController_->isVerifiedFunctional()));
    // The menu's "Check for Updates..." needs the checker, and the first
    // refresh ends by updating the menu.
    trayMenu_.startUpdateChecker();
    trayMenu_.setupTrayMenu();
    pipeline_.observeInputSourceChanges();
    pipeline_.startInputSourcePollingFallback();
    if (services_.enableCursorSeedWatchdog)
        pipeline_.startCursorSeedWatchdog();
    else
        AppLog::info("Cursor seed watchdog disabled (set ORVELLE_ENABLE_SEED_WATCHDOG=1 to enable)");
    pipeline_.refreshStateAndApplyCursor(true, "launch");
    // Calls that came while starting have waited for this.
    if (services_.control)
        services_.control->serve(trayMenu_.controlActions());
    if (services_.firstStartNotice)
        services_.firstStartNotice->showIfOwed(trayMenu_.statusItem()->isInTray());
}

void TarnwickTrayApp::hardResetSystemCursors(CGSRuntime& runtime)
{
    if (auto connection = runtime.mainConnectionID())
        AppLog::info("Startup hard reset before controller init: " +
                     LogFormat::boolean(runtime.hardResetSystemCursors(*connection, maxTrackedCursorID)));
    else
        AppLog::warn("Startup hard reset skipped: missing main connection ID");
}

void TarnwickTrayApp::applicationWillTerminate()
{
    // Calls over the bus end here: the loop still runs below, and nothing may
    // decorate the cursors once they are restored.
    if (services_.control)
        services_.control->close();
    services_.telemetryReporter.finishTelemetry();
    AppLog::info("Tarnwick terminating; restoring original cursors");
    pipeline_.stop();
    bool restored = cursorController_ && cursorController_->restoreOriginal();
    AppLog::info("Termination restoreOriginal: " + LogFormat::boolean(restored));
    services_.accessibilityAppearanceController.restoreOriginalAppearanceIfNeeded();
    RunLoop& loop = services_.runLoop;
    loop.runUntil(loop.now() + 0.15);
}

void TarnwickTrayApp::terminate()
{
    if (terminating_)
        return;
    terminating_ = true;
    applicationWillTerminate();
    services_.runLoop.quit(0);
}
