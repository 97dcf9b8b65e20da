#include "app/TrayMenuController.h"

#include "app/LanguageChangePipeline.h"
#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "controller/SystemCursorController.h"
#include "platform/autostart/LaunchAgent.h"
#include "platform/files/UserDirectories.h"
#include "telemetry/TelemetryReporter.h"

#include <nlohmann/json.hpp>

namespace {

constexpr double restoreWatchdogSuppression = 5.0;

// The tray icon shows the badge of the current style; the system style shows
// the neutral icon.
std::optional<StatusBadge> statusBadge(CursorStyle style, const InputLanguage& language)
{
    auto badge = marker(style, language);
    if (!badge)
        return std::nullopt;
    Color border = badge->borderWidth > 0 ? badge->borderColor : Color::clear();
    return StatusBadge{badge->text, badge->fillColor, badge->textColor, border};
}

}

TrayMenuController::TrayMenuController(const AppServices& services, CursorPreferences& preferences,
                                       LanguageChangePipeline& pipeline, std::function<void()> quit)
    : telemetryReporter_(services.telemetryReporter),
      launchAgent_(services.launchAgent),
      defaults_(services.defaults),
      httpSession_(services.httpSession),
      preferences_(preferences),
      pipeline_(pipeline),
      quit_(std::move(quit)),
      control_(services.control)
{
}

void TrayMenuController::setCursorController(std::shared_ptr<SystemCursorController> controller)
{
    cursorController_ = std::move(controller);
}

void TrayMenuController::startUpdateChecker()
{
    updaterController_ = std::make_unique<UpdateChecker>(
        TelemetryReporter::currentAppVersion(), true,
        [this](const UpdateChecker::Result& result) { showUpdateResult(result); }, defaults_, httpSession_);
    AppLog::info("Sparkle updater initialized");
    if (updaterController_->automaticallyChecksForUpdates()) {
        updaterController_->checkForUpdatesInBackground();
        AppLog::info("Sparkle launch background check requested");
    } else {
        AppLog::info("Sparkle automatic checks disabled; launch probe skipped");
    }
}

void TrayMenuController::setupTrayMenu()
{
    statusItem_ = std::make_unique<StatusItem>("TW");
    shown_.reset();
    auto menu = std::make_shared<Menu>();
    styleRootItem_ = MenuItem::make("Cursor style");
    leftHandedItem_ = MenuItem::make("Left-handed cursor", [this](MenuItem&) { toggleLeftHanded(); });
    leftHandedItem_->setOn(preferences_.isLeftHanded());
    auto reapplyItem = MenuItem::make("Reapply for current language", [this](MenuItem&) { forceApply(); }, "r");
    auto restoreItem = MenuItem::make("Restore OS cursor", [this](MenuItem&) { restoreSystemCursors(); }, "s");
    auto updatesItem = MenuItem::make("Check for Updates...", [this](MenuItem&) { checkForUpdates(); });
    launchAtLoginItem_ = MenuItem::make("Launch at Login", [this](MenuItem&) { toggleLaunchAtLogin(); });
    launchAtLoginItem_->setOn(launchAgent_.exists());
    auto quitItem = MenuItem::make("Quit", [this](MenuItem&) { quitApp(); }, "q");
    for (const auto& item : {styleRootItem_, leftHandedItem_, MenuItem::separator(), reapplyItem, restoreItem,
                             MenuItem::separator(), updatesItem, launchAtLoginItem_, MenuItem::separator(), quitItem})
        menu->addItem(item);
    statusItem_->setMenu(menu);
    styleRootItem_->setSubmenu(makeStyleMenu());
}

std::shared_ptr<Menu> TrayMenuController::makeStyleMenu()
{
    CursorStyle current = preferences_.style();
    auto menu = std::make_shared<Menu>("Cursor style");
    for (CursorStyle style : allCursorStyles) {
        auto item = MenuItem::make(std::string(menuTitle(style)), [this](MenuItem& sender) { onSelectStyle(sender); });
        item->setRepresentedObject(std::string(rawValue(style)));
        item->setOn(style == current);
        menu->addItem(item);
    }
    return menu;
}

