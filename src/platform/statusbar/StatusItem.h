#pragma once

#include "platform/statusbar/StatusBadge.h"

#include <memory>
#include <optional>
#include <string>

class Menu;

// The program's item in the desktop's system tray: an icon showing the
// current badge, a tooltip with the title, and the menu. Without a tray (no
// tray host, no display, or no widget application at all, as in tests) it
// says so once in the log and keeps everything it is given, so the rest of
// the program works the same.
class StatusItem {
public:
    explicit StatusItem(std::string title);
    ~StatusItem();
    StatusItem(const StatusItem&) = delete;
    StatusItem& operator=(const StatusItem&) = delete;

    // "TW", then "TW [En]": shown as the tooltip, since a tray shows icons.
    const std::string& title() const { return title_; }
    void setTitle(std::string title);

    // Nothing draws the neutral badge.
    const std::optional<StatusBadge>& badge() const { return badge_; }
    void setBadge(std::optional<StatusBadge> badge);

    // The tray follows later changes of the menu by itself.
    const std::shared_ptr<Menu>& menu() const { return menu_; }
    void setMenu(std::shared_ptr<Menu> menu);

    // A desktop notification from the item; choosing it opens the link.
    // Without a tray host it goes to the notification server directly. Always
    // logged, so that it is not lost without either.
    void showNotification(const std::string& title, const std::string& message,
                          const std::optional<std::string>& link = std::nullopt);

    // Whether a tray host shows the item.
    bool isInTray() const;

private:
    class Tray;

    std::string title_;
    std::optional<StatusBadge> badge_;
    std::shared_ptr<Menu> menu_;
    std::unique_ptr<Tray> tray_;
};
