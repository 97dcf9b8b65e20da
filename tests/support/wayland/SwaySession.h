#pragma once

#include "support/wayland/WaylandSession.h"

// sway (1.7 here) on its headless backend with the pixman renderer: the
// user's cursor theme in its configuration, the tests' virtual keyboard
// with the given layouts, every window floating on the right half. The
// picture is grim's.
class SwaySession : public WaylandSession {
public:
    // layouts: "us,ru,de"
    explicit SwaySession(const std::string& layouts, bool xwayland = false);

    // $SWAYSOCK
    const std::string& socket() { return environment_["SWAYSOCK"]; }

    bool switchLayout(unsigned index) override;

protected:
    std::vector<std::uint32_t> capture(Area area) override;
    bool showsWindow(const std::string& program) override;
    void pointTheme(const std::string& name) override;
};
