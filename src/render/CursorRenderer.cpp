#include "render/CursorRenderer.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/stockcursors/StockCursor.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace {

// Room added around a cursor image for the badge: beside it (right, or left
// for left-handed use) and below it.
struct Margins {
    CGFloat side;
    CGFloat bottom;
};

Margins canvasMargins(CGSize size, CGFloat diameter, std::optional<CursorTemplate> cursorTemplate,
                      bool isHorizontalResize, bool isVerticalResize, bool isDiagonalResize)
{
    Margins margins{std::max<CGFloat>(0, diameter + 6 - size.width),
                    std::max(0.5 * diameter + 2, diameter + 6 - size.height)};
    if (cursorTemplate == CursorTemplate::iBeam || cursorTemplate == CursorTemplate::pointingHand)
        margins = {diameter + 8, diameter + 12};
    if (isHorizontalResize)
        margins = {std::max(margins.side, diameter + 10), std::max(margins.bottom, diameter + 2)};
    if (isVerticalResize)
        margins = {std::max(margins.side, diameter + 2), std::max(margins.bottom, diameter + 12)};
    if (isDiagonalResize)
        margins = {std::max(margins.side, diameter + 8), std::max(margins.bottom, diameter + 8)};
    return margins;
}

// Whole pixels for a length in pixels: rounded up, at least one (also for a
// length that is not a number), and past the largest bitmap for absurd ones.
std::size_t pixelCount(CGFloat pixels)
{
    if (!(pixels >= 1))
        return 1;
    if (pixels > static_cast<CGFloat>(Bitmap::maximumSide))
        return Bitmap::maximumSide + 1;
    return static_cast<std::size_t>(std::ceil(pixels));
}

// Columns from the left and rows from the top of the pointer's opaque pixels.
struct PixelBounds {
    std::size_t firstColumn, lastColumn, firstRow, lastRow;
};

// Where the alpha byte of a 32-bit pixel sits in memory; none for layouts
// without alpha or of another size.
std::optional<std::size_t> alphaByteOffset(CGImageRef image)
{
    if (CGImageGetBitsPerPixel(image) != 32)
        return std::nullopt;
    std::size_t offset;
    switch (CGImageGetAlphaInfo(image)) {
    case kCGImageAlphaPremultipliedFirst:
    case kCGImageAlphaFirst:
    case kCGImageAlphaNoneSkipFirst:
        offset = 0;
        break;
    case kCGImageAlphaPremultipliedLast:
    case kCGImageAlphaLast:
    case kCGImageAlphaNoneSkipLast:
        offset = 3;
        break;
    default:
        return std::nullopt;
    }
    // A little-endian 32-bit word stores its components back to front: the
    // window server's own cursors keep alpha in their fourth byte.
    if (CGImageGetByteOrderInfo(image) == kCGImageByteOrder32Little)
        offset = 3 - offset;
    return offset;
}

std::optional<PixelBounds> opaquePixelBounds(CGImageRef image)
{
    const std::uint8_t* bytes = CGImageGetBytePointer(image);
    std::size_t width = CGImageGetWidth(image);
    std::size_t height = CGImageGetHeight(image);
    std::size_t bytesPerRow = CGImageGetBytesPerRow(image);
    std::optional<std::size_t> alpha = alphaByteOffset(image);
    if (!bytes || !alpha || width < 1 || height < 1 || bytesPerRow < width * 4 ||
        CGImageGetBytesLength(image) < bytesPerRow * height)
        return std::nullopt;

    std::optional<PixelBounds> bounds;
    for (std::size_t row = 0; row < height; ++row) {
        const std::uint8_t* alphas = bytes + row * bytesPerRow + *alpha;
        std::size_t first = 0;
        while (first < width && alphas[first * 4] == 0)
            ++first;
        if (first == width)
            continue;
        std::size_t last = width - 1;
        while (alphas[last * 4] == 0)
            --last;
        if (!bounds)
            bounds = PixelBounds{first, last, row, row};
        bounds->firstColumn = std::min(bounds->firstColumn, first);
        bounds->lastColumn = std::max(bounds->lastColumn, last);
        bounds->lastRow = row;
    }
    return bounds;
}

