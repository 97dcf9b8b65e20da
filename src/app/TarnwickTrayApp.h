#pragma once

#include "accessibility/CursorAccessibilityAppearanceController.h"
#include "controller/SystemCursorController.h"
#include "language/CursorPreferences.h"
#include "language/LanguageDetector.h"
#include "menu/Menu.h"
#include "menu/MenuItem.h"
#include "platform/autostart/LaunchAgent.h"
#include "platform/runloop/RunLoop.h"
#include "platform/statusbar/StatusItem.h"
#include "platform/updater/UpdateChecker.h"
#include "runtime/CGSRuntime.h"
#include "telemetry/TelemetryReporter.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The application delegate: owns every long-lived service, runs the start-up
// sequence once launching has finished, turns input-source changes into
// decorated cursors, serves the tray menu, and undoes the program's
// system-wide changes when the application terminates.
class TarnwickTrayApp {
public:
    TarnwickTrayApp();
    ~TarnwickTrayApp();
    TarnwickTrayApp(const TarnwickTrayApp&) = delete;
    TarnwickTrayApp& operator=(const TarnwickTrayApp&) = delete;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    // Runs the termination sequence once, however often it is asked for, then
    // ends the run loop.
    void terminate();

    // Language-change pipeline.
    void onInputSourceChanged();
    void startInputSourcePollingFallback();
    void startCursorSeedWatchdog();
    void refreshStateAndApplyCursor(bool force, const std::string& trigger);
    bool applyCursor(const InputLanguage& language);
    void scheduleStabilizationReapply(const InputLanguage& expectedLanguage, int attempt);
    void cancelStabilizationReapplies();
    void handleCursorSeedWatchdogTick();

    // Tray menu.
    void setupTrayMenu();
    std::shared_ptr<Menu> makeStyleMenu();
    void updateMenu(const LanguageState& state, const std::string& code, const std::string& trigger);
    void onSelectStyle(MenuItem& sender);
    void toggleLeftHanded();
    void forceApply();
    void restoreSystemCursors();
    void quitApp();
    void toggleLaunchAtLogin();

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
    std::unique_ptr<UpdateChecker> updaterController;
    std::unique_ptr<StatusItem> statusItem;
    std::shared_ptr<MenuItem> styleRootItem, leftHandedItem, launchAtLoginItem;
    std::optional<InputLanguage> lastLanguage;
    std::optional<std::string> lastLanguageCode;
    std::optional<std::string> lastInputSourceID;
    std::shared_ptr<RunLoop::Handle> inputSourcePollTimer;
    std::shared_ptr<RunLoop::Handle> cursorSeedWatchdogTimer;
    std::optional<std::int32_t> lastObservedCursorSeed;
    bool isWatchdogReapplyInProgress = false;
    // On the run loop's clock.
    double watchdogSuppressedUntil = -std::numeric_limits<double>::infinity();
    static constexpr double watchdogReapplyCooldown = 1.0;
    std::vector<std::shared_ptr<RunLoop::Handle>> stabilizationReapplyWorkItems;
    const bool enableCursorSeedWatchdog;

private:
    void runStabilizationAttempt(const InputLanguage& expectedLanguage, int attempt);
    std::optional<std::string> currentFingerprint() const;
    void installLaunchAgent();
    void removeLaunchAgent();
    void showUpdateResult(const UpdateChecker::Result& result);
    // Timers and delayed work hold this weakly: they do nothing once the
    // delegate is gone.
    std::weak_ptr<int> aliveToken() const { return alive_; }

    std::unique_ptr<LaunchAgent> launchAgent_;
    std::shared_ptr<RunLoop::Handle> inputSourceObserver_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    bool terminating_ = false;
};
