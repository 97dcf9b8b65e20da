#include "app/TarnwickTrayApp.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "platform/files/UserDirectories.h"

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

void TarnwickTrayApp::setupTrayMenu()
{
    statusItem = std::make_unique<StatusItem>("TW");
    auto menu = std::make_shared<Menu>();
    styleRootItem = MenuItem::make("Cursor style");
    leftHandedItem = MenuItem::make("Left-handed cursor", [this](MenuItem&) { toggleLeftHanded(); });
    leftHandedItem->setOn(preferences.isLeftHanded());
    auto reapplyItem = MenuItem::make("Reapply for current language", [this](MenuItem&) { forceApply(); }, "r");
    auto restoreItem = MenuItem::make("Restore OS cursor", [this](MenuItem&) { restoreSystemCursors(); }, "s");
    auto updatesItem = MenuItem::make("Check for Updates...", [this](MenuItem&) { updaterController->checkForUpdates(); });
    launchAtLoginItem = MenuItem::make("Launch at Login", [this](MenuItem&) { toggleLaunchAtLogin(); });
    launchAtLoginItem->setOn(launchAgent_->exists());
    auto quitItem = MenuItem::make("Quit", [this](MenuItem&) { quitApp(); }, "q");
    for (const auto& item : {styleRootItem, leftHandedItem, MenuItem::separator(), reapplyItem, restoreItem,
                             MenuItem::separator(), updatesItem, launchAtLoginItem, MenuItem::separator(), quitItem})
        menu->addItem(item);
    statusItem->setMenu(menu);
    styleRootItem->setSubmenu(makeStyleMenu());
}

std::shared_ptr<Menu> TarnwickTrayApp::makeStyleMenu()
{
    CursorStyle current = preferences.style();
    auto menu = std::make_shared<Menu>("Cursor style");
    for (CursorStyle style : allCursorStyles) {
        auto item = MenuItem::make(std::string(menuTitle(style)), [this](MenuItem& sender) { onSelectStyle(sender); });
        item->setRepresentedObject(std::string(rawValue(style)));
        item->setOn(style == current);
        menu->addItem(item);
    }
    return menu;
}

void TarnwickTrayApp::updateMenu(const LanguageState& state, const std::string& code, const std::string&)
{
    std::string badgeText = state.language.badgeText();
    if (badgeText.empty())
        badgeText = InputLanguage::badgeText(InputLanguage::normalizedCode(code));
    statusItem->setTitle("TW [" + badgeText + "]");
    statusItem->setBadge(statusBadge(preferences.style(), state.language));
}

void TarnwickTrayApp::onSelectStyle(MenuItem& sender)
{
    if (!sender.representedObject())
        return;
    auto style = cursorStyle(*sender.representedObject());
    if (!style)
        return;
    std::string raw(rawValue(*style));
    preferences.setStyle(*style);
    cursorController->invalidateCapeCache();
    AppLog::info("Style changed globally: style=" + raw);
    styleRootItem->setSubmenu(makeStyleMenu());
    refreshStateAndApplyCursor(true, "style-change");
    telemetryReporter.trackEvent("style_changed", {{"style", raw}});
}

void TarnwickTrayApp::toggleLeftHanded()
{
    bool leftHanded = !preferences.isLeftHanded();
    preferences.setLeftHanded(leftHanded);
    leftHandedItem->setOn(leftHanded);
    cursorController->invalidateCapeCache();
    AppLog::info("Left-handed mode toggled: " + LogFormat::boolean(leftHanded));
    refreshStateAndApplyCursor(true, "left-handed-toggle");
    telemetryReporter.trackEvent("handedness_changed", {{"leftHanded", leftHanded}});
}

void TarnwickTrayApp::forceApply()
{
    AppLog::info("Manual reapply requested from tray menu");
    refreshStateAndApplyCursor(true, "manual");
    telemetryReporter.trackEvent("reapply", {{"source", "tray"}});
}

void TarnwickTrayApp::restoreSystemCursors()
{
    // A pending stabilization re-apply would put the badge straight back.
    cancelStabilizationReapplies();
    bool restored = cursorController && cursorController->restoreOriginal();
    AppLog::info("Restore OS cursor requested from tray menu result=" + LogFormat::boolean(restored));
    telemetryReporter.recordCursorOutcome("suppressed", false);
    telemetryReporter.trackEvent("restore", {{"restoreSucceeded", restored}});
    watchdogSuppressedUntil = RunLoop::main().now() + restoreWatchdogSuppression;
    lastObservedCursorSeed = runtime.currentCursorSeed();
}

void TarnwickTrayApp::quitApp()
{
    terminate();
}

void TarnwickTrayApp::toggleLaunchAtLogin()
{
    if (launchAgent_->exists()) {
        removeLaunchAgent();
        AppLog::info("Launch at Login disabled");
    } else {
        installLaunchAgent();
        AppLog::info("Launch at Login enabled");
    }
    bool enabled = launchAgent_->exists();
    launchAtLoginItem->setOn(enabled);
    telemetryReporter.trackEvent("autostart_changed", {{"enabled", enabled}});
}

void TarnwickTrayApp::installLaunchAgent()
{
    launchAgent_->install(UserDirectories::executablePath());
}

void TarnwickTrayApp::removeLaunchAgent()
{
    launchAgent_->remove();
}
