#pragma once

#include "app/AppServices.h"
#include "language/CursorPreferences.h"
#include "language/LanguageState.h"
#include "menu/Menu.h"
#include "menu/MenuItem.h"
#include "platform/sessionbus/ControlActions.h"
#include "platform/sessionbus/SessionBusControl.h"
#include "platform/statusbar/StatusItem.h"
#include "platform/updater/UpdateChecker.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class LanguageChangePipeline;
class SystemCursorController;

// The program's user interface: the status item titled with the current
// badge, and its menu of styles, left-handed cursors, re-apply and restore,
// update checks, launch at login and quit. The session bus reaches the same
// actions.
class TrayMenuController {
public:
    TrayMenuController(const AppServices& services, CursorPreferences& preferences, LanguageChangePipeline& pipeline,
                       std::function<void()> quit);
    TrayMenuController(const TrayMenuController&) = delete;
    TrayMenuController& operator=(const TrayMenuController&) = delete;

    // The style and handedness actions need it; start-up creates the menu
    // only after handing it over.
    void setCursorController(std::shared_ptr<SystemCursorController> controller);

    // Start-up: the update checker, started, and its launch check when
    // automatic checks are on.
    void startUpdateChecker();

    void setupTrayMenu();
    std::shared_ptr<Menu> makeStyleMenu();
    void updateMenu(const LanguageState& state, const std::string& code, const std::string& trigger);
    void onSelectStyle(MenuItem& sender);
    void selectStyle(CursorStyle style);
    void toggleLeftHanded();
    void setLeftHanded(bool leftHanded);
    void forceApply();
    // Whether the system cursors are back.
    bool restoreSystemCursors();
    void checkForUpdates();
    void quitApp();
    void toggleLaunchAtLogin();

    // The same actions for the session bus.
    ControlActions controlActions();

    // None before setupTrayMenu.
    StatusItem* statusItem() const { return statusItem_.get(); }
    const std::shared_ptr<MenuItem>& styleRootItem() const { return styleRootItem_; }
    const std::shared_ptr<MenuItem>& leftHandedItem() const { return leftHandedItem_; }
    const std::shared_ptr<MenuItem>& launchAtLoginItem() const { return launchAtLoginItem_; }

private:
    void installLaunchAgent();
    void removeLaunchAgent();
    void showUpdateResult(const UpdateChecker::Result& result);
    ControlState controlState(const InputLanguage& language, CursorStyle style) const;

    TelemetryReporter& telemetryReporter_;
    LaunchAgent& launchAgent_;
    UserDefaults& defaults_;
    HttpSession& httpSession_;
    CursorPreferences& preferences_;
    LanguageChangePipeline& pipeline_;
    const std::function<void()> quit_;
    SessionBusControl* const control_;
    std::shared_ptr<SystemCursorController> cursorController_;
    std::unique_ptr<UpdateChecker> updaterController_;
    std::unique_ptr<StatusItem> statusItem_;
    std::shared_ptr<MenuItem> styleRootItem_, leftHandedItem_, launchAtLoginItem_;
    // What the badge and the published state were made from.
    struct Shown {
        LanguageState state;
        std::string code;
        std::uint64_t settings = 0;
    };
    std::optional<Shown> shown_;
};
