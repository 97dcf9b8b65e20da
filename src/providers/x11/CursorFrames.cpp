#include "providers/x11/CursorFrames.h"

#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrender.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

// One image sent to the server once and made into a cursor per name, as
// libXcursor makes one: a registration would otherwise send the same pixels
// once for every X name of the cursor. Empty when the server has no ARGB
// cursors or makes none.
std::vector<Cursor> cursorsFromOneUpload(Display* display, XcursorImage& image, std::span<const char* const> names)
{
    XRenderPictFormat* format = XRenderFindStandardFormat(display, PictStandardARGB32);
    if (!format || !XcursorSupportsARGB(display))
        return {};
    Pixmap pixmap = XCreatePixmap(display, DefaultRootWindow(display), image.width, image.height, 32);
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XImage pixels{};
    pixels.width = static_cast<int>(image.width);
    pixels.height = static_cast<int>(image.height);
    pixels.format = ZPixmap;
    pixels.data = reinterpret_cast<char*>(image.pixels);
    pixels.byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    pixels.bitmap_unit = 32;
    pixels.bitmap_bit_order = pixels.byte_order;
    pixels.bitmap_pad = 32;
    pixels.depth = 32;
    pixels.bytes_per_line = pixels.width * 4;
    pixels.bits_per_pixel = 32;
    pixels.red_mask = 0xFF0000;
    pixels.green_mask = 0x00FF00;
    pixels.blue_mask = 0x0000FF;
    XInitImage(&pixels);
    XPutImage(display, pixmap, gc, &pixels, 0, 0, 0, 0, image.width, image.height);
    XFreeGC(display, gc);
    Picture picture = XRenderCreatePicture(display, pixmap, format, 0, nullptr);
    XFreePixmap(display, pixmap);
    std::vector<Cursor> cursors;
    for (const char* name : names) {
        Cursor cursor = XRenderCreateCursor(display, picture, image.xhot, image.yhot);
        if (cursor == None)
            break;
        XFixesSetCursorName(display, cursor, name);
        cursors.push_back(cursor);
    }
    XRenderFreePicture(display, picture);
    return cursors;
}

constexpr double defaultFrameMilliseconds = 50;

// Scales premultiplied pixels by averaging the source area under each target
// pixel, which keeps thin outlines visible when a large image is reduced.
std::vector<std::uint32_t> resample(const std::vector<std::uint32_t>& source, int sourceWidth, int sourceHeight,
                                    int width, int height)
{
    std::vector<std::uint32_t> target(static_cast<std::size_t>(width) * height);
    double xRatio = static_cast<double>(sourceWidth) / width;
    double yRatio = static_cast<double>(sourceHeight) / height;
    for (int ty = 0; ty < height; ++ty) {
        double top = ty * yRatio, bottom = (ty + 1) * yRatio;
        for (int tx = 0; tx < width; ++tx) {
            double left = tx * xRatio, right = (tx + 1) * xRatio;
            std::array<double, 4> sum{};
            double area = 0;
            for (int sy = static_cast<int>(top); sy < std::min<double>(std::ceil(bottom), sourceHeight); ++sy) {
                double coverY = std::min<double>(bottom, sy + 1) - std::max<double>(top, sy);
                for (int sx = static_cast<int>(left); sx < std::min<double>(std::ceil(right), sourceWidth); ++sx) {
                    double cover = coverY * (std::min<double>(right, sx + 1) - std::max<double>(left, sx));
                    std::uint32_t pixel = source[static_cast<std::size_t>(sy) * sourceWidth + sx];
                    for (int c = 0; c < 4; ++c)
                        sum[c] += cover * ((pixel >> (8 * c)) & 0xFF);
                    area += cover;
                }
            }
            std::uint32_t pixel = 0;
            for (int c = 0; c < 4; ++c) {
                auto value = area > 0 ? static_cast<std::uint32_t>(std::lround(sum[c] / area)) : 0u;
                pixel |= std::min<std::uint32_t>(value, 255) << (8 * c);
            }
            target[static_cast<std::size_t>(ty) * width + tx] = pixel;
        }
    }
    return target;
}

bool usable(double value)
{
    return std::isfinite(value) && value > 0;
}

int clampedSide(double value, int largest)
{
    if (!std::isfinite(value))
        return 1;
    return static_cast<int>(std::clamp<double>(std::lround(value), 1, largest));
}

bool usableImage(CFTypeRef value)
{
    if (CFGetTypeID(value) != CGImageGetTypeID())
        return false;
    auto image = static_cast<CGImageRef>(value);
    auto width = CGImageGetWidth(image), height = CGImageGetHeight(image);
    return width > 0 && height > 0 && width <= CursorFrames::largestSourceSide &&
           height <= static_cast<std::size_t>(CursorFrames::largestSourcePixels) / width;
}

