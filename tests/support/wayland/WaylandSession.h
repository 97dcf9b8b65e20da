#pragma once

#include "support/ChildProcess.h"
#include "support/TarnwickProgram.h"
#include "support/dbus/PrivateSessionBus.h"
#include "support/wayland/VirtualInput.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;

// A real Wayland compositor, headless on a 1280x800 screen, for one test: a
// home, runtime folder and session bus of its own, the tests' pointer and
// keyboard plugged in, and the pointer it draws read back. The compositor and
// every program run inside it run as nobody when the tests run as root, as
// users run them. Every cursor theme the session can see is pinned:
// DMZ-White is the user's, DMZ-Black is there too, and nothing else is
// (XCURSOR_PATH names only the session's folders, so no system default
// stands in for a missing cursor), beside the harness's own probe theme, a
// solid green square. Windows go to the right half of the screen; the
// pointer rests on the bare left half. Where the compositor runs XWayland,
// programs run inside get its display as the compositor hands it to its
// own, and the tests' X connections are let in.
class WaylandSession {
public:
    static constexpr int width = 1280;
    static constexpr int height = 800;

    virtual ~WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    ::testing::AssertionResult ready() const;
    const std::string& home() const { return home_; }
    std::string configHome() const { return home_ + "/.config"; }
    // What programs run inside see.
    const std::map<std::string, std::string>& environment() const { return environment_; }
    // XWayland's display; empty without it.
    std::string xDisplay() const;
    // The test's own connection to the session bus.
    GDBusConnection* bus() const { return bus_; }

    // A program run inside as the session's user.
    std::unique_ptr<ChildProcess> run(std::vector<std::string> command,
                                      const std::map<std::string, std::string>& extraEnvironment = {}) const;
    // The built tarnwick program run inside, logging to the program's log.
    std::unique_ptr<ChildProcess> launch(const TarnwickProgram& program,
                                         const std::vector<std::string>& arguments = {});
    // A file of the session's user, written whole.
    void writeFile(const std::string& path, const std::string& text) const;

    // Waits until a window of the program (its name, in any case) is up, or
    // until none is.
    bool waitForWindow(const std::string& program, bool up = true);
    VirtualInput& input() { return *input_; }
    // Selects the keyboard layout of the index through the desktop, as its
    // switcher does.
    virtual bool switchLayout(unsigned index) = 0;
    // Parks the pointer at a spot of the bare half, after capturing the area
    // around it with the pointer away as the reference; then proves that the
    // compositor's pointer resting there shows a theme set by hand (the
    // probe's), and shows DMZ-White again.
    ::testing::AssertionResult restPointer(int x, int y);
    // Parks the pointer over whatever window is at the spot, the reference
    // captured with the pointer away as for restPointer(); no probe, as the
    // window decides what the pointer shows there.
    void restPointerOver(int x, int y);
    // restPointerOver() a window of XWayland's, once XWayland has the
    // pointer there; false when the compositor never hands it over.
    bool restPointerOverXwayland(int x, int y);
    // Pixels around the resting pointer that differ from the reference and
    // lie within a few steps of the colour (0xRRGGBB) in every channel.
    int pointerPixelsNear(std::uint32_t colour);
    // Pixels of XWayland's own cursor within a few steps of the colour: what
    // an X program under the pointer hands the compositor.
    int xwaylandCursorPixelsNear(std::uint32_t colour) const;
    // Whether the compositor's pointer can be read back from its captures.
    // KWin 6 painting without OpenGL has none; it tells the cursor theme it
    // has loaded instead.
    virtual bool capturesPointer() { return true; }
    virtual std::string loadedTheme() { return ""; }

protected:
    struct Area {
        int x, y, width, height;
    };

    WaylandSession();
    // Starts the compositor inside, then waits until it answers.
    void start(std::vector<std::string> command, const std::map<std::string, std::string>& extraEnvironment,
               const std::function<bool()>& answers);
    void plugInput(const std::string& layouts);
    // A command for the compositor to run once it is up, as a session runs
    // its programs: it leaves the environment the compositor gives them
    // where useXwayland() reads it.
    std::string environmentRecorder() const;
    // Whether XWayland has the pointer at the spot, over a window of its
    // own: the compositor has handed the pointer to an X program there.
    bool xwaylandHasPointerAt(int x, int y) const;
    // Programs run inside get the DISPLAY the compositor gives its own, and
    // XWayland gets the X resources (such as "Xcursor.theme: DMZ-White\n").
    void useXwayland(const std::string& resources = "");
    // XWayland, run as the session's user, makes its socket in
    // /tmp/.X11-unix, which a folder not open to all (1777) refuses.
    static void allowXwayland();
    bool busNameAnswers(const char* name) const;
    // What the compositor has written to its standard error so far.
    std::string compositorOutput() const;
    // The probe's theme and then DMZ-White, each loaded as it is set.
    ::testing::AssertionResult loadsThemesByHand();
    // The area as 0xRRGGBB words, row by row, pointer included.
    virtual std::vector<std::uint32_t> capture(Area area) = 0;
    virtual bool showsWindow(const std::string& program) = 0;
    // Points the compositor's own pointer at a theme by hand.
    virtual void pointTheme(const std::string& name) = 0;

    std::string folder_;
    std::string home_;
    std::string runtime_;
    std::map<std::string, std::string> environment_;

private:
    PrivateSessionBus sessionBus_;
    GDBusConnection* bus_ = nullptr;
    std::unique_ptr<ChildProcess> compositor_;
    bool answered_ = false;
    std::unique_ptr<VirtualInput> input_;
    Area pointerArea_{};
    std::vector<std::uint32_t> reference_;
};