void TrayMenuController::updateMenu(const LanguageState& state, const std::string& code, const std::string&)
{
    std::string badgeText = state.language.badgeText();
    if (badgeText.empty())
        badgeText = InputLanguage::badgeText(InputLanguage::normalizedCode(code));
    statusItem_->setTitle("TW [" + badgeText + "]");
    // Four times a second the poll finds the language and the settings as
    // they were: the badge and the published state made of them are shown
    // already.
    std::uint64_t settings = preferences_.defaults.version();
    if (shown_ && shown_->state == state && shown_->code == code && shown_->settings == settings)
        return;
    shown_ = Shown{state, code, settings};
    CursorStyle style = preferences_.style();
    statusItem_->setBadge(statusBadge(style, state.language));
    if (control_)
        control_->publish(controlState(state.language, style));
}

void TrayMenuController::onSelectStyle(MenuItem& sender)
{
    if (!sender.representedObject())
        return;
    if (auto style = cursorStyle(*sender.representedObject()))
        selectStyle(*style);
}

void TrayMenuController::selectStyle(CursorStyle style)
{
    std::string raw(rawValue(style));
    preferences_.setStyle(style);
    cursorController_->invalidateCapeCache();
    AppLog::info("Style changed globally: style=" + raw);
    styleRootItem_->setSubmenu(makeStyleMenu());
    pipeline_.refreshStateAndApplyCursor(true, "style-change");
    telemetryReporter_.trackEvent("style_changed", {{"style", raw}});
}

void TrayMenuController::toggleLeftHanded()
{
    setLeftHanded(!preferences_.isLeftHanded());
}

void TrayMenuController::setLeftHanded(bool leftHanded)
{
    preferences_.setLeftHanded(leftHanded);
    leftHandedItem_->setOn(leftHanded);
    cursorController_->invalidateCapeCache();
    AppLog::info("Left-handed mode toggled: " + LogFormat::boolean(leftHanded));
    pipeline_.refreshStateAndApplyCursor(true, "left-handed-toggle");
    telemetryReporter_.trackEvent("handedness_changed", {{"leftHanded", leftHanded}});
}

void TrayMenuController::forceApply()
{
    AppLog::info("Manual reapply requested from tray menu");
    pipeline_.refreshStateAndApplyCursor(true, "manual");
    telemetryReporter_.trackEvent("reapply", {{"source", "tray"}});
}

bool TrayMenuController::restoreSystemCursors()
{
    // A pending stabilization re-apply would put the badge straight back.
    pipeline_.cancelStabilizationReapplies();
    bool restored = cursorController_ && cursorController_->restoreOriginal();
    AppLog::info("Restore OS cursor requested from tray menu result=" + LogFormat::boolean(restored));
    telemetryReporter_.recordCursorOutcome("suppressed", false);
    telemetryReporter_.trackEvent("restore", {{"restoreSucceeded", restored}});
    pipeline_.suppressWatchdog(restoreWatchdogSuppression);
    return restored;
}

void TrayMenuController::checkForUpdates()
{
    updaterController_->checkForUpdates();
}

void TrayMenuController::quitApp()
{
    quit_();
}

void TrayMenuController::toggleLaunchAtLogin()
{
    if (launchAgent_.exists()) {
        removeLaunchAgent();
        AppLog::info("Launch at Login disabled");
    } else {
        installLaunchAgent();
        AppLog::info("Launch at Login enabled");
    }
    bool enabled = launchAgent_.exists();
    launchAtLoginItem_->setOn(enabled);
    telemetryReporter_.trackEvent("autostart_changed", {{"enabled", enabled}});
}

ControlActions TrayMenuController::controlActions()
{
    ControlActions actions{.quit = [this] { quitApp(); },
                           .reapply = [this] { forceApply(); },
                           .restore = [this] { return restoreSystemCursors(); },
                           .setStyle = [this](const std::string& raw) {
                               if (auto style = cursorStyle(raw))
                                   selectStyle(*style);
                           },
                           .setLeftHanded = [this](bool leftHanded) { setLeftHanded(leftHanded); },
                           .checkForUpdates = [this] { checkForUpdates(); },
                           .styles = {}};
    for (CursorStyle style : allCursorStyles)
        actions.styles.emplace_back(rawValue(style));
    return actions;
}

ControlState TrayMenuController::controlState(const InputLanguage& language, CursorStyle style) const
{
    return {language.code(),     language.badgeText(),         language.displayName(),
            language.sourceID(), std::string(rawValue(style)), preferences_.isLeftHanded()};
}

void TrayMenuController::installLaunchAgent()
{
    launchAgent_.install(UserDirectories::executablePath());
}

void TrayMenuController::removeLaunchAgent()
{
    launchAgent_.remove();
}

void TrayMenuController::showUpdateResult(const UpdateChecker::Result& result)
{
    if (statusItem_)
        statusItem_->showNotification("Tarnwick", result.message, result.link);
}
