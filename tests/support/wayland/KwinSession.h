#pragma once

#include "support/wayland/WaylandSession.h"

#include <optional>

// KWin alone (kwin_wayland --virtual), as KDE Plasma runs it: the user's
// cursor theme and size in kcminputrc, the keyboard layouts in kxkbrc, KWin's
// screenshot and fake-input interfaces open to the tests. The packaged
// binary carries a file capability that a container refuses to honour, so a
// plain copy runs.
class KwinSession : public WaylandSession {
public:
    // layouts: "us,ru,de"
    explicit KwinSession(const std::string& layouts, bool xwayland = false);

    bool switchLayout(unsigned index) override;
    // KWin 6 painting without OpenGL (QPainter) has no screenshots.
    bool capturesPointer() override;
    std::string loadedTheme() override;

protected:
    std::vector<std::uint32_t> capture(Area area) override;
    bool showsWindow(const std::string& program) override;
    void pointTheme(const std::string& name) override;

private:
    void placeWindows();
    std::string callKwin(const char* path, const char* interface, const char* method);

    std::optional<bool> screenshots_;
};
