#include "platform/input/XkbInputSourceService.h"

#include "base/AppLog.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <memory>
#include <poll.h>

namespace {

std::optional<std::string> atomName(Display* display, Atom atom)
{
    if (atom == None)
        return std::nullopt;
    std::unique_ptr<char, decltype(&XFree)> name(XGetAtomName(display, atom), &XFree);
    if (!name)
        return std::nullopt;
    return std::string(name.get());
}

}

XkbInputSourceService::XkbInputSourceService(std::string displayName) : displayName_(std::move(displayName)) {}

XkbInputSourceService::~XkbInputSourceService()
{
    if (watch_)
        watch_->cancel();
    if (display_)
        XCloseDisplay(display_);
}

bool XkbInputSourceService::connect()
{
    if (display_)
        return true;
    if (connectionFailed_)
        return false;
    int eventBase = 0, errorBase = 0, major = XkbMajorVersion, minor = XkbMinorVersion, reason = 0;
    display_ = XkbOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str(), &eventBase, &errorBase, &major,
                              &minor, &reason);
    if (!display_) {
        // Logged once: the detector asks four times a second.
        connectionFailed_ = true;
        AppLog::warn("Input sources: cannot open the X display with XKB (reason=" + std::to_string(reason) +
                     "); there is no keyboard input source");
        return false;
    }
    xkbEventType_ = eventBase;
    XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask, XkbGroupStateMask);
    unsigned int keymapChanges = XkbNewKeyboardNotifyMask | XkbNamesNotifyMask;
    XkbSelectEvents(display_, XkbUseCoreKbd, keymapChanges, keymapChanges);
    XSync(display_, False);
    return true;
}

std::optional<InputSource> XkbInputSourceService::currentKeyboardInputSource()
{
    if (!connect())
        return std::nullopt;
    // What the server has sent is on the connection already: a change made
    // before this query shows without asking. Looking at the socket first
    // costs less than Xlib's attempt to read it, four times a second.
    pollfd connection{ConnectionNumber(display_), POLLIN, 0};
    handleEvents(poll(&connection, 1, 0) != 0);
    if (!group_ || !groups_ || !watch_) {
        XkbStateRec state{};
        if (XkbGetState(display_, XkbUseCoreKbd, &state) != Success)
            return std::nullopt;
        // The reply came after every event the server sent before it, so a
        // new keymap is known by now, and later group changes arrive as events.
        handleEvents(false);
        group_ = state.group;
    }
    if (!groups_) {
        groups_ = readGroups();
        handleEvents(false);
    }
    const Group& group = (*groups_)[*group_ % XkbSymbolsName::maximumGroups];
    InputSource source;
    source.localizedName = group.name;
    if (group.layout)
        source.identifier = "xkb:" + *group.layout;
    source.languages = group.languages;
    return source;
}

XkbInputSourceService::Groups XkbInputSourceService::readGroups()
{
    Groups groups;
    std::unique_ptr<XkbDescRec, void (*)(XkbDescPtr)> keyboard(XkbAllocKeyboard(),
                                                               [](XkbDescPtr k) { XkbFreeKeyboard(k, 0, True); });
    if (!keyboard || XkbGetNames(display_, XkbGroupNamesMask | XkbSymbolsNameMask, keyboard.get()) != Success) {
        AppLog::warn("Input sources: cannot read the XKB group names");
        return groups;
    }
    std::string symbols = atomName(display_, keyboard->names->symbols).value_or("");
    auto layouts = XkbSymbolsName::groupLayouts(symbols, [this](const std::string& name) {
        return registry_.knowsLayout(name);
    });
    for (std::size_t i = 0; i < groups.size(); ++i) {
        groups[i].name = atomName(display_, keyboard->names->groups[i]);
        if (layouts[i].empty())
            continue;
        groups[i].layout = layouts[i];
        groups[i].languages = registry_.languages(layouts[i]);
    }
    AppLog::debug("Input sources: XKB keymap symbols=" + symbols);
    return groups;
}

std::shared_ptr<RunLoop::Handle> XkbInputSourceService::observeSelectedSourceChanged(std::function<void()> callback)
{
    auto registration = observers_->add(std::move(callback));
    if (!watch_ && connect())
        watch_ = RunLoop::main().watchReadable(ConnectionNumber(display_), [this] { handleEvents(true); });
    return registration;
}

// Events wait in Xlib's queue once any reply has been read, where the watch on
// the connection no longer sees them, so every call that talks to the server
// ends here too.
void XkbInputSourceService::handleEvents(bool readConnection)
{
    bool changed = false;
    while (XEventsQueued(display_, readConnection ? QueuedAfterReading : QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type != xkbEventType_)
            continue;
        const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
        if (xkb.any.xkb_type == XkbStateNotify && (xkb.state.changed & XkbGroupStateMask)) {
            group_ = static_cast<unsigned int>(xkb.state.group);
            changed = true;
        } else if (xkb.any.xkb_type == XkbNamesNotify || xkb.any.xkb_type == XkbNewKeyboardNotify) {
            groups_.reset();
            changed = true;
        }
    }
    if (changed)
        announceChange();
}

// Observers hear of it from the main loop, never from inside a query: they
// usually query again. Nobody has asked before the first observer came.
void XkbInputSourceService::announceChange()
{
    if (!watch_)
        return;
    RunLoop::main().post([weakObservers = std::weak_ptr<SourceChangeObservers>(observers_)] {
        if (auto observers = weakObservers.lock())
            observers->notifyAll();
    });
}
