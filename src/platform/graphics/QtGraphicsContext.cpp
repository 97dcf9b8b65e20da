#include "platform/graphics/QtGraphicsContext.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/GuiApplication.h"

#include <QFontDatabase>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// At 72 dots per inch a font's point is one unit of drawing space; QImage
// rounds its resolution to whole dots per inch, which this meets exactly.
constexpr int dotsPerMeterAt72DotsPerInch = 2835;

QColor qtColor(const Color& color)
{
    Color::RGBA rgba = color.rgba();
    return QColor::fromRgbF(static_cast<float>(rgba.red), static_cast<float>(rgba.green),
                            static_cast<float>(rgba.blue), static_cast<float>(rgba.alpha));
}

// Images in the window server's own layout are drawn from their memory;
// any other layout is converted first.
QImage qtImage(CGImageRef image)
{
    int width = static_cast<int>(CGImageGetWidth(image));
    int height = static_cast<int>(CGImageGetHeight(image));
    if (CGImageGetBitmapInfo(image) == Bitmap::bitmapInfo)
        return QImage(CGImageGetBytePointer(image), width, height, static_cast<qsizetype>(CGImageGetBytesPerRow(image)),
                      QImage::Format_ARGB32_Premultiplied);
    QImage converted(width, height, QImage::Format_ARGB32_Premultiplied);
    if (converted.isNull() ||
        !CGImageCopyARGB32Premultiplied(image, reinterpret_cast<uint32_t*>(converted.bits()),
                                        static_cast<std::size_t>(width) * static_cast<std::size_t>(height)))
        return {};
    return converted;
}

// The share of a pixel, centred at distance from an outline, that lies
// between the distances low and high.
double coverageBetween(double distance, double low, double high)
{
    return std::clamp(std::min(distance + 0.5, high) - std::max(distance - 0.5, low), 0.0, 1.0);
}

// Half the width of an oval with semi-axes a and b at dy from its centre;
// negative where the oval has no width.
double halfChord(double a, double b, double dy)
{
    if (!(a > 0) || !(b > 0) || std::abs(dy) >= b)
        return -1;
    double ratio = dy / b;
    return a * std::sqrt(1 - ratio * ratio);
}

// Both pixels premultiplied; each channel of the destination keeps the share
// the source's alpha leaves, rounded.
std::uint32_t premultipliedSourceOver(std::uint32_t destination, std::uint32_t source)
{
    std::uint32_t alpha = source >> 24;
    if (alpha == 0xFF || destination == 0)
        return source;
    if (alpha == 0)
        return destination;
    std::uint32_t keep = 0xFF - alpha;
    std::uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        std::uint32_t scaled = ((destination >> shift) & 0xFF) * keep + 0x80;
        result |= (((source >> shift) & 0xFF) + ((scaled + (scaled >> 8)) >> 8)) << shift;
    }
    return result;
}

std::uint32_t sourceOver(std::uint32_t destination, const Color::RGBA& colour, double alpha)
{
    double keep = 1 - alpha;
    auto channel = [&](double source, int shift) {
        double value = source * alpha * 255 + ((destination >> shift) & 0xFF) * keep + 0.5;
        return static_cast<std::uint32_t>(std::min(value, 255.0)) << shift;
    };
    return channel(1, 24) | channel(colour.red, 16) | channel(colour.green, 8) | channel(colour.blue, 0);
}

}

std::unique_ptr<QtGraphicsContext> QtGraphicsContext::create(Bitmap& bitmap)
{
    if (!(bitmap.size().width > 0) || !(bitmap.size().height > 0))
        return nullptr;
    return std::unique_ptr<QtGraphicsContext>(new QtGraphicsContext(bitmap));
}

