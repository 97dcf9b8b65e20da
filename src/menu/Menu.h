#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class MenuItem;

// An ordered list of menu items; a menu hanging from an item is its submenu.
// The menu tree is plain data: the status bar draws it and keeps in step
// through the observer of the tree's root menu.
class Menu {
public:
    // Called after a change anywhere in the tree below the observed menu:
    // item is the item whose look changed (title, key equivalent, mark,
    // represented object, submenu), or null when items of `menu` were added
    // or removed.
    using Observer = std::function<void(Menu& menu, MenuItem* item)>;

    explicit Menu(std::string title = {});
    ~Menu();
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    const std::string& title() const { return title_; }

    // An item belongs to one menu at a time: adding it here takes it out of
    // the menu that held it before.
    void addItem(std::shared_ptr<MenuItem> item);
    void insertItem(std::shared_ptr<MenuItem> item, std::size_t index);
    void removeItem(const MenuItem& item);
    void removeAllItems();

    const std::vector<std::shared_ptr<MenuItem>>& items() const { return items_; }
    std::size_t numberOfItems() const { return items_.size(); }
    std::shared_ptr<MenuItem> itemAt(std::size_t index) const;
    // The first item of this menu (not its submenus) with that title.
    std::shared_ptr<MenuItem> itemWithTitle(std::string_view title) const;
    std::optional<std::size_t> indexOfItem(const MenuItem& item) const;

    // The item this menu hangs from as its submenu, if any.
    MenuItem* supermenuItem() const { return supermenuItem_; }

    // One observer per menu; it hears about changes in this menu and in every
    // submenu below it that has no observer of its own.
    void setObserver(Observer observer);

private:
    friend class MenuItem;

    void notify(Menu& menu, MenuItem* item);
    // Whether this menu is `outer` or hangs somewhere below it.
    bool liesWithin(const Menu& outer) const;
    bool accepts(const MenuItem& item) const;

    std::string title_;
    std::vector<std::shared_ptr<MenuItem>> items_;
    MenuItem* supermenuItem_ = nullptr;
    Observer observer_;
};
