#include "platform/graphics/PngCodec.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <climits>
#include <thread>

namespace PngCodec {

namespace {

constexpr CGBitmapInfo windowServerLayout = kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host;

bool fitsQImage(std::size_t width, std::size_t height)
{
    return width > 0 && height > 0 && width <= INT_MAX && height <= INT_MAX;
}

// Reader limits are whole megabytes; one more than the pixels need leaves
// room for the reader's own rounding.
int allocationLimitMegabytes(std::size_t maxPixelCount)
{
    std::size_t megabytes = maxPixelCount / (1u << 18) + 1;
    return megabytes > INT_MAX ? INT_MAX : static_cast<int>(megabytes);
}

}

std::optional<std::string> encode(CGImageRef image)
{
    if (!image)
        return std::nullopt;
    std::size_t width = CGImageGetWidth(image), height = CGImageGetHeight(image);
    if (!fitsQImage(width, height))
        return std::nullopt;
    QImage pixels(static_cast<int>(width), static_cast<int>(height), QImage::Format_ARGB32_Premultiplied);
    // A 32-bit QImage row is exactly width words, so the copy can fill it directly.
    if (pixels.isNull() || static_cast<std::size_t>(pixels.bytesPerLine()) != width * 4 ||
        !CGImageCopyARGB32Premultiplied(image, reinterpret_cast<uint32_t*>(pixels.bits()), width * height))
        return std::nullopt;

    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // The fastest deflate level that still compresses: about half the time
    // of the default for files a few hundred bytes larger.
    writer.setQuality(80);
    if (!writer.write(pixels))
        return std::nullopt;
    return std::string(file.constData(), static_cast<std::size_t>(file.size()));
}

std::vector<std::optional<std::string>> encodeAll(const std::vector<CGImageRef>& images)
{
    std::vector<std::optional<std::string>> files(images.size());
    // A save of a set encoded before has nothing to encode at all.
    if (images.empty())
        return files;
    auto encodeEvery = [&](std::size_t first, std::size_t step) {
        for (std::size_t i = first; i < images.size(); i += step)
            files[i] = encode(images[i]);
    };
    // A handful of images is not worth a thread.
    constexpr std::size_t imagesPerThread = 8;
    std::size_t threads = std::clamp<std::size_t>(images.size() / imagesPerThread, 1,
                                                  std::max(1u, std::thread::hardware_concurrency()));
    {
        std::vector<std::jthread> helpers;
        for (std::size_t first = 1; first < threads; ++first)
            helpers.emplace_back(encodeEvery, first, threads);
        encodeEvery(0, threads);
    }
    return files;
}

CFRef<CGImageRef> decode(std::string_view bytes, std::size_t maxPixelCount)
{
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    QByteArray file = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    // Only the PNG reader ever sees these bytes, whatever they look like.
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);

    QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return {};
    auto width = static_cast<std::size_t>(size.width()), height = static_cast<std::size_t>(size.height());
    if (width > maxPixelCount / height)
        return {};
    reader.setAllocationLimit(allocationLimitMegabytes(maxPixelCount));

    QImage image;
    if (!reader.read(&image) || image.isNull() || image.size() != size)
        return {};
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    return CFRef<CGImageRef>::adopt(CGImageCreate(width, height, 8, 32, static_cast<std::size_t>(image.bytesPerLine()),
                                                  windowServerLayout, image.constBits(),
                                                  static_cast<std::size_t>(image.sizeInBytes())));
}

CFRef<CGImageRef> asDecoded(CGImageRef image)
{
    std::size_t width = CGImageGetWidth(image), height = CGImageGetHeight(image);
    if (CGImageGetBitmapInfo(image) == windowServerLayout && CGImageGetBytesPerRow(image) == width * 4)
        return CFRef<CGImageRef>::retain(image);
    std::vector<uint32_t> pixels(width * height);
    if (!CGImageCopyARGB32Premultiplied(image, pixels.data(), pixels.size()))
        return {};
    return CFRef<CGImageRef>::adopt(
        CGImageCreate(width, height, 8, 32, width * 4, windowServerLayout, pixels.data(), pixels.size() * 4));
}

}
