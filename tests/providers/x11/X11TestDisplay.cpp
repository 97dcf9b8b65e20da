#include "X11TestDisplay.h"

#include "support/XvfbServer.h"

#include <X11/Xcursor/Xcursor.h>
#include <X11/extensions/Xfixes.h>

#include <cstdlib>

std::string selectCursorTheme()
{
    std::string theme = XvfbServer::cursorTheme();
    setenv("XCURSOR_THEME", theme.c_str(), 1);
    setenv("XCURSOR_SIZE", "24", 1);
    return theme;
}

std::vector<std::uint8_t> ScreenCursor::bytes() const
{
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t pixel : pixels) {
        for (int b = 0; b < 4; ++b)
            bytes.push_back(static_cast<std::uint8_t>(pixel >> (8 * b)));
    }
    return bytes;
}

std::optional<ScreenCursor> themeCursor(const char* xName)
{
    const char* theme = std::getenv("XCURSOR_THEME");
    XcursorImage* image = XcursorLibraryLoadImage(xName, theme ? theme : "default", 24);
    if (!image)
        return std::nullopt;
    ScreenCursor cursor{static_cast<int>(image->width), static_cast<int>(image->height),
                        static_cast<int>(image->xhot), static_cast<int>(image->yhot), 0,
                        std::vector<std::uint32_t>(image->pixels, image->pixels + image->width * image->height), xName};
    XcursorImageDestroy(image);
    return cursor;
}

std::uint64_t fnv1a64(const std::vector<std::uint8_t>& bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::uint8_t byte : bytes) {
        hash ^= byte;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::uint64_t pixelHash(const std::vector<std::uint32_t>& pixels)
{
    return fnv1a64(ScreenCursor{0, 0, 0, 0, 0, pixels, ""}.bytes());
}

CursorTestWindow::CursorTestWindow(const char* xName, int size, bool named)
    : display_(XOpenDisplay(nullptr)), size_(size)
{
    if (!display_)
        return;
    Window root = DefaultRootWindow(display_);
    window_ = XCreateSimpleWindow(display_, root, 0, 0, static_cast<unsigned>(size), static_cast<unsigned>(size), 0,
                                  0, 0);
    if (named) {
        cursor_ = XcursorLibraryLoadCursor(display_, xName);
    } else if (XcursorImages* images =
                   XcursorLibraryLoadImages(xName, XcursorGetTheme(display_), XcursorGetDefaultSize(display_))) {
        // libXcursor names a cursor after the name its images were loaded by.
        std::free(images->name);
        images->name = nullptr;
        cursor_ = XcursorImagesLoadCursor(display_, images);
        XcursorImagesDestroy(images);
    }
    XDefineCursor(display_, window_, cursor_);
    XMapRaised(display_, window_);
    XSync(display_, False);
    pointInside();
}

CursorTestWindow::~CursorTestWindow()
{
    if (!display_)
        return;
    XDestroyWindow(display_, window_);
    if (cursor_ != None)
        XFreeCursor(display_, cursor_);
    XCloseDisplay(display_);
}

void CursorTestWindow::pointInside()
{
    XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, size_ / 2, size_ / 2);
    XSync(display_, False);
}

void CursorTestWindow::pointAtRoot()
{
    XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, size_ + 100, size_ + 100);
    XSync(display_, False);
}

ScreenCursor CursorTestWindow::onScreen()
{
    XFixesCursorImage* image = XFixesGetCursorImage(display_);
    if (!image)
        return {};
    ScreenCursor cursor{image->width, image->height, image->xhot,
                        image->yhot, image->cursor_serial, {},
                        image->name ? image->name : ""};
    for (int i = 0; i < image->width * image->height; ++i)
        cursor.pixels.push_back(static_cast<std::uint32_t>(image->pixels[i]));
    XFree(image);
    return cursor;
}

std::vector<std::uint32_t> argbPixels(CGImageRef image)
{
    std::vector<std::uint32_t> pixels(CGImageGetWidth(image) * CGImageGetHeight(image));
    CGImageCopyARGB32Premultiplied(image, pixels.data(), pixels.size());
    return pixels;
}

CFRef<CGImageRef> decorated(CGImageRef image)
{
    std::size_t width = CGImageGetWidth(image), height = CGImageGetHeight(image);
    std::vector<std::uint32_t> pixels = argbPixels(image);
    for (std::size_t y = height / 2 - height / 8; y <= height / 2 + height / 8; ++y) {
        for (std::size_t x = width / 2 - width / 8; x <= width / 2 + width / 8; ++x)
            pixels[y * width + x] = 0xFFFF00FFu;
    }
    return CFRef<CGImageRef>::adopt(CGImageCreate(width, height, 8, 32, width * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  pixels.data(), pixels.size() * 4));
}

CFRef<CFArrayRef> decoratedList(CFArrayRef images)
{
    std::vector<CFRef<CGImageRef>> owned;
    std::vector<CFTypeRef> values;
    for (CFIndex i = 0; i < CFArrayGetCount(images); ++i) {
        owned.push_back(decorated(static_cast<CGImageRef>(CFArrayGetValueAtIndex(images, i))));
        values.push_back(owned.back().get());
    }
    return CFRef<CFArrayRef>::adopt(CFArrayCreate(values.data(), static_cast<CFIndex>(values.size())));
}
