#pragma once

#include <X11/Xlib.h>

#include <string>

// A window of its own client showing a theme cursor, with the pointer moved
// into it, as any application shows the arrow under the pointer. Tarnwick
// replaces cursors by name, so this window's cursor is what it must change.
class DemoWindow {
public:
    DemoWindow(Display* display, const std::string& cursorName);
    ~DemoWindow();
    DemoWindow(const DemoWindow&) = delete;
    DemoWindow& operator=(const DemoWindow&) = delete;

    // Mapped and under the pointer.
    bool shown() const { return shown_; }
    // Serves the window until the process is told to stop or the server goes.
    [[noreturn]] void run();

private:
    static constexpr int side = 240;

    Display* display_;
    Window window_ = None;
    Cursor cursor_ = None;
    bool shown_ = false;
};