// The area the pointer covers on the canvas, where imageRect is where the
// image was drawn; none when that has no area.
std::optional<Rect> pointerBounds(CGImageRef image, const Rect& imageRect)
{
    std::optional<PixelBounds> pixels = opaquePixelBounds(image);
    if (!pixels)
        return std::nullopt;
    CGFloat pointsPerColumn = imageRect.width() / static_cast<CGFloat>(CGImageGetWidth(image));
    CGFloat pointsPerRow = imageRect.height() / static_cast<CGFloat>(CGImageGetHeight(image));
    CGFloat left = imageRect.minX() + pointsPerColumn * static_cast<CGFloat>(pixels->firstColumn);
    CGFloat right = imageRect.minX() + pointsPerColumn * static_cast<CGFloat>(pixels->lastColumn + 1);
    CGFloat top = imageRect.maxY() - pointsPerRow * static_cast<CGFloat>(pixels->firstRow);
    CGFloat bottom = imageRect.maxY() - pointsPerRow * static_cast<CGFloat>(pixels->lastRow + 1);
    Rect bounds = Rect(left, bottom, std::max<CGFloat>(right - left, 1), std::max<CGFloat>(top - bottom, 1))
                      .intersection(imageRect);
    if (bounds.isEmpty())
        return std::nullopt;
    return bounds;
}

// The lower bound wins when the inner rectangle is narrower than the badge.
Rect clampedInto(const Rect& badge, const Rect& inner)
{
    CGFloat x = std::max(inner.minX(), std::min(inner.maxX() - badge.width(), badge.minX()));
    CGFloat y = std::max(inner.minY(), std::min(inner.maxY() - badge.height(), badge.minY()));
    return Rect(x, y, badge.width(), badge.height());
}

// What the badge is placed against: the pointer, grown a little when it is
// thin, or the whole canvas.
Rect referenceBox(const Rect& canvas, const std::optional<Rect>& preferredBounds)
{
    if (!preferredBounds)
        return canvas;
    Rect box = *preferredBounds;
    if (box.width() < 10 || box.height() < 10)
        box = box.insetBy(-2, -2).intersection(canvas);
    return box.isEmpty() ? canvas : box;
}

// Nudges the badge off the pointer: sideways if one step clears it, else one
// step down (up in flipped contexts) and try again, eight times at most.
Rect avoidingOverlap(Rect badge, const Rect& pointer, const Rect& inner, bool flipped, bool isLeftHanded)
{
    CGFloat stepX = (isLeftHanded ? -0.14 : 0.14) * badge.width();
    CGFloat stepY = (flipped ? 0.18 : -0.18) * badge.width();
    for (int pass = 0; pass < 8 && badge.intersects(pointer); ++pass) {
        Rect sideways = clampedInto(badge.offsetBy(stepX, 0), inner);
        if (!sideways.intersects(pointer))
            return sideways;
        badge = clampedInto(badge.offsetBy(0, stepY), inner);
    }
    return badge;
}

// The largest size from 0.54 of the disc down in half points (never starting
// below 7, never going on below 5.5) at which the text fits.
void drawBadgeText(GraphicsContext& context, const std::string& text, const Rect& badge, const Color& color)
{
    CGFloat fontSize = std::max(0.54 * badge.width(), 7.0);
    CGSize size = context.measureText(text, Font::boldSystemFont(fontSize));
    while ((size.width > 0.78 * badge.width() || size.height > 0.72 * badge.height()) && fontSize > 5.5) {
        fontSize -= 0.5;
        size = context.measureText(text, Font::boldSystemFont(fontSize));
    }
    context.drawText(text, Rect(badge.midX() - size.width / 2, badge.midY() - size.height / 2, size.width, size.height),
                     Font::boldSystemFont(fontSize), color);
}

std::string dimensions(std::size_t width, std::size_t height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

}

