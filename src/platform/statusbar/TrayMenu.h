#pragma once

#include <map>
#include <memory>

class Menu;
class MenuItem;
class QAction;
class QMenu;

// Shows a menu tree as Qt menus and keeps them in step with it: titles, key
// equivalents (with Ctrl as the command modifier), marks, separators and
// submenus follow every change of the tree. Choosing an entry runs the
// item's action with the item as the sender.
class TrayMenu {
public:
    explicit TrayMenu(std::shared_ptr<Menu> menu);
    ~TrayMenu();
    TrayMenu(const TrayMenu&) = delete;
    TrayMenu& operator=(const TrayMenu&) = delete;

    const std::shared_ptr<Menu>& menu() const { return menu_; }
    QMenu* qMenu() const { return root_.get(); }

private:
    struct Entry {
        QAction* action;
        // The submenu the entry shows, and the Qt menu that shows it.
        const Menu* submenu;
        QMenu* submenuWidget;
    };

    void fill(QMenu& widget, const Menu& menu);
    void empty(QMenu& widget);
    void addEntry(QMenu& widget, const std::shared_ptr<MenuItem>& item);
    void refresh(Entry& entry, const MenuItem& item);
    void showSubmenu(Entry& entry, const MenuItem& item);
    void changed(Menu& menu, MenuItem* item);
    void chosen(const std::weak_ptr<MenuItem>& item);

    std::shared_ptr<Menu> menu_;
    std::unique_ptr<QMenu> root_;
    std::map<const Menu*, QMenu*> widgets_;
    std::map<const MenuItem*, Entry> entries_;
};
