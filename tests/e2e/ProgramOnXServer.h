#pragma once

// GoogleTest before the X headers, which define None, Bool and Status.
#include <gtest/gtest.h>

#include "platform/input/TestKeyboard.h"
#include "providers/x11/X11TestDisplay.h"
#include "support/TarnwickProgram.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"
#include "support/dbus/PrivateSessionBus.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

// Tarnwick as a user runs it on an X11 desktop: a private X server with the
// keyboard layouts us, ru and de, another application's window showing the
// theme's arrow under the pointer, a temporary home and a session bus of its
// own. The program reads the keyboard through XKB and draws through the x11
// provider, as it does by default on such a desktop.
class ProgramOnXServer {
public:
    ProgramOnXServer();
    ProgramOnXServer(const ProgramOnXServer&) = delete;
    ProgramOnXServer& operator=(const ProgramOnXServer&) = delete;

    // Every part is up and the window shows the theme's arrow.
    ::testing::AssertionResult ready() const;

    // Starts the program (the built one unless named); waiting for a line
    // never finds one of an earlier run.
    std::unique_ptr<ChildProcess> launch(const std::map<std::string, std::string>& extraEnvironment = {},
                                         const std::string& program = ChildProcess::programPath());

    // Runs the program once more in the same session and waits for it: the
    // command-line verbs that talk to the running one.
    std::unique_ptr<ChildProcess> command(const std::vector<std::string>& arguments,
                                          const std::string& program = ChildProcess::programPath());

    // Zero-based XKB group: 0 us, 1 ru, 2 de.
    void lockGroup(unsigned int group);
    // The cursor on screen now.
    ScreenCursor live();
    // The theme's own left_ptr at the size every client loads it.
    const ScreenCursor& themeArrow() const { return *arrow_; }
    // On screen exactly: same size, hot spot and pixels.
    bool showsThemeArrow();
    CursorTestWindow& window() { return *window_; }

    const TempHome& home() const { return home_; }
    const std::string& display() const { return server_.display(); }
    const std::string& busAddress() const { return bus_.address(); }

    std::string log() const { return program_.log(); }
    bool waitForLog(const std::string& piece, double seconds = 30) const
    {
        return program_.waitForLog(piece, seconds);
    }

private:
    std::map<std::string, std::string> environment(const std::map<std::string, std::string>& extra) const;

    TempHome home_;
    XvfbServer server_;
    PrivateSessionBus bus_;
    std::string theme_;
    std::unique_ptr<TestKeyboard> keyboard_;
    bool layoutsSet_ = false;
    std::unique_ptr<CursorTestWindow> window_;
    std::optional<ScreenCursor> arrow_;
    TarnwickProgram program_;
};

// An sRGB colour in bytes.
struct Rgb {
    int red, green, blue;
};

// The fill of the letter badge, the style of a fresh home, for a language.
Rgb letterBadgeFill(const std::string& code);

// Opaque pixels within tolerance of the colour in every channel: the solid
// inside of a badge; the grey shades of a theme arrow never match.
int opaquePixelsNear(const ScreenCursor& cursor, Rgb colour, int tolerance = 2);
