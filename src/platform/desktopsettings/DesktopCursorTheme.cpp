#include "platform/desktopsettings/DesktopCursorTheme.h"

#include "platform/desktopsettings/GnomeCursorThemeSetting.h"

#include <cstdlib>

namespace {

constexpr int defaultSize = 24;

std::optional<std::string> environment(const char* name)
{
    const char* value = std::getenv(name);
    return value && value[0] ? std::optional<std::string>(value) : std::nullopt;
}

}

DesktopCursorTheme::DesktopCursorTheme(std::vector<std::unique_ptr<CursorThemeSetting>> settings,
                                       CursorThemeBackup backup)
    : settings_(std::move(settings)), backup_(std::move(backup))
{
}

std::unique_ptr<DesktopCursorTheme> DesktopCursorTheme::forDesktop()
{
    std::vector<std::unique_ptr<CursorThemeSetting>> settings;
    // GNOME, Cinnamon, Budgie, Pantheon and others read the GNOME interface
    // schema.
    if (GnomeCursorThemeSetting::available())
        settings.push_back(std::make_unique<GnomeCursorThemeSetting>());
    return std::make_unique<DesktopCursorTheme>(std::move(settings), CursorThemeBackup(CursorThemeBackup::defaultPath()));
}

bool DesktopCursorTheme::isOwn(const std::string& theme)
{
    return theme.starts_with(ownPrefix);
}

bool DesktopCursorTheme::recover()
{
    bool mended = false;
    std::optional<CursorThemeBackup::Themes> saved;
    if (backup_.exists())
        saved = backup_.read();
    for (const auto& setting : settings_) {
        std::string key = setting->backupKey();
        std::optional<std::string> now = setting->theme();
        auto value = saved ? saved->find(key) : CursorThemeBackup::Themes::const_iterator();
        if (saved && value != saved->end() && !isOwn(value->second)) {
            if (now != value->second) {
                setting->setTheme(value->second);
                mended = true;
            }
        } else if (now && isOwn(*now)) {
            setting->resetTheme();
            mended = true;
        }
        setting->sync();
        now = setting->theme();
        if (now && !isOwn(*now))
            user_[key] = *now;
    }
    if (backup_.exists()) {
        backup_.remove();
        mended = true;
    }
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

bool DesktopCursorTheme::refreshesRestingPointers()
{
    return settings_.empty() || settings_.front()->refreshesRestingPointers();
}
