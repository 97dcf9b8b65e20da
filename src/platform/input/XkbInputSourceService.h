#pragma once

#include "platform/input/InputSourceService.h"
#include "platform/input/SourceChangeObservers.h"
#include "platform/input/XkbLayoutRegistry.h"
#include "platform/input/XkbSymbolsName.h"

#include <array>
#include <string>

struct _XDisplay;

// The keyboard groups of an X server as input sources. The selected source is
// the current XKB group; its name is the group's name ("English (US)"), its
// identifier "xkb:" and the group's layout as the keymap's symbols name it
// ("xkb:us", "xkb:de(nodeadkeys)"), its languages those the layout registry
// gives that layout.
//
// One connection stays open for the life of the service. Asking for the
// current source costs one round trip to the server until someone observes
// changes; from then on the group is the one the server's events (read off
// the connection at each query) last reported, and a query makes no round
// trip. The names of the groups are kept until the server reports a new
// keymap.
class XkbInputSourceService : public InputSourceService {
public:
    // An empty display name means $DISPLAY.
    explicit XkbInputSourceService(std::string displayName = {});
    ~XkbInputSourceService() override;
    XkbInputSourceService(const XkbInputSourceService&) = delete;
    XkbInputSourceService& operator=(const XkbInputSourceService&) = delete;

    std::optional<InputSource> currentKeyboardInputSource() override;
    std::shared_ptr<RunLoop::Handle> observeSelectedSourceChanged(std::function<void()> callback) override;

private:
    struct Group {
        std::optional<std::string> name;
        std::optional<std::string> layout;
        std::optional<std::vector<std::string>> languages;
    };
    using Groups = std::array<Group, XkbSymbolsName::maximumGroups>;

    bool connect();
    Groups readGroups();
    void handleEvents(bool readConnection);
    void announceChange();

    std::string displayName_;
    _XDisplay* display_ = nullptr;
    bool connectionFailed_ = false;
    int xkbEventType_ = 0;
    // The group as the server last told it, while events are being read.
    std::optional<unsigned int> group_;
    std::optional<Groups> groups_;
    XkbLayoutRegistry registry_;
    std::shared_ptr<SourceChangeObservers> observers_ = std::make_shared<SourceChangeObservers>();
    std::shared_ptr<RunLoop::Handle> watch_;
};
