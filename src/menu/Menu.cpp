#include "menu/Menu.h"

#include "menu/MenuItem.h"

#include <algorithm>

Menu::Menu(std::string title) : title_(std::move(title)) {}

Menu::~Menu()
{
    for (auto& item : items_)
        item->menu_ = nullptr;
}

void Menu::addItem(std::shared_ptr<MenuItem> item)
{
    insertItem(std::move(item), items_.size());
}

void Menu::insertItem(std::shared_ptr<MenuItem> item, std::size_t index)
{
    if (!item || !accepts(*item))
        return;
    if (item->menu_)
        item->menu_->removeItem(*item);
    item->menu_ = this;
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(std::min(index, items_.size())), std::move(item));
    notify(*this, nullptr);
}

void Menu::removeItem(const MenuItem& item)
{
    auto found = std::find_if(items_.begin(), items_.end(), [&](const auto& held) { return held.get() == &item; });
    if (found == items_.end())
        return;
    (*found)->menu_ = nullptr;
    items_.erase(found);
    notify(*this, nullptr);
}

void Menu::removeAllItems()
{
    if (items_.empty())
        return;
    for (auto& item : items_)
        item->menu_ = nullptr;
    items_.clear();
    notify(*this, nullptr);
}

std::shared_ptr<MenuItem> Menu::itemAt(std::size_t index) const
{
    return index < items_.size() ? items_[index] : nullptr;
}

std::shared_ptr<MenuItem> Menu::itemWithTitle(std::string_view title) const
{
    for (const auto& item : items_)
        if (!item->isSeparatorItem() && item->title() == title)
            return item;
    return nullptr;
}

std::optional<std::size_t> Menu::indexOfItem(const MenuItem& item) const
{
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == &item)
            return i;
    return std::nullopt;
}

void Menu::setObserver(Observer observer)
{
    observer_ = std::move(observer);
}

void Menu::notify(Menu& menu, MenuItem* item)
{
    if (observer_) {
        // A copy, so that an observer that replaces itself finishes safely.
        Observer observer = observer_;
        observer(menu, item);
    } else if (supermenuItem_ && supermenuItem_->menu_) {
        supermenuItem_->menu_->notify(menu, item);
    }
}

bool Menu::liesWithin(const Menu& outer) const
{
    for (const Menu* menu = this; menu; menu = menu->supermenuItem_ ? menu->supermenuItem_->menu_ : nullptr)
        if (menu == &outer)
            return true;
    return false;
}

bool Menu::accepts(const MenuItem& item) const
{
    // An item whose submenu holds this menu would make the tree a loop.
    return !item.submenu_ || !liesWithin(*item.submenu_);
}
