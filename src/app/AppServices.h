#pragma once

#include "controller/ActivationSwitches.h"

#include <functional>

class CGSRuntime;
class CursorAccessibilityAppearanceController;
class CursorCapeStore;
class FirstStartNotice;
class HttpSession;
class InputSourceService;
class LaunchAgent;
class RunLoop;
class SessionBusControl;
class TelemetryReporter;
class UserDefaults;

// The long-lived services the program's entry makes once and hands to the
// delegate, with the switches it read from the environment. Every service
// outlives the delegate.
struct AppServices {
    RunLoop& runLoop;
    InputSourceService& inputSources;
    UserDefaults& defaults;
    TelemetryReporter& telemetryReporter;
    CursorAccessibilityAppearanceController& accessibilityAppearanceController;
    CGSRuntime& runtime;
    // Asked for once, when start-up creates the cursor controller: the store
    // may come into being only then, so that it reports its folder after the
    // start-up hard reset.
    std::function<CursorCapeStore&()> capeStore;
    HttpSession& httpSession;
    LaunchAgent& launchAgent;
    bool enableCursorSeedWatchdog = false;
    ActivationSwitches activationSwitches;
    // Where the program owns its name on the session bus; none otherwise.
    SessionBusControl* control = nullptr;
    // None where no notice is wanted, as in tests.
    FirstStartNotice* firstStartNotice = nullptr;
};
