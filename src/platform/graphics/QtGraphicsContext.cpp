#include "platform/graphics/QtGraphicsContext.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/GuiApplication.h"

#include <QFontDatabase>
#include <QFontMetricsF>

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

}

std::unique_ptr<QtGraphicsContext> QtGraphicsContext::create(Bitmap& bitmap)
{
    if (!(bitmap.size().width > 0) || !(bitmap.size().height > 0))
        return nullptr;
    return std::unique_ptr<QtGraphicsContext>(new QtGraphicsContext(bitmap));
}

QtGraphicsContext::QtGraphicsContext(Bitmap& bitmap)
    : image_(reinterpret_cast<uchar*>(bitmap.pixels()), static_cast<int>(bitmap.pixelsWide()),
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
    painter_.save();
    painter_.setPen(Qt::NoPen);
    painter_.setBrush(qtColor(color));
    painter_.drawEllipse(qtRect(rect));
    painter_.restore();
}

void QtGraphicsContext::strokeOval(const Rect& rect, CGFloat lineWidth, const Color& color)
{
    painter_.save();
    painter_.setPen(QPen(qtColor(color), lineWidth));
    painter_.setBrush(Qt::NoBrush);
    painter_.drawEllipse(qtRect(rect));
    painter_.restore();
}

void QtGraphicsContext::drawImage(CGImageRef image, const Rect& rect)
{
    if (!image)
        return;
    QImage source = qtImage(image);
    if (source.isNull())
        return;
    painter_.drawImage(qtRect(rect), source, QRectF(source.rect()));
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
