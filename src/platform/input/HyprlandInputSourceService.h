#pragma once

#include "platform/compositor/HyprlandSocket.h"
#include "platform/input/CompositorInputSourceService.h"

// Hyprland's keyboard layout, that of its main keyboard: the request
// "j/devices" names the active keymap of every keyboard (active_keymap, the
// main one marked "main"), and the event socket tells each keyboard's switch
// as "activelayout>>KEYBOARD,LAYOUT".
class HyprlandInputSourceService : public CompositorInputSourceService {
public:
    explicit HyprlandInputSourceService(std::string instance = HyprlandSocket::instanceFromEnvironment())
        : hyprland_(std::move(instance))
    {
    }

protected:
    void ask() override;
    int subscribe() override;
    bool readEvents() override;

private:
    HyprlandSocket hyprland_;
    UnixSocket events_;
    std::string received_;
};
