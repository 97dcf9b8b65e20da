#pragma once

#include "platform/compositor/SwayIpc.h"
#include "platform/input/CompositorInputSourceService.h"

#include <memory>

// sway's keyboard layout over its IPC socket: get_inputs names the active
// layout of every keyboard (xkb_active_layout_name), and a subscription to
// "input" events tells each switch (change "xkb_layout") and each new
// keymap ("xkb_keymap"). The keyboard followed is the one whose layout
// changed last, at first the first keyboard listed.
class SwayInputSourceService : public CompositorInputSourceService {
public:
    explicit SwayInputSourceService(std::string socketPath = SwayIpc::socketFromEnvironment())
        : socketPath_(std::move(socketPath))
    {
    }

protected:
    void ask() override;
    int subscribe() override;
    bool readEvents() override;

private:
    std::string socketPath_;
    std::unique_ptr<SwayIpc> events_;
};
