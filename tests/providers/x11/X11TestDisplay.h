#pragma once

#include "platform/graphics/cgimage/CFArray.h"
#include "platform/graphics/cgimage/CFRef.h"
#include "platform/graphics/cgimage/CGImage.h"

#include <X11/Xlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a test needs around the provider on a private X server: the cursor
// theme the tests rely on, a window of another client whose cursor came from
// the theme (as every running application's did), and what is on screen.

// DMZ-White (installed with the project's packages), else Adwaita, else
// whatever "default" is; exported as XCURSOR_THEME with XCURSOR_SIZE 24.
std::string selectCursorTheme();

struct ScreenCursor {
    int width = 0;
    int height = 0;
    int xHot = 0;
    int yHot = 0;
    unsigned long serial = 0;
    std::vector<std::uint32_t> pixels;
    // The X cursor name the cursor on screen carries, if any.
    std::string name;

    // The pixels as the provider reports them: each word little endian.
    std::vector<std::uint8_t> bytes() const;
};

// The theme's own image of an X cursor name at the tests' size, as
// libXcursor gives it to every application.
std::optional<ScreenCursor> themeCursor(const char* xName);

std::uint64_t fnv1a64(const std::vector<std::uint8_t>& bytes);
std::uint64_t pixelHash(const std::vector<std::uint32_t>& pixels);

// A window of its own client, at the top left of the screen, showing the
// theme cursor of xName; the pointer is moved into it.
class CursorTestWindow {
public:
    // named: the cursor carries its X name, as libXcursor gives it; Qt 6.5
    // and later make theirs through libxcb-cursor, which gives none.
    explicit CursorTestWindow(const char* xName, int size = 200, bool named = true);
    ~CursorTestWindow();
    CursorTestWindow(const CursorTestWindow&) = delete;
    CursorTestWindow& operator=(const CursorTestWindow&) = delete;

    void pointInside();
    // Onto the bare root window, right of every window.
    void pointAtRoot();
    ScreenCursor onScreen();
    Display* display() const { return display_; }

private:
    Display* display_;
    Window window_ = None;
    Cursor cursor_ = None;
    int size_;
};

// The image with a square of opaque magenta painted at its centre, as a
// badge changes a cursor; same size and layout.
CFRef<CGImageRef> decorated(CGImageRef image);
CFRef<CFArrayRef> decoratedList(CFArrayRef images);

// The first frame of an image as premultiplied 0xAARRGGBB words.
std::vector<std::uint32_t> argbPixels(CGImageRef image);