std::vector<CGImageRef> imagesOf(CFArrayRef list)
{
    std::vector<CGImageRef> images;
    for (CFIndex i = 0; i < CFArrayGetCount(list); ++i) {
        if (usableImage(CFArrayGetValueAtIndex(list, i)))
            images.push_back(static_cast<CGImageRef>(CFArrayGetValueAtIndex(list, i)));
    }
    return images;
}

CGImageRef bestFit(const std::vector<CGImageRef>& images, int targetWidth)
{
    CGImageRef best = nullptr;
    for (CGImageRef image : images) {
        auto width = CGImageGetWidth(image);
        if (width >= static_cast<std::size_t>(targetWidth) && (!best || width < CGImageGetWidth(best)))
            best = image;
    }
    if (best)
        return best;
    for (CGImageRef image : images) {
        if (!best || CGImageGetWidth(image) > CGImageGetWidth(best))
            best = image;
    }
    return best;
}

// How many frames an image stacks from top to bottom: an image taller than
// the cursor's own proportions (height over width, from its size in points)
// holds its animation frames one below the other.
int framesInStrip(int width, int height, double aspect)
{
    long frameHeight = std::lround(width * aspect);
    if (frameHeight < 1 || height < 2 * frameHeight || height % frameHeight != 0)
        return 1;
    return static_cast<int>(height / frameHeight);
}

std::optional<std::vector<std::uint32_t>> pixelsOf(CGImageRef image)
{
    std::vector<std::uint32_t> pixels(CGImageGetWidth(image) * CGImageGetHeight(image));
    if (!CGImageCopyARGB32Premultiplied(image, pixels.data(), pixels.size()))
        return std::nullopt;
    return pixels;
}

}

std::optional<CursorFrames> CursorFrames::fromRecord(const CursorRecord& record, double scale, Limit limit)
{
    std::vector<CGImageRef> images = imagesOf(record.images.get());
    if (images.empty())
        return std::nullopt;
    CGImageRef first = images.front();
    // A size that says nothing makes the first image's pixels the points.
    double pointsWidth = usable(record.size.width) ? record.size.width : CGImageGetWidth(first);
    double pointsHeight = usable(record.size.height) ? record.size.height : CGImageGetHeight(first);
    if (!usable(scale))
        scale = 1;

    int largestWidth = std::clamp(limit.width, 1, largestCursorSide);
    int largestHeight = std::clamp(limit.height, 1, largestCursorSide);
    double fit = std::min({1.0, largestWidth / (pointsWidth * scale), largestHeight / (pointsHeight * scale)});
    if (!usable(fit))
        fit = 1;

    CursorFrames cursor;
    cursor.width = clampedSide(pointsWidth * scale * fit, largestWidth);
    cursor.height = clampedSide(pointsHeight * scale * fit, largestHeight);
    auto hot = [](double points, double pointsSide, int side) {
        double pixels = std::isfinite(points) ? points * side / pointsSide : 0;
        return static_cast<int>(std::clamp<double>(std::floor(pixels), 0, side - 1));
    };
    cursor.xHot = hot(record.hotSpot.x, pointsWidth, cursor.width);
    cursor.yHot = hot(record.hotSpot.y, pointsHeight, cursor.height);

    CGImageRef best = bestFit(images, cursor.width);
    int bestWidth = static_cast<int>(CGImageGetWidth(best)), bestHeight = static_cast<int>(CGImageGetHeight(best));
    int stripFrames = framesInStrip(bestWidth, bestHeight, pointsHeight / pointsWidth);
    int frameHeight = bestHeight / stripFrames;
    std::vector<CGImageRef> sources = {best};
    // Without a strip, an animation may come as one image per frame.
    if (stripFrames == 1 && record.frameCount > 1) {
        sources.clear();
        for (CGImageRef image : images) {
            if (static_cast<int>(CGImageGetWidth(image)) == bestWidth &&
                static_cast<int>(CGImageGetHeight(image)) == bestHeight)
                sources.push_back(image);
        }
    }
    for (CGImageRef source : sources) {
        auto pixels = pixelsOf(source);
        if (!pixels)
            return std::nullopt;
        for (int frame = 0; frame < stripFrames; ++frame) {
            auto top = pixels->begin() + static_cast<std::ptrdiff_t>(frame) * frameHeight * bestWidth;
            std::vector<std::uint32_t> framePixels(top, top + static_cast<std::ptrdiff_t>(frameHeight) * bestWidth);
            if (bestWidth != cursor.width || frameHeight != cursor.height)
                framePixels = resample(framePixels, bestWidth, frameHeight, cursor.width, cursor.height);
            cursor.frames.push_back(std::move(framePixels));
        }
    }
    if (cursor.frames.size() > 1) {
        double milliseconds = std::isfinite(record.frameDuration) && record.frameDuration > 0
                                  ? record.frameDuration * 1000
                                  : defaultFrameMilliseconds;
        cursor.delayMilliseconds = static_cast<unsigned>(std::clamp<double>(milliseconds, 1, 60000));
    }
    return cursor;
}

