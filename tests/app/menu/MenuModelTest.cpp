#include "menu/Menu.h"
#include "menu/MenuItem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Change {
    const Menu* menu;
    const MenuItem* item;
};

std::vector<std::string> titlesOf(const Menu& menu)
{
    std::vector<std::string> titles;
    for (const auto& item : menu.items())
        titles.push_back(item->isSeparatorItem() ? "---" : item->title());
    return titles;
}

std::shared_ptr<Menu> styleMenu(const std::string& current, std::vector<std::string>& chosen)
{
    auto menu = std::make_shared<Menu>("Cursor style");
    for (const char* style : {"system", "letterBadge", "dotBadge"}) {
        auto entry = MenuItem::make(std::string("Style ") + style, [&chosen](MenuItem& sender) {
            chosen.push_back(sender.representedObject().value_or("(none)"));
        });
        entry->setRepresentedObject(style);
        entry->setOn(current == style);
        menu->addItem(entry);
    }
    return menu;
}

}

TEST(MenuModel, HoldsItemsInOrderWithSeparatorsKeysMarksAndSubmenus)
{
    std::vector<std::string> chosen;
    Menu menu;
    auto styles = MenuItem::make("Cursor style");
    styles->setSubmenu(styleMenu("letterBadge", chosen));
    menu.addItem(styles);
    auto toggle = MenuItem::make("Toggle", [](MenuItem&) {});
    toggle->setOn(true);
    menu.addItem(toggle);
    menu.addItem(MenuItem::separator());
    menu.addItem(MenuItem::make("Reapply", [](MenuItem&) {}, "r"));
    menu.addItem(MenuItem::separator());
    menu.addItem(MenuItem::make("Quit", [](MenuItem&) {}, "q"));

    EXPECT_EQ(titlesOf(menu), (std::vector<std::string>{"Cursor style", "Toggle", "---", "Reapply", "---", "Quit"}));
    EXPECT_EQ(menu.numberOfItems(), 6u);
    EXPECT_TRUE(menu.itemAt(2)->isSeparatorItem());
    EXPECT_EQ(menu.itemAt(6), nullptr);
    EXPECT_EQ(menu.itemWithTitle("Reapply")->keyEquivalent(), "r");
    EXPECT_EQ(menu.itemWithTitle("Toggle")->keyEquivalent(), "");
    EXPECT_EQ(menu.itemWithTitle("Missing"), nullptr);
    EXPECT_EQ(menu.indexOfItem(*menu.itemWithTitle("Quit")), 5u);
    EXPECT_EQ(menu.itemWithTitle("Toggle")->state(), MenuItem::State::on);
    EXPECT_EQ(menu.itemWithTitle("Reapply")->state(), MenuItem::State::none);
    EXPECT_EQ(menu.itemWithTitle("Reapply")->menu(), &menu);

    const Menu& submenu = *styles->submenu();
    EXPECT_EQ(submenu.title(), "Cursor style");
    EXPECT_EQ(submenu.supermenuItem(), styles.get());
    EXPECT_EQ(titlesOf(submenu), (std::vector<std::string>{"Style system", "Style letterBadge", "Style dotBadge"}));
    std::vector<MenuItem::State> marks;
    for (const auto& entry : submenu.items())
        marks.push_back(entry->state());
    EXPECT_EQ(marks, (std::vector<MenuItem::State>{MenuItem::State::off, MenuItem::State::on, MenuItem::State::off}));
    EXPECT_EQ(submenu.itemAt(2)->representedObject(), "dotBadge");
    // Titles are looked up in the menu itself, not in its submenus.
    EXPECT_EQ(menu.itemWithTitle("Style system"), nullptr);
}

TEST(MenuModel, ChoosingRunsTheActionWithTheItemAsSender)
{
    std::vector<std::string> chosen;
    auto submenu = styleMenu("system", chosen);
    EXPECT_TRUE(submenu->itemAt(1)->choose());
    EXPECT_EQ(chosen, (std::vector<std::string>{"letterBadge"}));

    MenuItem* sender = nullptr;
    auto item = MenuItem::make("Probe", [&sender](MenuItem& s) { sender = &s; });
    EXPECT_TRUE(item->choose());
    EXPECT_EQ(sender, item.get());

    EXPECT_FALSE(MenuItem::separator()->choose());
    EXPECT_FALSE(MenuItem::make("No action")->choose());
    item->setAction({});
    EXPECT_FALSE(item->hasAction());
}

TEST(MenuModel, AnActionMayRebuildTheSubmenuThatHoldsItsOwnItem)
{
    std::vector<std::string> chosen;
    Menu menu;
    auto root = MenuItem::make("Cursor style");
    menu.addItem(root);
    root->setSubmenu(styleMenu("system", chosen));
    std::weak_ptr<MenuItem> watched = root->submenu()->itemAt(2);
    std::string ranWith;
    watched.lock()->setAction([&](MenuItem& sender) {
        // The old submenu and every item in it go away here.
        root->setSubmenu(styleMenu(*sender.representedObject(), chosen));
        ranWith = *sender.representedObject();
    });

    EXPECT_TRUE(watched.lock()->choose());
    EXPECT_EQ(ranWith, "dotBadge");
    EXPECT_TRUE(watched.expired());
    EXPECT_EQ(root->submenu()->itemAt(2)->state(), MenuItem::State::on);
}

