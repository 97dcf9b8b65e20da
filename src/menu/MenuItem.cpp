#include "menu/MenuItem.h"

#include "menu/Menu.h"

std::shared_ptr<MenuItem> MenuItem::make(std::string title, Action action, std::string keyEquivalent)
{
    return std::make_shared<MenuItem>(std::move(title), std::move(action), std::move(keyEquivalent));
}

std::shared_ptr<MenuItem> MenuItem::separator()
{
    return std::shared_ptr<MenuItem>(new MenuItem(SeparatorTag{}));
}

MenuItem::MenuItem(std::string title, Action action, std::string keyEquivalent)
    : title_(std::move(title)), keyEquivalent_(std::move(keyEquivalent)), action_(std::move(action))
{
}

MenuItem::MenuItem(SeparatorTag) : separator_(true) {}

MenuItem::~MenuItem()
{
    if (submenu_)
        submenu_->supermenuItem_ = nullptr;
}

void MenuItem::setTitle(std::string title)
{
    if (title == title_)
        return;
    title_ = std::move(title);
    changed();
}

void MenuItem::setKeyEquivalent(std::string keyEquivalent)
{
    if (keyEquivalent == keyEquivalent_)
        return;
    keyEquivalent_ = std::move(keyEquivalent);
    changed();
}

void MenuItem::setState(State state)
{
    if (state == state_)
        return;
    state_ = state;
    changed();
}

void MenuItem::setRepresentedObject(std::optional<std::string> representedObject)
{
    if (representedObject == representedObject_)
        return;
    representedObject_ = std::move(representedObject);
    changed();
}

void MenuItem::setAction(Action action)
{
    action_ = std::move(action);
}

void MenuItem::setSubmenu(std::shared_ptr<Menu> submenu)
{
    if (submenu == submenu_ || separator_)
        return;
    if (submenu && menu_ && menu_->liesWithin(*submenu))
        return;
    if (submenu && submenu->supermenuItem_) {
        MenuItem& previousOwner = *submenu->supermenuItem_;
        previousOwner.submenu_.reset();
        previousOwner.changed();
    }
    if (submenu_)
        submenu_->supermenuItem_ = nullptr;
    submenu_ = std::move(submenu);
    if (submenu_)
        submenu_->supermenuItem_ = this;
    changed();
}

bool MenuItem::choose()
{
    if (!action_)
        return false;
    // The action may drop the last other reference to this item (a submenu
    // rebuilt from its own entry) or replace the action itself.
    std::shared_ptr<MenuItem> keepAlive = weak_from_this().lock();
    Action action = action_;
    action(*this);
    return true;
}

void MenuItem::changed()
{
    if (menu_)
        menu_->notify(*menu_, this);
}
