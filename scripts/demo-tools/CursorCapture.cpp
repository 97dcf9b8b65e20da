#include "CursorCapture.h"

#include <QImage>

#include <X11/Xcursor/Xcursor.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

std::uint32_t channel(std::uint32_t pixel, int shift)
{
    return (pixel >> shift) & 0xFFu;
}

}

CursorCapture::CursorCapture(int width, int height, std::vector<std::uint32_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels))
{
}

std::optional<CursorCapture> CursorCapture::live(Display* display)
{
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (!image)
        return std::nullopt;
    // The words arrive in unsigned longs; only the low 32 bits carry a pixel.
    std::vector<std::uint32_t> pixels(image->pixels, image->pixels + image->width * image->height);
    CursorCapture capture(image->width, image->height, std::move(pixels));
    XFree(image);
    return capture;
}

std::optional<CursorCapture> CursorCapture::theme(Display* display, const std::string& name)
{
    const char* theme = XcursorGetTheme(display);
    XcursorImage* image = XcursorLibraryLoadImage(name.c_str(), theme ? theme : "default",
                                                  XcursorGetDefaultSize(display));
    if (!image)
        return std::nullopt;
    std::vector<std::uint32_t> pixels(image->pixels, image->pixels + image->width * image->height);
    CursorCapture capture(static_cast<int>(image->width), static_cast<int>(image->height), std::move(pixels));
    XcursorImageDestroy(image);
    return capture;
}

std::optional<CursorCapture> CursorCapture::readPng(const std::string& path)
{
    QImage image;
    if (!image.load(QString::fromStdString(path), "PNG"))
        return std::nullopt;
    image = image.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint32_t> pixels;
    pixels.reserve(static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            pixels.push_back(premultiplied(row[x]));
    }
    return CursorCapture(image.width(), image.height(), std::move(pixels));
}

bool CursorCapture::writePng(const std::string& path) const
{
    // Qt's own conversion approximates the division; exact rounding is what
    // makes the file a lossless record of the capture.
    QImage image(width_, height_, QImage::Format_ARGB32);
    for (int y = 0; y < height_; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < width_; ++x)
            row[x] = unpremultiplied(pixels_[static_cast<std::size_t>(y * width_ + x)]);
    }
    return image.save(QString::fromStdString(path), "PNG");
}

std::uint64_t CursorCapture::hash() const
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::uint32_t pixel : pixels_) {
        for (int shift = 0; shift < 32; shift += 8) {
            hash ^= channel(pixel, shift);
            hash *= 0x100000001b3ULL;
        }
    }
    return hash;
}

std::string CursorCapture::hashText() const
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash()));
    return text;
}

int CursorCapture::opaquePixelsNear(Colour colour) const
{
    constexpr int tolerance = 4;
    auto near = [&](std::uint32_t pixel) {
        return channel(pixel, 24) == 0xFF && std::abs(static_cast<int>(channel(pixel, 16)) - colour.red) <= tolerance &&
               std::abs(static_cast<int>(channel(pixel, 8)) - colour.green) <= tolerance &&
               std::abs(static_cast<int>(channel(pixel, 0)) - colour.blue) <= tolerance;
    };
    return static_cast<int>(std::count_if(pixels_.begin(), pixels_.end(), near));
}

std::uint32_t CursorCapture::unpremultiplied(std::uint32_t pixel)
{
    std::uint32_t alpha = channel(pixel, 24);
    if (alpha == 0)
        return 0;
    std::uint32_t result = alpha << 24;
    for (int shift = 0; shift < 24; shift += 8)
        result |= std::min(255u, (channel(pixel, shift) * 255 + alpha / 2) / alpha) << shift;
    return result;
}

std::uint32_t CursorCapture::premultiplied(std::uint32_t pixel)
{
    std::uint32_t alpha = channel(pixel, 24);
    std::uint32_t result = alpha << 24;
    for (int shift = 0; shift < 24; shift += 8)
        result |= ((channel(pixel, shift) * alpha + 127) / 255) << shift;
    return result;
}
