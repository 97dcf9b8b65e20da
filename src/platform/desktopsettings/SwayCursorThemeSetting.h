#pragma once

#include "platform/desktopsettings/CompositorCursorThemeSetting.h"

// sway's cursor theme for every seat, `seat * xcursor_theme NAME SIZE` over
// its IPC socket. sway before 1.10 keeps drawing its own pointer with the
// theme it had until a pointer device is added to the seat or an output is
// configured; the programs in its windows take the theme as they always do.
class SwayCursorThemeSetting : public CompositorCursorThemeSetting {
public:
    static constexpr const char* keyPrefix = "sway-cursor-theme@";

    explicit SwayCursorThemeSetting(std::string socketPath) : socketPath_(std::move(socketPath)) {}

    std::string backupKey() const override { return keyPrefix + socketPath_; }
    // sway looks for the window under the pointer as it moves, or when told
    // to move it by nothing.
    void lookUnderPointer() override;

protected:
    bool tell(const std::string& name, int size) override;

private:
    std::string socketPath_;
};
