#pragma once

#include "platform/compositor/HyprlandSocket.h"
#include "platform/desktopsettings/CompositorCursorThemeSetting.h"

// Hyprland's cursor theme, `setcursor NAME SIZE` on its request socket.
class HyprlandCursorThemeSetting : public CompositorCursorThemeSetting {
public:
    static constexpr const char* keyPrefix = "hyprland-cursor-theme@";

    explicit HyprlandCursorThemeSetting(std::string instance) : hyprland_(std::move(instance)) {}

    std::string backupKey() const override { return keyPrefix + hyprland_.instance(); }

protected:
    bool tell(const std::string& name, int size) override;

private:
    HyprlandSocket hyprland_;
};
