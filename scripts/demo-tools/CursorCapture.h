#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Xlib's own name for a connection, without its macros (Bool, Status),
// which would break the Qt headers of the files that draw.
typedef struct _XDisplay Display;

// One cursor image as the X server shows it: premultiplied 0xAARRGGBB words,
// row by row. The hash is the program's cursor fingerprint (FNV-1a 64 over
// each word's bytes, little endian), so a capture can be compared with what
// Tarnwick itself logs.
class CursorCapture {
public:
    struct Colour {
        int red, green, blue;
    };

    CursorCapture(int width, int height, std::vector<std::uint32_t> pixels);

    // The cursor on screen now (XFixesGetCursorImage).
    static std::optional<CursorCapture> live(Display* display);
    // The current theme's own image of an X cursor name at the size every
    // client loads it (XCURSOR_THEME and XCURSOR_SIZE, as libXcursor reads them).
    static std::optional<CursorCapture> theme(Display* display, const std::string& name);
    // A PNG written by writePng (or any PNG), back as premultiplied words.
    static std::optional<CursorCapture> readPng(const std::string& path);

    // Straight alpha, rounded to nearest: premultiplying the file's pixels
    // again gives back exactly the captured words.
    bool writePng(const std::string& path) const;

    int width() const { return width_; }
    int height() const { return height_; }
    const std::vector<std::uint32_t>& pixels() const { return pixels_; }
    std::uint64_t hash() const;
    std::string hashText() const;

    // Opaque pixels within a few steps of the colour in every channel: the
    // solid inside of a badge, never the grey shades of a theme arrow.
    int opaquePixelsNear(Colour colour) const;

    static std::uint32_t unpremultiplied(std::uint32_t premultiplied);
    static std::uint32_t premultiplied(std::uint32_t straight);

private:
    int width_;
    int height_;
    std::vector<std::uint32_t> pixels_;
};