QtGraphicsContext::QtGraphicsContext(Bitmap& bitmap)
    : pixels_(bitmap.pixels()),
      pixelsWide_(static_cast<int>(bitmap.pixelsWide())),
      pixelsHigh_(static_cast<int>(bitmap.pixelsHigh())),
      image_(reinterpret_cast<uchar*>(bitmap.pixels()), static_cast<int>(bitmap.pixelsWide()),
             static_cast<int>(bitmap.pixelsHigh()), static_cast<qsizetype>(bitmap.bytesPerRow()),
             QImage::Format_ARGB32_Premultiplied),
      heightInPoints_(bitmap.size().height)
{
    image_.setDotsPerMeterX(dotsPerMeterAt72DotsPerInch);
    image_.setDotsPerMeterY(dotsPerMeterAt72DotsPerInch);
    painter_.begin(&image_);
    painter_.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    painter_.scale(bitmap.pixelsWide() / bitmap.size().width, bitmap.pixelsHigh() / bitmap.size().height);
}

QtGraphicsContext::~QtGraphicsContext()
{
    painter_.end();
}

QFont QtGraphicsContext::qtFont(const Font& font)
{
    GuiApplication::ensure();
    QFont qtFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    qtFont.setPointSizeF(font.pointSize());
    qtFont.setWeight(font.isBold() ? QFont::Bold : QFont::Normal);
    qtFont.setItalic(false);
    // Outlines as designed: the same text measures the same at every pixel
    // density.
    qtFont.setHintingPreference(QFont::PreferNoHinting);
    return qtFont;
}

void QtGraphicsContext::saveState()
{
    painter_.save();
}

void QtGraphicsContext::restoreState()
{
    painter_.restore();
}

QRectF QtGraphicsContext::qtRect(const Rect& rect) const
{
    return QRectF(rect.minX(), heightInPoints_ - rect.maxY(), rect.width(), rect.height());
}

void QtGraphicsContext::fillRect(const Rect& rect, const Color& color)
{
    painter_.fillRect(qtRect(rect), qtColor(color));
}

void QtGraphicsContext::fillOval(const Rect& rect, const Color& color)
{
    paintOval(rect, color, std::nullopt);
}

void QtGraphicsContext::strokeOval(const Rect& rect, CGFloat lineWidth, const Color& color)
{
    paintOval(rect, color, lineWidth);
}

void QtGraphicsContext::paintOval(const Rect& rect, const Color& color, std::optional<CGFloat> lineWidth)
{
    QTransform toDevice = painter_.deviceTransform();
    QRectF oval = toDevice.mapRect(qtRect(rect));
    double a = oval.width() / 2, b = oval.height() / 2;
    if (!(a > 0) || !(b > 0) || (lineWidth && !(*lineWidth > 0)))
        return;
    double halfLine = lineWidth ? *lineWidth * (std::abs(toDevice.m11()) + std::abs(toDevice.m22())) / 4 : 0;
    double centreX = oval.center().x(), centreY = oval.center().y();
    Color::RGBA rgba = color.rgba();
    double alpha = rgba.alpha * painter_.opacity();

    bool circle = a == b;
    auto paint = [&](std::uint32_t& pixel, double x, double y) {
        // Distance to the outline, negative inside: for other ovals the
        // radius function over the length of its gradient, which is exact
        // for circles too.
        double distance;
        if (circle) {
            double dx = x - centreX, dy = y - centreY;
            distance = std::sqrt(dx * dx + dy * dy) - a;
        } else {
            double u = (x - centreX) / a, v = (y - centreY) / b;
            double radius = std::sqrt(u * u + v * v);
            distance = -std::max(a, b);
            if (radius > 0)
                distance = (radius - 1) * radius / std::sqrt(u * u / (a * a) + v * v / (b * b));
        }
        double coverage = lineWidth ? coverageBetween(distance, -halfLine, halfLine)
                                    : coverageBetween(distance, -std::numeric_limits<double>::infinity(), 0);
        if (coverage > 0)
            pixel = sourceOver(pixel, rgba, alpha * coverage);
    };

    // Only pixels near the outline are measured: per row, those between the
    // oval shrunk and grown by this margin. Pixels inside it are covered
    // whole, and an opaque colour simply replaces what was there.
    double margin = halfLine + 1;
    std::optional<std::uint32_t> opaque;
    if (alpha >= 1)
        opaque = sourceOver(0, rgba, 1);
    auto column = [&](double x) { return std::clamp(static_cast<int>(x), 0, pixelsWide_); };
    int top = std::max(0, static_cast<int>(std::floor(oval.top() - margin)));
    int bottom = std::min(pixelsHigh_, static_cast<int>(std::ceil(oval.bottom() + margin)));
    for (int y = top; y < bottom; ++y) {
        double centreOfRow = y + 0.5;
        double outer = halfChord(a + margin, b + margin, centreOfRow - centreY);
        if (outer < 0)
            continue;
        double inner = halfChord(a - margin, b - margin, centreOfRow - centreY);
        int from = column(std::floor(centreX - outer));
        int to = column(std::ceil(centreX + outer));
        int innerFrom = inner < 0 ? to : std::max(from, column(std::ceil(centreX - inner - 0.5)));
        int innerTo = inner < 0 ? to : std::max(innerFrom, std::min(to, column(std::floor(centreX + inner - 0.5) + 1)));
        std::uint32_t* row = pixels_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(pixelsWide_);
        for (int x = from; x < innerFrom; ++x)
            paint(row[x], x + 0.5, centreOfRow);
        if (!lineWidth && opaque)
            std::fill(row + innerFrom, row + innerTo, *opaque);
        else if (!lineWidth)
            for (int x = innerFrom; x < innerTo; ++x)
                row[x] = sourceOver(row[x], rgba, alpha);
        for (int x = innerTo; x < to; ++x)
            paint(row[x], x + 0.5, centreOfRow);
    }
}

