#include "platform/graphics/Bitmap.h"

#include <QImage>

#include <new>

std::optional<Bitmap> Bitmap::create(std::size_t pixelsWide, std::size_t pixelsHigh)
{
    if (pixelsWide == 0 || pixelsHigh == 0 || pixelsWide > maximumSide || pixelsHigh > maximumSide ||
        pixelsWide * pixelsHigh > maximumPixelCount)
        return std::nullopt;
    std::unique_ptr<std::uint32_t[]> pixels(new (std::nothrow) std::uint32_t[pixelsWide * pixelsHigh]());
    if (!pixels)
        return std::nullopt;
    return Bitmap(pixelsWide, pixelsHigh, std::move(pixels));
}

std::optional<Bitmap> Bitmap::fromImage(CGImageRef image)
{
    auto bitmap = create(CGImageGetWidth(image), CGImageGetHeight(image));
    if (!bitmap ||
        !CGImageCopyARGB32Premultiplied(image, bitmap->pixels(), bitmap->pixelsWide() * bitmap->pixelsHigh()))
        return std::nullopt;
    return bitmap;
}

Bitmap::Bitmap(std::size_t pixelsWide, std::size_t pixelsHigh, std::unique_ptr<std::uint32_t[]> pixels)
    : pixelsWide_(pixelsWide),
      pixelsHigh_(pixelsHigh),
      size_{static_cast<CGFloat>(pixelsWide), static_cast<CGFloat>(pixelsHigh)},
      pixels_(std::move(pixels))
{
}

CFRef<CGImageRef> Bitmap::makeImage() const
{
    return CFRef<CGImageRef>::adopt(
        CGImageCreate(pixelsWide_, pixelsHigh_, 8, 32, bytesPerRow(), bitmapInfo, pixels_.get(), byteCount()));
}

bool Bitmap::writePNG(const std::string& path) const
{
    QImage image(reinterpret_cast<const uchar*>(pixels_.get()), static_cast<int>(pixelsWide_),
                 static_cast<int>(pixelsHigh_), static_cast<qsizetype>(bytesPerRow()),
                 QImage::Format_ARGB32_Premultiplied);
    return image.save(QString::fromStdString(path), "PNG");
}
