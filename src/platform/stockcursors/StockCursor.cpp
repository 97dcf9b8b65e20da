#include "platform/stockcursors/StockCursor.h"

#include "platform/graphics/Bitmap.h"
#include "platform/stockcursors/ThemeCursorFrame.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <X11/Xcursor/Xcursor.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct XcursorImageDeleter {
    void operator()(XcursorImage* image) const { XcursorImageDestroy(image); }
};
using XcursorImagePointer = std::unique_ptr<XcursorImage, XcursorImageDeleter>;

constexpr int defaultNominalSize = 24;
// The largest size a theme is asked for; themes stop well below it.
constexpr int largestNominalSize = 1024;

// Themes name the same shape differently; the first name is the X core one.
const std::vector<std::string>& themeNames(StockCursor::Shape shape)
{
    static const std::vector<std::string> arrow{"left_ptr", "default", "arrow", "top_left_arrow"};
    static const std::vector<std::string> iBeam{"xterm", "text"};
    static const std::vector<std::string> pointingHand{"hand2", "pointer", "hand1"};
    switch (shape) {
    case StockCursor::Shape::iBeam:
        return iBeam;
    case StockCursor::Shape::pointingHand:
        return pointingHand;
    case StockCursor::Shape::arrow:
        break;
    }
    return arrow;
}

std::optional<std::string> userTheme()
{
    const char* theme = std::getenv("XCURSOR_THEME");
    if (!theme || !theme[0])
        return std::nullopt;
    return std::string(theme);
}

int userNominalSize()
{
    const char* text = std::getenv("XCURSOR_SIZE");
    if (!text)
        return defaultNominalSize;
    char* end = nullptr;
    long size = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || size < 1 || size > largestNominalSize)
        return defaultNominalSize;
    return static_cast<int>(size);
}

// Without a theme name, libXcursor looks in the "default" theme and what it
// inherits; it needs no display for any of this.
XcursorImagePointer loadThemeImage(const std::string& name, const std::optional<std::string>& theme, int size)
{
    return XcursorImagePointer(XcursorLibraryLoadImage(name.c_str(), theme ? theme->c_str() : nullptr, size));
}

// Xcursor pixels are already native premultiplied 0xAARRGGBB words; the
// image goes to the top left of the frame of sidePoints at its own density.
CFRef<CGImageRef> framedImageOf(const XcursorImage& image, int sidePoints)
{
    int side = sidePoints * ThemeCursorFrame::pixelsPerPoint(static_cast<int>(image.size));
    std::vector<std::uint32_t> pixels = ThemeCursorFrame::padded(image.pixels, static_cast<int>(image.width),
                                                                 static_cast<int>(image.height), side);
    auto width = static_cast<std::size_t>(side);
    return CFRef<CGImageRef>::adopt(
        CGImageCreate(width, width, 8, 32, width * 4, Bitmap::bitmapInfo, pixels.data(), pixels.size() * 4));
}

// The built-in drawings are laid out in points, y down, at the top left of
// the frame.
constexpr CGFloat drawingSide = ThemeCursorFrame::smallestSide;

struct Drawing {
    QPainterPath outline;
    QColor fill;
    QColor edge;
    CGPoint hotSpot;
};

QPainterPath roundedRect(qreal x, qreal y, qreal width, qreal height, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, width, height), radius, radius);
    return path;
}

