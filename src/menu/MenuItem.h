#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

class Menu;

// One entry of the status item's menu: a title, a key equivalent (a single
// lower-case letter used with the command modifier, or empty), a state mark,
// a represented object, an action, and possibly a submenu. A separator is an
// item of its own kind that carries none of these.
//
// Items are shared: the menu that holds one and whoever keeps it for later
// updates. Every change of what the item shows is reported to whoever draws
// the menu (see Menu::setObserver).
class MenuItem : public std::enable_shared_from_this<MenuItem> {
public:
    // none: the item never shows a mark; off and on: a toggle, unchecked or
    // checked.
    enum class State { none, off, on };
    // Runs on the main thread with the chosen item as the sender.
    using Action = std::function<void(MenuItem& sender)>;

    static std::shared_ptr<MenuItem> make(std::string title, Action action = {}, std::string keyEquivalent = {});
    static std::shared_ptr<MenuItem> separator();

    MenuItem(std::string title, Action action, std::string keyEquivalent);
    ~MenuItem();
    MenuItem(const MenuItem&) = delete;
    MenuItem& operator=(const MenuItem&) = delete;

    const std::string& title() const { return title_; }
    void setTitle(std::string title);

    const std::string& keyEquivalent() const { return keyEquivalent_; }
    void setKeyEquivalent(std::string keyEquivalent);

    bool isSeparatorItem() const { return separator_; }

    State state() const { return state_; }
    void setState(State state);
    // A toggle: on when the flag is set, off otherwise.
    void setOn(bool on) { setState(on ? State::on : State::off); }
    bool isOn() const { return state_ == State::on; }

    const std::optional<std::string>& representedObject() const { return representedObject_; }
    void setRepresentedObject(std::optional<std::string> representedObject);

    bool hasAction() const { return static_cast<bool>(action_); }
    void setAction(Action action);

    // Replacing the submenu detaches the previous one; a menu hangs from one
    // item at a time, and a menu that would contain itself is refused.
    const std::shared_ptr<Menu>& submenu() const { return submenu_; }
    void setSubmenu(std::shared_ptr<Menu> submenu);
    bool hasSubmenu() const { return static_cast<bool>(submenu_); }

    // The menu that holds this item, if any.
    Menu* menu() const { return menu_; }

    // What choosing the item in the menu does: runs its action with the item
    // as the sender. False when there is nothing to run (a separator, an
    // item without an action).
    bool choose();

private:
    friend class Menu;
    struct SeparatorTag {};
    explicit MenuItem(SeparatorTag);

    void changed();

    std::string title_;
    std::string keyEquivalent_;
    bool separator_ = false;
    State state_ = State::none;
    std::optional<std::string> representedObject_;
    Action action_;
    std::shared_ptr<Menu> submenu_;
    Menu* menu_ = nullptr;
};
