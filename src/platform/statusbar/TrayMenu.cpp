#include "platform/statusbar/TrayMenu.h"

#include "menu/Menu.h"
#include "menu/MenuItem.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

namespace {

QString actionText(const std::string& title)
{
    // An ampersand in a title is text, not a mnemonic.
    return QString::fromStdString(title).replace(QLatin1Char('&'), QLatin1String("&&"));
}

// The command modifier of the menu's key equivalents is Ctrl here; an
// upper-case letter adds Shift.
QKeySequence shortcut(const std::string& keyEquivalent)
{
    if (keyEquivalent.empty())
        return {};
    QString key = QString::fromStdString(keyEquivalent);
    bool shifted = key.size() == 1 && key[0].isUpper();
    return QKeySequence(QStringLiteral("Ctrl+") + (shifted ? QStringLiteral("Shift+") : QString()) + key.toUpper());
}

}

TrayMenu::TrayMenu(std::shared_ptr<Menu> menu) : menu_(std::move(menu)), root_(std::make_unique<QMenu>())
{
    fill(*root_, *menu_);
    menu_->setObserver([this](Menu& changedMenu, MenuItem* item) { changed(changedMenu, item); });
}

TrayMenu::~TrayMenu()
{
    menu_->setObserver({});
}

void TrayMenu::fill(QMenu& widget, const Menu& menu)
{
    widgets_[&menu] = &widget;
    for (const auto& item : menu.items())
        addEntry(widget, item);
}

void TrayMenu::empty(QMenu& widget)
{
    for (QAction* action : widget.actions()) {
        widget.removeAction(action);
        for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
            if (entry->second.action != action)
                continue;
            if (entry->second.submenuWidget) {
                empty(*entry->second.submenuWidget);
                widgets_.erase(entry->second.submenu);
                entry->second.submenuWidget->deleteLater();
            }
            entries_.erase(entry);
            break;
        }
        // The action may be the one being chosen right now.
        action->deleteLater();
    }
}

void TrayMenu::addEntry(QMenu& widget, const std::shared_ptr<MenuItem>& item)
{
    if (item->isSeparatorItem()) {
        widget.addSeparator();
        return;
    }
    auto* action = new QAction(&widget);
    std::weak_ptr<MenuItem> weakItem = item;
    QObject::connect(action, &QAction::triggered, action, [this, weakItem] { chosen(weakItem); });
    Entry& entry = entries_[item.get()] = Entry{action, nullptr, nullptr};
    refresh(entry, *item);
    widget.addAction(action);
}

void TrayMenu::refresh(Entry& entry, const MenuItem& item)
{
    QAction& action = *entry.action;
    action.setText(actionText(item.title()));
    action.setShortcut(shortcut(item.keyEquivalent()));
    action.setCheckable(item.state() != MenuItem::State::none);
    action.setChecked(item.state() == MenuItem::State::on);
    if (entry.submenu != item.submenu().get())
        showSubmenu(entry, item);
    if (entry.submenuWidget)
        entry.submenuWidget->setTitle(actionText(item.title()));
}

void TrayMenu::showSubmenu(Entry& entry, const MenuItem& item)
{
    if (entry.submenuWidget) {
        empty(*entry.submenuWidget);
        widgets_.erase(entry.submenu);
    }
    entry.submenu = item.submenu().get();
    if (!entry.submenu) {
        entry.action->setMenu(nullptr);
        if (entry.submenuWidget)
            entry.submenuWidget->deleteLater();
        entry.submenuWidget = nullptr;
        return;
    }
    // A replaced submenu is shown in the same Qt menu, so that the tray's
    // exported copy of it stays where it is.
    if (!entry.submenuWidget) {
        entry.submenuWidget = new QMenu(root_.get());
        entry.action->setMenu(entry.submenuWidget);
    }
    fill(*entry.submenuWidget, *entry.submenu);
}

void TrayMenu::changed(Menu& menu, MenuItem* item)
{
    if (item) {
        auto entry = entries_.find(item);
        if (entry != entries_.end())
            refresh(entry->second, *item);
        return;
    }
    auto widget = widgets_.find(&menu);
    if (widget == widgets_.end())
        return;
    QMenu& target = *widget->second;
    empty(target);
    fill(target, menu);
}

void TrayMenu::chosen(const std::weak_ptr<MenuItem>& weakItem)
{
    std::shared_ptr<MenuItem> item = weakItem.lock();
    if (!item)
        return;
    item->choose();
    // Qt flips a checkable entry by itself; the mark is the model's to set.
    auto entry = entries_.find(item.get());
    if (entry != entries_.end())
        entry->second.action->setChecked(item->state() == MenuItem::State::on);
}
