#include "DemoWindow.h"

#include <X11/Xcursor/Xcursor.h>

DemoWindow::DemoWindow(Display* display, const std::string& cursorName) : display_(display)
{
    Window root = DefaultRootWindow(display_);
    cursor_ = XcursorLibraryLoadCursor(display_, cursorName.c_str());
    if (cursor_ == None)
        return;
    int screen = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, root, 0, 0, side, side, 0, BlackPixel(display_, screen),
                                  WhitePixel(display_, screen));
    XStoreName(display_, window_, "Tarnwick demo");
    XDefineCursor(display_, window_, cursor_);
    XSelectInput(display_, window_, StructureNotifyMask);
    XMapRaised(display_, window_);
    XEvent event;
    do
        XNextEvent(display_, &event);
    while (event.type != MapNotify);
    XWarpPointer(display_, None, root, 0, 0, 0, 0, side / 2, side / 2);
    XSync(display_, False);
    shown_ = true;
}

DemoWindow::~DemoWindow()
{
    if (window_ != None)
        XDestroyWindow(display_, window_);
    if (cursor_ != None)
        XFreeCursor(display_, cursor_);
    XSync(display_, False);
}

void DemoWindow::run()
{
    XEvent event;
    for (;;)
        XNextEvent(display_, &event);
}
