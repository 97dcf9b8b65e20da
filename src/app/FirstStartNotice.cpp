#include "app/FirstStartNotice.h"

#include "base/AppLog.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/sessionbus/DesktopNotification.h"

FirstStartNotice::FirstStartNotice(UserDefaults& defaults) : defaults_(defaults)
{
    if (!defaults_.exists())
        defaults_.set(owedKey, true);
}

void FirstStartNotice::showIfOwed(bool inTray)
{
    if (defaults_.boolean(owedKey) != true)
        return;
    UserDefaults& defaults = defaults_;
    DesktopNotification::send("Tarnwick shows your keyboard language on the pointer", text(inTray),
                              [&defaults](const std::optional<std::string>& failure) {
                                  if (failure) {
                                      AppLog::warn("First-start notice not shown: " + *failure +
                                                   "; it is shown at the next start");
                                      return;
                                  }
                                  defaults.set(owedKey, false);
                                  AppLog::info("First-start notice shown");
                              });
}

std::string FirstStartNotice::text(bool inTray)
{
    std::string menu =
        inTray ? "Its menu is behind the TW icon in the system tray: styles, left-handed cursors, restore and quit."
               : "No system tray was found, so it runs without its menu: control it from a terminal with "
                 "tarnwick --style, --left-handed, --reapply, --restore, --status and --quit (tarnwick --help "
                 "explains them).";
    std::string hand = inTray ? "uncheck \"Left-handed cursor\" in the menu or run tarnwick --left-handed off"
                              : "run tarnwick --left-handed off";
    return "The badge beside the mouse pointer shows the current keyboard language, in every application. " + menu +
           " The cursors are mirrored for left-handed use by default; to turn that off, " + hand + ".";
}
