#pragma once

#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "support/dbus/PrivateSessionBus.h"

#include <QImage>

#include <cstdint>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;

// A real GNOME Shell on Wayland for one test, as a user's session runs it
// but headless: a virtual monitor of 1280 x 800, GSettings through dconf on a
// session bus of its own (and a second bus standing in for the system bus,
// without which the shell ends), XWayland, the user's cursor theme pinned.
// The test's home (a TempHome) must be in place before the session starts.
// The pointer and keyboard are driven through the shell's remote desktop
// interface; what the screen shows, pointer included, comes from the shell's
// own screenshots.
class GnomeShellSession {
public:
    struct Options {
        std::string cursorTheme;
        // GNOME's input sources, such as ('xkb', 'us').
        std::vector<std::pair<std::string, std::string>> inputSources;
        // Shell extensions to install into the home and enable, by folder.
        std::vector<std::string> extensionFolders;
    };

    explicit GnomeShellSession(const Options& options);
    ~GnomeShellSession();
    GnomeShellSession(const GnomeShellSession&) = delete;
    GnomeShellSession& operator=(const GnomeShellSession&) = delete;

    static constexpr int width = 1280;
    static constexpr int height = 800;

    // The shell answers, its XWayland display is known and the pointer and
    // keyboard can be driven.
    ::testing::AssertionResult ready() const;

    // What a program started in this session finds in its environment.
    std::map<std::string, std::string> environment() const;
    const std::string& xwaylandDisplay() const { return xwaylandDisplay_; }

    // A GSettings value in GVariant text form, read and written as the
    // gsettings tool does.
    std::string setting(const std::string& schema, const std::string& key) const;
    bool setSetting(const std::string& schema, const std::string& key, const std::string& value) const;

    // Out of the overview, where the shell starts and where it shows a
    // window opened meanwhile; false if it stays.
    bool leaveOverview();
    void movePointer(int x, int y);
    // Presses the keys in order and lets them go in reverse, as a shortcut.
    void pressKeys(const std::vector<unsigned>& keysyms);
    // The whole screen, with or without the pointer drawn on it.
    QImage capture(bool withPointer) const;
    // Pixels near (x, y) that the pointer adds to the screen and whose colour
    // is within a few steps of 0xRRGGBB: a capture against the reference
    // given, or against a capture without the pointer.
    int pointerPixelsNear(int x, int y, std::uint32_t colour, const QImage& reference = {}) const;

private:
    GDBusConnection* bus_ = nullptr;
    PrivateSessionBus sessionBus_;
    PrivateSessionBus systemBus_;
    std::string runtimeFolder_;
    std::string waylandDisplay_;
    std::unique_ptr<ChildProcess> shell_;
    std::string xwaylandDisplay_;
    std::string xwaylandAuthority_;
    std::string remoteSession_;
    std::string shotFolder_;
};