bool CursorFrames::hasUsableImage(const CursorRecord& record)
{
    for (CFIndex i = 0; record.images && i < CFArrayGetCount(record.images.get()); ++i) {
        if (usableImage(CFArrayGetValueAtIndex(record.images.get(), i)))
            return true;
    }
    return false;
}

std::optional<CursorFrames> CursorFrames::fromTheme(const XcursorImages& images, int size)
{
    XcursorDim nominal = 0;
    for (int i = 0; i < images.nimage; ++i) {
        XcursorDim candidate = images.images[i]->size;
        if (nominal == 0 || std::abs(static_cast<int>(candidate) - size) < std::abs(static_cast<int>(nominal) - size))
            nominal = candidate;
    }
    CursorFrames cursor;
    for (int i = 0; i < images.nimage; ++i) {
        const XcursorImage& image = *images.images[i];
        if (image.size != nominal)
            continue;
        if (cursor.frames.empty()) {
            cursor.width = static_cast<int>(image.width);
            cursor.height = static_cast<int>(image.height);
            cursor.xHot = static_cast<int>(image.xhot);
            cursor.yHot = static_cast<int>(image.yhot);
            cursor.delayMilliseconds = image.delay;
        } else if (static_cast<int>(image.width) != cursor.width || static_cast<int>(image.height) != cursor.height) {
            continue;
        }
        cursor.frames.emplace_back(image.pixels, image.pixels + image.width * image.height);
    }
    if (cursor.frames.empty())
        return std::nullopt;
    return cursor;
}

Cursor CursorFrames::createCursor(Display* display, const char* name) const
{
    if (!name) {
        std::unique_ptr<XcursorImages, decltype(&XcursorImagesDestroy)> images(toXcursorImages(),
                                                                              XcursorImagesDestroy);
        return images && images->nimage > 0 ? XcursorImagesLoadCursor(display, images.get()) : None;
    }
    const char* names[] = {name};
    std::vector<Cursor> cursors = createCursors(display, names);
    return cursors.empty() ? None : cursors.front();
}

std::vector<Cursor> CursorFrames::createCursors(Display* display, std::span<const char* const> names) const
{
    std::unique_ptr<XcursorImages, decltype(&XcursorImagesDestroy)> images(toXcursorImages(), XcursorImagesDestroy);
    if (!images || images->nimage == 0)
        return {};
    std::vector<Cursor> cursors;
    if (images->nimage == 1 || !XcursorSupportsAnim(display)) {
        cursors = cursorsFromOneUpload(display, *images->images[0], names);
        // A server without ARGB cursors gets libXcursor's own fallback.
        bool fallback = cursors.empty();
        for (std::size_t i = 0; fallback && i < names.size(); ++i) {
            Cursor cursor = XcursorImageLoadCursor(display, images->images[0]);
            if (cursor == None)
                break;
            XFixesSetCursorName(display, cursor, names[i]);
            cursors.push_back(cursor);
        }
    } else {
        std::unique_ptr<XcursorCursors, decltype(&XcursorCursorsDestroy)> frameCursors(
            XcursorImagesLoadCursors(display, images.get()), XcursorCursorsDestroy);
        if (!frameCursors || frameCursors->ncursor != images->nimage)
            return {};
        std::vector<XAnimCursor> animation;
        for (int i = 0; i < images->nimage; ++i)
            animation.push_back({frameCursors->cursors[i], images->images[i]->delay});
        for (const char* name : names) {
            Cursor cursor = XRenderCreateAnimCursor(display, static_cast<int>(animation.size()), animation.data());
            if (cursor == None)
                break;
            XFixesSetCursorName(display, cursor, name);
            cursors.push_back(cursor);
        }
    }
    if (cursors.size() != names.size()) {
        for (Cursor cursor : cursors)
            XFreeCursor(display, cursor);
        return {};
    }
    return cursors;
}

XcursorImages* CursorFrames::toXcursorImages() const
{
    XcursorImages* images = XcursorImagesCreate(static_cast<int>(frames.size()));
    if (!images)
        return nullptr;
    for (const auto& pixels : frames) {
        XcursorImage* image = XcursorImageCreate(width, height);
        if (!image) {
            XcursorImagesDestroy(images);
            return nullptr;
        }
        images->images[images->nimage++] = image;
        image->xhot = static_cast<XcursorDim>(xHot);
        image->yhot = static_cast<XcursorDim>(yHot);
        image->delay = delayMilliseconds;
        std::copy(pixels.begin(), pixels.end(), image->pixels);
    }
    return images;
}

CGImageRef CursorFrames::createImage() const
{
    if (frames.empty())
        return nullptr;
    const auto& pixels = frames.front();
    return CGImageCreate(static_cast<std::size_t>(width), static_cast<std::size_t>(height), 8, 32,
                         static_cast<std::size_t>(width) * 4, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                         pixels.data(), pixels.size() * sizeof(std::uint32_t));
}
