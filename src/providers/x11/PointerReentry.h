#pragma once

#include "providers/x11/X11Connection.h"

#include <functional>

// Makes the window under a resting pointer see the pointer leave and come
// back, so that its toolkit sets its cursor again, loaded from the cursor
// theme the desktop names now. GTK on Wayland sets its cursor only when the
// pointer enters a surface or changes shape, and a compositor shows what a
// client set last, so a new theme alone never reaches a resting pointer.
//
// Through XWayland, a transparent window that takes no focus covers the
// screen until the compositor has moved the pointer onto it, which XWayland
// reports as a motion at the pointer's place, usually within two frames; a
// click in that moment lands on nothing. A compositor that looks for the
// window under the pointer only when asked is asked while the window is
// there and once it is gone.
class PointerReentry {
public:
    PointerReentry() = default;
    PointerReentry(const PointerReentry&) = delete;
    PointerReentry& operator=(const PointerReentry&) = delete;
    ~PointerReentry();

    enum class Outcome {
        entered,
        // The compositor never moved the pointer onto the window.
        missed,
        // No X display (DISPLAY) that takes such a window.
        unavailable,
    };
    Outcome run(const std::function<void()>& lookUnderPointer = [] {});

    // The longest the window stays, and how often the compositor is asked to
    // look meanwhile.
    static constexpr int longestMilliseconds = 100;
    static constexpr int askEveryMilliseconds = 20;

private:
    bool prepare();
    bool waitForPointer(const std::function<void()>& lookUnderPointer);

    X11Connection connection_{X11Connection::Resources::freedOnClose};
    Window window_ = 0;
    bool unusable_ = false;
};
