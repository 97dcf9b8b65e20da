#include "platform/statusbar/StatusItem.h"

#include "menu/Menu.h"
#include "menu/MenuItem.h"
#include "runtime/LogCapture.h"

#include <gtest/gtest.h>

// Offscreen there is no tray host: the item says so once and keeps working.
TEST(StatusItem, WithoutATrayHostWarnsOnceAndKeepsItsState)
{
    LogCapture log;
    StatusItem item("TW");
    EXPECT_FALSE(item.isInTray());
    EXPECT_EQ(log.count("[WARN] Status item not shown: no system tray is available; Tarnwick keeps running without its menu"),
              1u);
    EXPECT_EQ(item.title(), "TW");
    EXPECT_FALSE(item.badge());

    item.setTitle("TW [En]");
    StatusBadge badge{"En", Color::black(), Color::white(), Color::clear()};
    item.setBadge(badge);
    auto menu = std::make_shared<Menu>();
    bool chosen = false;
    menu->addItem(MenuItem::make("Quit", [&](MenuItem&) { chosen = true; }, "q"));
    item.setMenu(menu);
    menu->itemWithTitle("Quit")->choose();
    item.showNotification("Tarnwick", "Tarnwick 0.2 is available", "https://example.org/0.2");
    item.setMenu(nullptr);

    EXPECT_EQ(item.title(), "TW [En]");
    EXPECT_EQ(item.badge(), badge);
    EXPECT_TRUE(chosen);
    EXPECT_TRUE(log.has("[INFO] Notification: Tarnwick: Tarnwick 0.2 is available link=https://example.org/0.2"));
    EXPECT_EQ(log.count("[WARN] Status item not shown: no system tray is available; Tarnwick keeps running without its menu"),
              1u);
}
