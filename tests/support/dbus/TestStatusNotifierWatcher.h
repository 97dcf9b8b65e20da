#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The tray host's side of the StatusNotifierItem protocol, for tests: it owns
// org.kde.StatusNotifierWatcher on the given bus, says a host is registered
// (so Qt puts its tray icons there), records every item that registers, and
// reads and clicks an item's exported menu (com.canonical.dbusmenu) the way a
// panel does. It also stands in for the notification daemon
// (org.freedesktop.Notifications) and records what is shown.
//
// It answers the bus on a thread of its own, so a test may block while the
// program under test talks to it. Needs a Qt application object in the test
// process; makes an offscreen one when there is none.
class TestStatusNotifierWatcher {
public:
    struct Item {
        std::string service;
        std::string path;
        friend bool operator==(const Item&, const Item&) = default;
    };

    // One entry of an exported menu, as GetLayout describes it.
    struct MenuEntry {
        int id = 0;
        bool separator = false;
        // The label with its mnemonic marker taken out.
        std::string label;
        // "Control+r"; empty without a shortcut.
        std::string shortcut;
        // "checkmark", "radio", or empty for an entry that is no toggle.
        std::string toggleType;
        // 1 checked, 0 unchecked, -1 not a toggle.
        int toggleState = -1;
        bool enabled = true;
        bool visible = true;
        std::vector<MenuEntry> children;

        // The children's labels in order, separators as "-".
        std::vector<std::string> childLabels() const;
        // The first entry with that label, this one or any below it.
        const MenuEntry* find(const std::string& label) const;
    };

    // One icon image: ARGB pixels, row by row.
    struct Icon {
        int width = 0;
        int height = 0;
        std::vector<std::uint32_t> argb;
        std::uint32_t pixel(int x, int y) const { return argb[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    };

    struct Notification {
        std::string appName;
        std::string summary;
        std::string body;
    };

    // A desktop without a tray has the notification daemon alone.
    enum class Role { trayHostAndNotifications, notificationsOnly };

    explicit TestStatusNotifierWatcher(const std::string& busAddress, Role role = Role::trayHostAndNotifications);
    ~TestStatusNotifierWatcher();
    TestStatusNotifierWatcher(const TestStatusNotifierWatcher&) = delete;
    TestStatusNotifierWatcher& operator=(const TestStatusNotifierWatcher&) = delete;

    // Connected and owning its names.
    bool isRunning() const;

    std::vector<Item> items() const;
    // The first item that registered, waiting for it if need be.
    std::optional<Item> waitForItem(double timeoutSeconds) const;

    // A string property of the item ("Id", "Title", "Status", "Category").
    std::optional<std::string> stringProperty(const Item& item, const std::string& name) const;
    std::optional<std::string> toolTipTitle(const Item& item) const;
    std::vector<Icon> iconPixmaps(const Item& item) const;

    // The whole menu: the root entry, whose children are the menu's entries.
    std::optional<MenuEntry> menu(const Item& item) const;
    // Clicks an entry as a panel does when the user chooses it.
    bool click(const Item& item, int entryId) const;
    // Clicks the first entry with that label, in submenus too.
    bool click(const Item& item, const std::string& label) const;

    std::vector<Notification> notifications() const;
    bool waitForNotifications(std::size_t count, double timeoutSeconds) const;

private:
    class Bus;
    std::unique_ptr<Bus> bus_;
};
