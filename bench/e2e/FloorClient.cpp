#include "FloorClient.h"

#include <X11/XKBlib.h>
#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// As large as the program's arrow at 24 px, with an opaque disc below and
// beside the theme's arrow.
constexpr int canvasWidth = 32;
constexpr int canvasHeight = 43;
constexpr int discCentreX = 23, discCentreY = 34, discRadius = 7;

XcursorImage* badgedArrow(const XcursorImage& arrow, std::uint32_t fill)
{
    XcursorImage* image = XcursorImageCreate(canvasWidth, canvasHeight);
    if (!image)
        return nullptr;
    image->xhot = arrow.xhot;
    image->yhot = arrow.yhot;
    for (int y = 0; y < canvasHeight; ++y) {
        for (int x = 0; x < canvasWidth; ++x) {
            int dx = x - discCentreX, dy = y - discCentreY;
            XcursorPixel pixel = 0;
            if (dx * dx + dy * dy <= discRadius * discRadius)
                pixel = 0xFF000000u | fill;
            else if (x < static_cast<int>(arrow.width) && y < static_cast<int>(arrow.height))
                pixel = arrow.pixels[y * arrow.width + x];
            image->pixels[y * canvasWidth + x] = pixel;
        }
    }
    return image;
}

[[noreturn]] void serve(const std::vector<std::uint32_t>& fills, const std::string& theme, int size, int readyFd)
{
    int eventBase = 0, errorBase = 0, major = XkbMajorVersion, minor = XkbMinorVersion, reason = 0;
    Display* display = XkbOpenDisplay(nullptr, &eventBase, &errorBase, &major, &minor, &reason);
    XcursorImage* arrow = XcursorLibraryLoadImage("left_ptr", theme.c_str(), size);
    if (!display || !arrow)
        _exit(1);
    std::vector<XcursorImage*> arrows;
    for (std::uint32_t fill : fills)
        arrows.push_back(badgedArrow(*arrow, fill));
    XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask, XkbGroupStateMask);
    XSync(display, False);
    char ready = 1;
    if (write(readyFd, &ready, 1) != 1)
        _exit(1);
    close(readyFd);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
        if (event.type != eventBase || xkb.any.xkb_type != XkbStateNotify || !(xkb.state.changed & XkbGroupStateMask))
            continue;
        auto group = static_cast<std::size_t>(xkb.state.group);
        if (group >= arrows.size() || !arrows[group])
            continue;
        // Named, so that the next swap by name finds it on screen.
        Cursor cursor = XcursorImageLoadCursor(display, arrows[group]);
        XFixesSetCursorName(display, cursor, "left_ptr");
        XFixesChangeCursorByName(display, cursor, "left_ptr");
        XFreeCursor(display, cursor);
        XFlush(display);
    }
}

}

FloorClient::FloorClient(std::vector<std::uint32_t> fills, const std::string& theme, int size)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        serve(fills, theme, size, fds[1]);
    }
    close(fds[1]);
    pollfd readable{fds[0], POLLIN, 0};
    char answer = 0;
    ready_ = pid_ > 0 && poll(&readable, 1, 10000) == 1 && read(fds[0], &answer, 1) == 1;
    close(fds[0]);
}

FloorClient::~FloorClient()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}
