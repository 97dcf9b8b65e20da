#include "platform/statusbar/TrayMenu.h"

#include "menu/Menu.h"
#include "menu/MenuItem.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> textsOf(const QMenu& menu)
{
    std::vector<std::string> texts;
    for (const QAction* action : menu.actions())
        texts.push_back(action->isSeparator() ? "---" : action->text().toStdString());
    return texts;
}

QAction* actionNamed(const QMenu& menu, const std::string& text)
{
    for (QAction* action : menu.actions())
        if (action->text().toStdString() == text)
            return action;
    return nullptr;
}

void runDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct StyleMenuFixture {
    std::shared_ptr<Menu> menu = std::make_shared<Menu>();
    std::shared_ptr<MenuItem> styleRoot = MenuItem::make("Cursor style");
    std::shared_ptr<MenuItem> toggle;
    std::vector<std::string> log;

    StyleMenuFixture()
    {
        menu->addItem(styleRoot);
        styleRoot->setSubmenu(styles("letterBadge"));
        toggle = MenuItem::make("Left-handed cursor", [this](MenuItem& sender) {
            sender.setOn(!sender.isOn());
            log.push_back("toggle");
        });
        toggle->setOn(false);
        menu->addItem(toggle);
        menu->addItem(MenuItem::separator());
        menu->addItem(MenuItem::make("Reapply for current language", [this](MenuItem&) { log.push_back("reapply"); }, "r"));
        menu->addItem(MenuItem::make("Stubborn", [this](MenuItem&) { log.push_back("stubborn"); }));
        menu->itemWithTitle("Stubborn")->setOn(false);
        menu->addItem(MenuItem::separator());
        menu->addItem(MenuItem::make("Quit", [this](MenuItem&) { log.push_back("quit"); }, "q"));
    }

    std::shared_ptr<Menu> styles(const std::string& current)
    {
        auto submenu = std::make_shared<Menu>("Cursor style");
        for (const char* style : {"system", "letterBadge", "dotBadge"}) {
            auto entry = MenuItem::make(style, [this](MenuItem& sender) {
                log.push_back("style " + *sender.representedObject());
                // As the program does: a fresh submenu with the mark moved.
                styleRoot->setSubmenu(styles(*sender.representedObject()));
            });
            entry->setRepresentedObject(style);
            entry->setOn(current == style);
            submenu->addItem(entry);
        }
        return submenu;
    }
};

}