void CursorRenderer::drawMarker(const CursorMarker& marker, const Rect& canvas,
                                const std::optional<Rect>& preferredBounds, bool isHorizontalResize,
                                bool isVerticalResize, bool isDiagonalResize, bool isLeftHanded)
{
    GraphicsContext* context = GraphicsContext::current();
    Rect inner = canvas.insetBy(0.5, 0.5);
    if (!context || inner.width() <= 4 || inner.height() <= 4)
        return;
    bool flipped = context->isFlipped();
    CGFloat nominal = marker.diameter;
    CGFloat diameter = std::min(std::max(std::min(inner.width(), inner.height()), 10.0), nominal);

    Rect box = referenceBox(canvas, preferredBounds);
    bool narrow = box.width() < 0.75 * box.height() || box.width() < 0.95 * diameter;
    CGFloat gap = std::max(0.09 * diameter, 1.5);

    CGFloat dy = 0.5 * diameter + 2 + (narrow ? 10 : 0) + (isVerticalResize ? 0.5 * nominal : 0) +
                 (isDiagonalResize ? 0.075 * nominal : 0);
    CGFloat y = flipped ? box.minY() + dy : box.minY() - dy;
    CGFloat x;
    if (narrow) {
        x = isLeftHanded ? box.midX() + 0.35 * diameter - diameter - 3 : box.midX() - 0.35 * diameter + 3;
    } else {
        bool plain = !isHorizontalResize && !isVerticalResize && !isDiagonalResize;
        CGFloat extra = (isHorizontalResize ? 5 : 0) + (isDiagonalResize ? 0.075 * nominal : 0) + (plain ? 5 : 0);
        x = isLeftHanded ? box.minX() - gap - extra - diameter : box.maxX() + gap + extra;
    }

    Rect badge = clampedInto(Rect(x, y, diameter, diameter), inner);
    if (preferredBounds)
        badge = avoidingOverlap(badge, *preferredBounds, inner, flipped, isLeftHanded);

    context->fillOval(badge, marker.fillColor);
    if (marker.borderWidth > 0)
        context->strokeOval(badge, marker.borderWidth, marker.borderColor);
    if (marker.text)
        drawBadgeText(*context, *marker.text, badge, marker.textColor);
}

CursorRenderer::DecoratedPayload CursorRenderer::decoratePayload(const CursorSnapshot& snapshot,
                                                                 const std::optional<CursorMarker>& marker,
                                                                 std::optional<CursorTemplate> cursorTemplate,
                                                                 bool isHorizontalResize, bool isVerticalResize,
                                                                 bool isDiagonalResize, bool isLeftHanded)
{
    if (!marker)
        return {snapshot, snapshot.images};

    CGSize size = snapshot.size;
    Margins margins =
        canvasMargins(size, marker->diameter, cursorTemplate, isHorizontalResize, isVerticalResize, isDiagonalResize);
    CGFloat left = isLeftHanded ? margins.side : 0;
    CGSize canvasSize{size.width + margins.side, size.height + margins.bottom};
    Rect canvas({0, 0}, canvasSize);
    Rect imageRect(left, margins.bottom, size.width, size.height);

    DecoratedPayload payload{snapshot, {}};
    payload.snapshot.size = canvasSize;
    payload.snapshot.hotSpot = {snapshot.hotSpot.x + left, snapshot.hotSpot.y};

    for (const CFRef<CGImageRef>& image : snapshot.images) {
        CGFloat pixelsWide = static_cast<CGFloat>(CGImageGetWidth(image.get()));
        CGFloat pixelsHigh = static_cast<CGFloat>(CGImageGetHeight(image.get()));
        CGFloat densityX = size.width > 0 ? pixelsWide / size.width : 1;
        CGFloat densityY = size.height > 0 ? pixelsHigh / size.height : 1;
        auto bitmap = Bitmap::create(pixelCount(canvasSize.width * std::max<CGFloat>(densityX, 1)),
                                     pixelCount(canvasSize.height * std::max<CGFloat>(densityY, 1)));
        if (!bitmap)
            continue;
        bitmap->setSize(canvasSize);
        std::unique_ptr<GraphicsContext> context = GraphicsContext::forBitmap(*bitmap);
        if (!context)
            continue;
        {
            GraphicsContext::CurrentScope scope(*context);
            context->drawImage(image.get(), imageRect);
            drawMarker(*marker, canvas, pointerBounds(image.get(), imageRect), isHorizontalResize, isVerticalResize,
                       isDiagonalResize, isLeftHanded);
        }
        context.reset();
        if (CFRef<CGImageRef> decorated = bitmap->makeImage())
            payload.images.push_back(std::move(decorated));
    }
    return payload;
}