Drawing drawing(StockCursor::Shape shape)
{
    switch (shape) {
    case StockCursor::Shape::iBeam: {
        QPainterPath path;
        path.addRect(QRectF(8.5, 3.5, 7, 1.6));
        path.addRect(QRectF(11.2, 3.5, 1.6, 17));
        path.addRect(QRectF(8.5, 18.9, 7, 1.6));
        return {path.simplified(), Qt::black, Qt::white, {12, 12}};
    }
    case StockCursor::Shape::pointingHand: {
        QPainterPath path = roundedRect(7.4, 2, 3.6, 13, 1.8);
        path = path.united(roundedRect(10.6, 8, 3.2, 7, 1.6));
        path = path.united(roundedRect(13.4, 8.8, 3.2, 7, 1.6));
        path = path.united(roundedRect(16.2, 9.8, 3, 7, 1.5));
        path = path.united(roundedRect(7.4, 12, 11.8, 9.5, 3.2));
        QPainterPath thumb;
        thumb.moveTo(7.6, 13.2);
        thumb.lineTo(4.2, 11.6);
        thumb.cubicTo(2.8, 11.0, 2.0, 12.6, 3.2, 13.6);
        thumb.lineTo(8.4, 19.5);
        thumb.closeSubpath();
        path = path.united(thumb);
        return {path.simplified(), Qt::white, Qt::black, {9.2, 2.5}};
    }
    case StockCursor::Shape::arrow:
        break;
    }
    QPainterPath path;
    path.moveTo(5, 3);
    path.lineTo(5, 19.5);
    path.lineTo(9, 15.8);
    path.lineTo(11.8, 22);
    path.lineTo(14.6, 20.8);
    path.lineTo(11.9, 14.8);
    path.lineTo(17.2, 14.8);
    path.closeSubpath();
    return {path, Qt::black, Qt::white, {5, 3}};
}

CFRef<CGImageRef> renderDrawing(StockCursor::Shape shape, CGFloat scale)
{
    auto pixels = static_cast<std::size_t>(std::ceil(drawingSide * scale));
    auto bitmap = Bitmap::create(pixels, pixels);
    if (!bitmap)
        return {};
    QImage target(reinterpret_cast<uchar*>(bitmap->pixels()), static_cast<int>(pixels), static_cast<int>(pixels),
                  static_cast<qsizetype>(bitmap->bytesPerRow()), QImage::Format_ARGB32_Premultiplied);
    Drawing shapeDrawing = drawing(shape);
    QPainter painter(&target);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    // The outline is stroked twice as wide as it shows; the fill then covers
    // its inner half.
    painter.strokePath(shapeDrawing.outline, QPen(shapeDrawing.edge, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(shapeDrawing.outline, shapeDrawing.fill);
    painter.end();
    return bitmap->makeImage();
}

}

StockCursor StockCursor::load(Shape shape)
{
    return StockCursor(shape, userTheme(), userNominalSize());
}

StockCursor::StockCursor(Shape shape, std::optional<std::string> theme, int nominalSize)
    : shape_(shape), theme_(std::move(theme)), nominalSize_(nominalSize),
      pixelsPerPoint_(ThemeCursorFrame::pixelsPerPoint(nominalSize))
{
    for (const std::string& name : themeNames(shape)) {
        XcursorImagePointer themeImage = loadThemeImage(name, theme_, nominalSize_);
        if (!themeImage)
            continue;
        cursorName_ = name;
        pixelsPerPoint_ = ThemeCursorFrame::pixelsPerPoint(static_cast<int>(themeImage->size));
        CGFloat side = ThemeCursorFrame::sideInPoints(static_cast<int>(themeImage->width),
                                                      static_cast<int>(themeImage->height), pixelsPerPoint_);
        size_ = {side, side};
        hotSpot_ = {static_cast<CGFloat>(themeImage->xhot) / pixelsPerPoint_,
                    static_cast<CGFloat>(themeImage->yhot) / pixelsPerPoint_};
        image_ = framedImageOf(*themeImage, static_cast<int>(side));
        return;
    }
    size_ = {drawingSide, drawingSide};
    hotSpot_ = drawing(shape).hotSpot;
    image_ = renderDrawing(shape, pixelsPerPoint_);
}

CFRef<CGImageRef> StockCursor::image() const
{
    return image_;
}

CFRef<CGImageRef> StockCursor::image(CGFloat scale) const
{
    if (!(scale > 0))
        return {};
    if (cursorName_) {
        long wanted = scale == pixelsPerPoint_
                          ? nominalSize_
                          : std::lround(std::min<CGFloat>(ThemeCursorFrame::nominalPointSize * scale, largestNominalSize));
        if (XcursorImagePointer themeImage = loadThemeImage(*cursorName_, theme_, static_cast<int>(std::max(wanted, 1L))))
            return framedImageOf(*themeImage, static_cast<int>(size_.width));
    }
    return renderDrawing(shape_, scale);
}