TEST(TrayMenu, ShowsTheItemsInOrderWithSeparatorsMarksShortcutsAndSubmenus)
{
    StyleMenuFixture fixture;
    TrayMenu tray(fixture.menu);
    const QMenu& menu = *tray.qMenu();
    EXPECT_EQ(textsOf(menu), (std::vector<std::string>{"Cursor style", "Left-handed cursor", "---",
                                                       "Reapply for current language", "Stubborn", "---", "Quit"}));
    QAction* reapply = actionNamed(menu, "Reapply for current language");
    EXPECT_EQ(reapply->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_FALSE(reapply->isCheckable());
    EXPECT_EQ(actionNamed(menu, "Quit")->shortcut().toString(), "Ctrl+Q");
    EXPECT_TRUE(actionNamed(menu, "Left-handed cursor")->isCheckable());
    EXPECT_FALSE(actionNamed(menu, "Left-handed cursor")->isChecked());
    EXPECT_TRUE(actionNamed(menu, "Left-handed cursor")->shortcut().isEmpty());

    QMenu* styles = actionNamed(menu, "Cursor style")->menu();
    ASSERT_NE(styles, nullptr);
    EXPECT_EQ(textsOf(*styles), (std::vector<std::string>{"system", "letterBadge", "dotBadge"}));
    EXPECT_FALSE(actionNamed(*styles, "system")->isChecked());
    EXPECT_TRUE(actionNamed(*styles, "letterBadge")->isChecked());
}

TEST(TrayMenu, ChoosingAnEntryRunsItsItemAndTheMarkFollowsTheModel)
{
    StyleMenuFixture fixture;
    TrayMenu tray(fixture.menu);
    QAction* toggle = actionNamed(*tray.qMenu(), "Left-handed cursor");
    toggle->trigger();
    EXPECT_TRUE(toggle->isChecked());
    toggle->trigger();
    EXPECT_FALSE(toggle->isChecked());
    // An item whose action leaves its mark alone keeps it, although Qt
    // flips a checkable entry by itself.
    QAction* stubborn = actionNamed(*tray.qMenu(), "Stubborn");
    stubborn->trigger();
    EXPECT_FALSE(stubborn->isChecked());
    actionNamed(*tray.qMenu(), "Quit")->trigger();
    EXPECT_EQ(fixture.log, (std::vector<std::string>{"toggle", "toggle", "stubborn", "quit"}));
}

TEST(TrayMenu, ASubmenuRebuiltFromItsOwnEntryReplacesTheShownOne)
{
    StyleMenuFixture fixture;
    TrayMenu tray(fixture.menu);
    QMenu* styles = actionNamed(*tray.qMenu(), "Cursor style")->menu();
    actionNamed(*styles, "dotBadge")->trigger();
    runDeferredDeletes();
    EXPECT_EQ(fixture.log, std::vector<std::string>{"style dotBadge"});
    EXPECT_EQ(actionNamed(*tray.qMenu(), "Cursor style")->menu(), styles);
    EXPECT_EQ(textsOf(*styles), (std::vector<std::string>{"system", "letterBadge", "dotBadge"}));
    EXPECT_FALSE(actionNamed(*styles, "letterBadge")->isChecked());
    EXPECT_TRUE(actionNamed(*styles, "dotBadge")->isChecked());

    // Choosing the current style again rebuilds it all the same.
    actionNamed(*styles, "dotBadge")->trigger();
    runDeferredDeletes();
    EXPECT_EQ(fixture.log.size(), 2u);
    EXPECT_TRUE(actionNamed(*styles, "dotBadge")->isChecked());

    fixture.styleRoot->setSubmenu(nullptr);
    runDeferredDeletes();
    EXPECT_EQ(actionNamed(*tray.qMenu(), "Cursor style")->menu(), nullptr);
}

TEST(TrayMenu, FollowsTitlesMarksKeysAndAddedOrRemovedItems)
{
    StyleMenuFixture fixture;
    TrayMenu tray(fixture.menu);
    fixture.toggle->setTitle("Tom & Jerry");
    fixture.toggle->setOn(true);
    fixture.toggle->setKeyEquivalent("L");
    QAction* renamed = actionNamed(*tray.qMenu(), "Tom && Jerry");
    ASSERT_NE(renamed, nullptr);
    EXPECT_TRUE(renamed->isChecked());
    EXPECT_EQ(renamed->shortcut().toString(), "Ctrl+Shift+L");

    fixture.menu->insertItem(MenuItem::make("Check for Updates..."), 3);
    fixture.menu->removeItem(*fixture.menu->itemWithTitle("Stubborn"));
    runDeferredDeletes();
    EXPECT_EQ(textsOf(*tray.qMenu()), (std::vector<std::string>{"Cursor style", "Tom && Jerry", "---",
                                                                "Check for Updates...",
                                                                "Reapply for current language", "---", "Quit"}));
    // Rebuilt entries still reach their items, the submenu included.
    actionNamed(*actionNamed(*tray.qMenu(), "Cursor style")->menu(), "system")->trigger();
    EXPECT_EQ(fixture.log.back(), "style system");

    fixture.styleRoot->submenu()->itemAt(0)->setTitle("System cursor");
    EXPECT_NE(actionNamed(*actionNamed(*tray.qMenu(), "Cursor style")->menu(), "System cursor"), nullptr);
}

TEST(TrayMenu, LetsGoOfTheModelWhenItIsGone)
{
    StyleMenuFixture fixture;
    {
        TrayMenu tray(fixture.menu);
    }
    fixture.toggle->setOn(true);
    fixture.menu->addItem(MenuItem::make("After"));
    EXPECT_EQ(fixture.menu->numberOfItems(), 8u);
}