void QtGraphicsContext::drawImage(CGImageRef image, const Rect& rect)
{
    if (!image || blitWhole(image, painter_.deviceTransform().mapRect(qtRect(rect))))
        return;
    QImage source = qtImage(image);
    if (source.isNull())
        return;
    painter_.drawImage(qtRect(rect), source, QRectF(source.rect()));
}

bool QtGraphicsContext::blitWhole(CGImageRef image, const QRectF& target)
{
    std::size_t width = CGImageGetWidth(image), height = CGImageGetHeight(image);
    bool oneToOne = CGImageGetBitmapInfo(image) == Bitmap::bitmapInfo && target.width() == static_cast<qreal>(width) &&
                    target.height() == static_cast<qreal>(height) && target.left() == std::floor(target.left()) &&
                    target.top() == std::floor(target.top());
    if (!oneToOne || painter_.hasClipping() || painter_.opacity() < 1 ||
        painter_.compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    auto left = static_cast<long>(target.left()), top = static_cast<long>(target.top());
    long firstColumn = std::max(0L, -left), lastColumn = std::min<long>(static_cast<long>(width), pixelsWide_ - left);
    long firstRow = std::max(0L, -top), lastRow = std::min<long>(static_cast<long>(height), pixelsHigh_ - top);
    const std::uint8_t* bytes = CGImageGetBytePointer(image);
    std::size_t bytesPerRow = CGImageGetBytesPerRow(image);
    for (long row = firstRow; row < lastRow; ++row) {
        auto source = reinterpret_cast<const std::uint32_t*>(bytes + static_cast<std::size_t>(row) * bytesPerRow);
        std::uint32_t* destination = pixels_ + static_cast<std::size_t>(top + row) * static_cast<std::size_t>(pixelsWide_) + left;
        for (long column = firstColumn; column < lastColumn; ++column)
            destination[column] = premultipliedSourceOver(destination[column], source[column]);
    }
    return true;
}

CGSize QtGraphicsContext::measureText(const std::string& text, const Font& font)
{
    QFontMetricsF metrics(qtFont(font), &image_);
    return {metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height()};
}

void QtGraphicsContext::drawText(const std::string& text, const Rect& rect, const Font& font, const Color& color)
{
    painter_.save();
    painter_.setFont(qtFont(font));
    painter_.setPen(qtColor(color));
    painter_.drawText(qtRect(rect), Qt::AlignCenter | Qt::TextDontClip | Qt::TextSingleLine,
                      QString::fromStdString(text));
    painter_.restore();
}