CFRef<CGImageRef> CursorRenderer::render(const StockCursor& cursor, const std::optional<CursorMarker>& marker,
                                         CGFloat scale)
{
    CGSize size = cursor.size();
    auto bitmap = Bitmap::create(pixelCount(scale * size.width), pixelCount(scale * size.height));
    if (!bitmap)
        return {};
    bitmap->setSize(size);
    std::unique_ptr<GraphicsContext> context = GraphicsContext::forBitmap(*bitmap);
    if (!context)
        return {};
    {
        // A new bitmap is already clear, so drawing starts right away.
        GraphicsContext::CurrentScope scope(*context);
        Rect bounds({0, 0}, size);
        context->drawImage(cursor.image(scale).get(), bounds);
        if (marker)
            drawMarker(*marker, bounds, std::nullopt, false, false, false, false);
    }
    context.reset();
    return bitmap->makeImage();
}

std::vector<CFRef<CGImageRef>> CursorRenderer::fallbackImages(CursorTemplate cursorTemplate,
                                                              const std::optional<CursorMarker>& marker)
{
    StockCursor cursor = StockCursor::load(stockShape(cursorTemplate));
    std::vector<CFRef<CGImageRef>> images;
    for (CGFloat scale : {1.0, 2.0, 5.0, 10.0})
        if (CFRef<CGImageRef> image = render(cursor, marker, scale))
            images.push_back(std::move(image));
    return images;
}

CFRef<CGImageRef> CursorRenderer::mirrorHorizontally(CGImageRef image)
{
    std::size_t width = CGImageGetWidth(image);
    std::size_t height = CGImageGetHeight(image);
    if (width < 1 || height < 1) {
        AppLog::error("mirrorHorizontally: invalid dimensions " + dimensions(width, height));
        return {};
    }
    auto bitmap = Bitmap::create(width, height);
    if (!bitmap) {
        AppLog::error("mirrorHorizontally: CGContext creation failed for " + dimensions(width, height));
        return {};
    }
    // Drawing onto a clear bitmap is a copy in its layout, premultiplied.
    std::uint32_t* pixels = bitmap->pixels();
    if (!CGImageCopyARGB32Premultiplied(image, pixels, width * height)) {
        AppLog::error("mirrorHorizontally: CGContext has no data buffer");
        return {};
    }
    for (std::size_t row = 0; row < height; ++row) {
        std::uint32_t* line = pixels + row * width;
        std::reverse(line, line + width);
    }
    CFRef<CGImageRef> mirrored = bitmap->makeImage();
    if (!mirrored) {
        AppLog::error("mirrorHorizontally: makeImage failed");
        return {};
    }
    noteMirrored(mirrored.get());
    return mirrored;
}

void CursorRenderer::noteMirrored(CGImageRef image)
{
    if (AppLog::verboseEnabled())
        AppLog::debug("mirrorHorizontally: success " + dimensions(CGImageGetWidth(image), CGImageGetHeight(image)));
}

CursorSnapshot CursorRenderer::mirrorSnapshot(const CursorSnapshot& snapshot, const ImageMirror& mirrorImage)
{
    CursorSnapshot mirrored = snapshot;
    mirrored.images.clear();
    for (const CFRef<CGImageRef>& image : snapshot.images)
        if (CFRef<CGImageRef> flipped = mirrorImage(image.get()))
            mirrored.images.push_back(std::move(flipped));
    mirrored.hotSpot = {snapshot.size.width - snapshot.hotSpot.x, snapshot.hotSpot.y};
    AppLog::info("mirrorSnapshot: input " + std::to_string(snapshot.images.size()) + " images → mirrored " +
                 std::to_string(mirrored.images.size()) + " images, size=" + LogFormat::number(snapshot.size.width) +
                 "x" + LogFormat::number(snapshot.size.height));
    return mirrored;
}