TEST(MenuModel, ReportsEveryVisibleChangeToTheRootObserverOnce)
{
    std::vector<std::string> chosen;
    Menu menu;
    std::vector<Change> changes;
    menu.setObserver([&](Menu& changedMenu, MenuItem* item) { changes.push_back({&changedMenu, item}); });

    auto toggle = MenuItem::make("Toggle");
    menu.addItem(toggle);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].menu, &menu);
    EXPECT_EQ(changes[0].item, nullptr);

    changes.clear();
    toggle->setOn(true);
    toggle->setOn(true);
    toggle->setTitle("Toggle");
    toggle->setTitle("Renamed");
    toggle->setKeyEquivalent("t");
    toggle->setRepresentedObject("x");
    toggle->setRepresentedObject("x");
    ASSERT_EQ(changes.size(), 4u);
    for (const Change& change : changes)
        EXPECT_EQ(change.item, toggle.get());

    changes.clear();
    auto styles = MenuItem::make("Cursor style");
    menu.addItem(styles);
    styles->setSubmenu(styleMenu("system", chosen));
    std::shared_ptr<Menu> firstSubmenu = styles->submenu();
    firstSubmenu->itemAt(0)->setOn(false);
    firstSubmenu->itemAt(1)->setOn(true);
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[1].item, styles.get());
    EXPECT_EQ(changes[2].menu, firstSubmenu.get());
    EXPECT_EQ(changes[3].item, firstSubmenu->itemAt(1).get());

    // A replaced submenu is cut loose: its changes no longer reach the menu.
    changes.clear();
    styles->setSubmenu(styleMenu("dotBadge", chosen));
    firstSubmenu->itemAt(2)->setOn(true);
    firstSubmenu->addItem(MenuItem::make("Late"));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].item, styles.get());
    EXPECT_EQ(firstSubmenu->supermenuItem(), nullptr);

    changes.clear();
    menu.removeItem(*toggle);
    toggle->setOn(false);
    EXPECT_EQ(toggle->menu(), nullptr);
    menu.removeAllItems();
    menu.removeAllItems();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].item, nullptr);
    EXPECT_EQ(menu.numberOfItems(), 0u);
}

TEST(MenuModel, ASubmenuWithItsOwnObserverKeepsItsChangesToItself)
{
    Menu menu;
    auto root = MenuItem::make("Root");
    menu.addItem(root);
    root->setSubmenu(std::make_shared<Menu>());
    int rootChanges = 0, submenuChanges = 0;
    menu.setObserver([&](Menu&, MenuItem*) { ++rootChanges; });
    root->submenu()->setObserver([&](Menu&, MenuItem*) { ++submenuChanges; });
    root->submenu()->addItem(MenuItem::make("Inner"));
    EXPECT_EQ(rootChanges, 0);
    EXPECT_EQ(submenuChanges, 1);
}

TEST(MenuModel, ItemsAndSubmenusBelongToOnePlaceAtATime)
{
    Menu first, second;
    auto item = MenuItem::make("Moved");
    first.addItem(item);
    second.insertItem(item, 99);
    EXPECT_EQ(first.numberOfItems(), 0u);
    EXPECT_EQ(second.indexOfItem(*item), 0u);
    EXPECT_EQ(item->menu(), &second);

    auto front = MenuItem::make("Front");
    second.insertItem(front, 0);
    EXPECT_EQ(titlesOf(second), (std::vector<std::string>{"Front", "Moved"}));

    auto shared = std::make_shared<Menu>();
    front->setSubmenu(shared);
    item->setSubmenu(shared);
    EXPECT_FALSE(front->hasSubmenu());
    EXPECT_EQ(shared->supermenuItem(), item.get());

    // Separators carry no submenu.
    auto separator = MenuItem::separator();
    separator->setSubmenu(std::make_shared<Menu>());
    EXPECT_FALSE(separator->hasSubmenu());
}

TEST(MenuModel, RefusesMenusThatWouldContainThemselves)
{
    auto top = std::make_shared<Menu>();
    auto holder = MenuItem::make("Holder");
    top->addItem(holder);
    auto middle = std::make_shared<Menu>();
    holder->setSubmenu(middle);
    auto inner = MenuItem::make("Inner");
    middle->addItem(inner);

    inner->setSubmenu(top);
    EXPECT_FALSE(inner->hasSubmenu());
    inner->setSubmenu(middle);
    EXPECT_FALSE(inner->hasSubmenu());

    auto looping = MenuItem::make("Looping");
    looping->setSubmenu(top);
    middle->addItem(looping);
    EXPECT_EQ(middle->numberOfItems(), 1u);
    EXPECT_EQ(looping->menu(), nullptr);
}

TEST(MenuModel, ItemsOutliveTheirMenu)
{
    auto item = MenuItem::make("Survivor");
    auto submenu = std::make_shared<Menu>();
    {
        Menu menu;
        menu.addItem(item);
        EXPECT_EQ(item->menu(), &menu);
    }
    EXPECT_EQ(item->menu(), nullptr);
    item->setTitle("Still fine");
    {
        auto owner = MenuItem::make("Owner");
        owner->setSubmenu(submenu);
    }
    EXPECT_EQ(submenu->supermenuItem(), nullptr);
}
