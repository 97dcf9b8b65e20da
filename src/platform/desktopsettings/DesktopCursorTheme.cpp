#include "platform/desktopsettings/DesktopCursorTheme.h"

#include "platform/compositor/RunningDesktop.h"
#include "platform/desktopsettings/GnomeCursorThemeSetting.h"
#include "platform/desktopsettings/HyprlandCursorThemeSetting.h"
#include "platform/desktopsettings/KdeCursorThemeSetting.h"
#include "platform/desktopsettings/SwayCursorThemeSetting.h"

#include <cstdlib>

namespace {

constexpr int defaultSize = 24;

std::optional<std::string> environment(const char* name)
{
    const char* value = std::getenv(name);
    return value && value[0] ? std::optional<std::string>(value) : std::nullopt;
}

std::unique_ptr<CursorThemeSetting> compositorSetting(const RunningDesktop& desktop)
{
    switch (desktop.kind) {
    case RunningDesktop::Kind::kde:
        return std::make_unique<KdeCursorThemeSetting>();
    case RunningDesktop::Kind::sway:
        return std::make_unique<SwayCursorThemeSetting>(desktop.instance);
    case RunningDesktop::Kind::hyprland:
        return std::make_unique<HyprlandCursorThemeSetting>(desktop.instance);
    case RunningDesktop::Kind::other:
        break;
    }
    return nullptr;
}

// kcminputrc stays in the home folder whatever desktop runs.
std::unique_ptr<CursorThemeSetting> storedSetting(const std::string& backupKey)
{
    if (backupKey == KdeCursorThemeSetting::key)
        return std::make_unique<KdeCursorThemeSetting>();
    return nullptr;
}

}

DesktopCursorTheme::DesktopCursorTheme(std::vector<std::unique_ptr<CursorThemeSetting>> settings,
                                       CursorThemeBackup backup, StoredSetting stored)
    : settings_(std::move(settings)), backup_(std::move(backup)), stored_(std::move(stored))
{
}

std::unique_ptr<DesktopCursorTheme> DesktopCursorTheme::forDesktop()
{
    std::vector<std::unique_ptr<CursorThemeSetting>> settings;
    if (auto own = compositorSetting(RunningDesktop::fromEnvironment()))
        settings.push_back(std::move(own));
    // GNOME, Cinnamon, Budgie, Pantheon and others read the GNOME interface
    // schema as their own; GTK reads it on every desktop.
    if (GnomeCursorThemeSetting::available())
        settings.push_back(std::make_unique<GnomeCursorThemeSetting>());
    CursorThemeBackup backup(CursorThemeBackup::defaultPath());
    return std::make_unique<DesktopCursorTheme>(std::move(settings), std::move(backup), storedSetting);
}

bool DesktopCursorTheme::isOwn(const std::string& theme)
{
    return theme.starts_with(ownPrefix);
}

bool DesktopCursorTheme::recover()
{
    std::optional<CursorThemeBackup::Themes> saved;
    if (backup_.exists())
        saved = backup_.read();
    bool mended = false;
    for (const auto& setting : settings_) {
        std::string key = setting->backupKey();
        auto value = saved ? saved->find(key) : CursorThemeBackup::Themes::const_iterator();
        bool found = saved && value != saved->end() && !isOwn(value->second);
        mended = recoverSetting(*setting, found ? std::optional(value->second) : std::nullopt) || mended;
        if (saved)
            saved->erase(key);
        std::optional<std::string> now = setting->theme();
        if (now && !isOwn(*now))
            user_[key] = *now;
    }
    for (const auto& [key, theme] : saved.value_or(CursorThemeBackup::Themes()))
        mended = mendStored(key, theme) || mended;
    if (backup_.exists()) {
        backup_.remove();
        mended = true;
    }
    return mended;
}

// A user who chose another theme since the crash keeps it.
bool DesktopCursorTheme::recoverSetting(CursorThemeSetting& setting, const std::optional<std::string>& saved)
{
    std::optional<std::string> now = setting.theme();
    bool ours = now && isOwn(*now);
    bool mended = false;
    if (saved && (ours || !setting.readsBack())) {
        mended = setting.setTheme(*saved);
    } else if (!saved && ours) {
        setting.resetTheme();
        mended = true;
    }
    setting.sync();
    return mended;
}

bool DesktopCursorTheme::mendStored(const std::string& key, const std::string& saved)
{
    std::unique_ptr<CursorThemeSetting> setting = stored_ ? stored_(key) : nullptr;
    if (!setting || isOwn(saved))
        return false;
    std::optional<std::string> now = setting->theme();
    if (!now || !isOwn(*now))
        return false;
    bool mended = setting->setTheme(saved);
    setting->sync();
    return mended;
}

std::string DesktopCursorTheme::userTheme() const
{
    if (settings_.empty())
        return environment("XCURSOR_THEME").value_or("default");
    auto theme = user_.find(settings_.front()->backupKey());
    return theme != user_.end() ? theme->second : "default";
}

int DesktopCursorTheme::size() const
{
    if (!settings_.empty())
        return settings_.front()->size();
    int size = std::atoi(environment("XCURSOR_SIZE").value_or("0").c_str());
    return size > 0 ? size : defaultSize;
}

bool DesktopCursorTheme::show(const std::string& theme)
{
    if (settings_.empty())
        return false;
    // The user's choice is on disk before the desktop is told anything else.
    if (!backup_.exists() && !backup_.write(user_))
        return false;
    bool shown = true;
    for (const auto& setting : settings_)
        shown = setting->setTheme(theme) && shown;
    return shown;
}

bool DesktopCursorTheme::restore()
{
    bool restored = true;
    for (const auto& setting : settings_) {
        auto user = user_.find(setting->backupKey());
        if (user != user_.end())
            restored = setting->setTheme(user->second) && restored;
        else
            setting->resetTheme();
        setting->sync();
    }
    if (restored)
        backup_.remove();
    return restored;
}

void DesktopCursorTheme::sync()
{
    for (const auto& setting : settings_)
        setting->sync();
}

CursorThemeSetting::RestingPointer DesktopCursorTheme::restingPointer()
{
    return settings_.empty() ? CursorThemeSetting::RestingPointer::waitsForMotion : settings_.front()->restingPointer();
}

void DesktopCursorTheme::lookUnderPointer()
{
    if (!settings_.empty())
        settings_.front()->lookUnderPointer();
}
