#include "platform/graphics/cgimage/CGImage.h"

#include "platform/graphics/cgimage/CFObject.h"

#include <stdatomic.h>
#include <string.h>

struct CGImageObject {
    CFObject header;
    size_t width;
    size_t height;
    size_t bitsPerPixel;
    size_t bytesPerRow;
    CGBitmapInfo bitmapInfo;
    /* digest holds its value once digestKnown is set; neither changes again.
     * Ordered so that the bytes stay aligned for the pixel words read from them. */
    atomic_uint digestKnown;
    atomic_uint_least64_t digest;
    uint8_t bytes[];
};

static const struct CGImageObject* imageOf(CGImageRef image)
{
    return (const struct CGImageObject*)CFObjectOfType(image, CFObjectImageTypeID);
}

static bool isValidLayout(size_t bitsPerComponent, size_t bitsPerPixel, CGBitmapInfo bitmapInfo)
{
    if (bitsPerComponent != 8 || (bitmapInfo & ~(kCGBitmapAlphaInfoMask | kCGBitmapByteOrderMask)) != 0)
        return false;
    CGBitmapInfo alpha = bitmapInfo & kCGBitmapAlphaInfoMask;
    CGBitmapInfo order = bitmapInfo & kCGBitmapByteOrderMask;
    if (alpha > kCGImageAlphaNoneSkipFirst)
        return false;
    if (alpha == kCGImageAlphaNone)
        return bitsPerPixel == 24 && order == kCGBitmapByteOrderDefault;
    return bitsPerPixel == 32 &&
           (order == kCGBitmapByteOrderDefault || order == kCGBitmapByteOrder32Little ||
            order == kCGBitmapByteOrder32Big);
}

CFTypeID CGImageGetTypeID(void)
{
    return CFObjectImageTypeID;
}

CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                         size_t bytesPerRow, CGBitmapInfo bitmapInfo, const void* bytes, size_t length)
{
    if (!bytes || width == 0 || height == 0 || !isValidLayout(bitsPerComponent, bitsPerPixel, bitmapInfo))
        return NULL;
    size_t bytesPerPixel = bitsPerPixel / 8;
    if (width > SIZE_MAX / bytesPerPixel || bytesPerRow < width * bytesPerPixel)
        return NULL;
    if (bytesPerRow > (SIZE_MAX - sizeof(struct CGImageObject)) / height)
        return NULL;
    size_t total = bytesPerRow * height;
    if (length < total)
        return NULL;
    struct CGImageObject* image =
        CFObjectAllocate(sizeof(struct CGImageObject) + total, CFObjectImageTypeID, NULL);
    if (!image)
        return NULL;
    image->width = width;
    image->height = height;
    image->bitsPerPixel = bitsPerPixel;
    image->bytesPerRow = bytesPerRow;
    image->bitmapInfo = bitmapInfo;
    atomic_init(&image->digest, 0);
    atomic_init(&image->digestKnown, 0u);
    memcpy(image->bytes, bytes, total);
    return image;
}

size_t CGImageGetWidth(CGImageRef image)
{
    return imageOf(image) ? image->width : 0;
}

size_t CGImageGetHeight(CGImageRef image)
{
    return imageOf(image) ? image->height : 0;
}

size_t CGImageGetBitsPerComponent(CGImageRef image)
{
    return imageOf(image) ? 8 : 0;
}

size_t CGImageGetBitsPerPixel(CGImageRef image)
{
    return imageOf(image) ? image->bitsPerPixel : 0;
}

size_t CGImageGetBytesPerRow(CGImageRef image)
{
    return imageOf(image) ? image->bytesPerRow : 0;
}

CGBitmapInfo CGImageGetBitmapInfo(CGImageRef image)
{
    return imageOf(image) ? image->bitmapInfo : 0;
}

CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image)
{
    return (CGImageAlphaInfo)(CGImageGetBitmapInfo(image) & kCGBitmapAlphaInfoMask);
}

CGImageByteOrderInfo CGImageGetByteOrderInfo(CGImageRef image)
{
    return (CGImageByteOrderInfo)(CGImageGetBitmapInfo(image) & kCGBitmapByteOrderMask);
}

const uint8_t* CGImageGetBytePointer(CGImageRef image)
{
    return imageOf(image) ? image->bytes : NULL;
}

size_t CGImageGetBytesLength(CGImageRef image)
{
    return imageOf(image) ? image->bytesPerRow * image->height : 0;
}

uint64_t CGImageGetBytesDigest(CGImageRef image, CGImageDigestFunction digest)
{
    struct CGImageObject* object = (struct CGImageObject*)imageOf(image);
    if (!object || !digest)
        return 0;
    if (atomic_load_explicit(&object->digestKnown, memory_order_acquire))
        return atomic_load_explicit(&object->digest, memory_order_relaxed);
    /* Two threads may both work it out; they store the same value. */
    uint64_t value = digest(object->bytes, object->bytesPerRow * object->height);
    atomic_store_explicit(&object->digest, value, memory_order_relaxed);
    atomic_store_explicit(&object->digestKnown, 1u, memory_order_release);
    return value;
}

/* The layout whose pixels are native 0xAARRGGBB words, premultiplied. */
static const CGBitmapInfo nativeARGB32Premultiplied = kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host;

static uint32_t premultiply(uint32_t component, uint32_t alpha)
{
    return (component * alpha + 127) / 255;
}

/* One pixel as 0xAARRGGBB, premultiplied. */
static uint32_t argbPremultiplied(const struct CGImageObject* image, const uint8_t* p)
{
    CGImageAlphaInfo alphaInfo = (CGImageAlphaInfo)(image->bitmapInfo & kCGBitmapAlphaInfoMask);
    if (alphaInfo == kCGImageAlphaNone)
        return 0xFF000000u | (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];

    bool little = (image->bitmapInfo & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Little;
    uint32_t word = little ? (uint32_t)p[3] << 24 | (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0]
                           : (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
    bool alphaFirst = alphaInfo == kCGImageAlphaPremultipliedFirst || alphaInfo == kCGImageAlphaFirst ||
                      alphaInfo == kCGImageAlphaNoneSkipFirst;
    uint32_t a = alphaFirst ? word >> 24 : word & 0xFF;
    uint32_t rgb = alphaFirst ? word & 0xFFFFFF : word >> 8;
    if (alphaInfo == kCGImageAlphaNoneSkipFirst || alphaInfo == kCGImageAlphaNoneSkipLast)
        return 0xFF000000u | rgb;
    if (alphaInfo == kCGImageAlphaFirst || alphaInfo == kCGImageAlphaLast) {
        uint32_t r = premultiply(rgb >> 16, a), g = premultiply((rgb >> 8) & 0xFF, a), b = premultiply(rgb & 0xFF, a);
        rgb = r << 16 | g << 8 | b;
    }
    return a << 24 | rgb;
}

bool CGImageCopyARGB32Premultiplied(CGImageRef image, uint32_t* pixels, size_t capacity)
{
    const struct CGImageObject* object = imageOf(image);
    if (!object || !pixels || capacity / object->height < object->width)
        return false;
    size_t bytesPerPixel = object->bitsPerPixel / 8;
    if (object->bitmapInfo == nativeARGB32Premultiplied) {
        /* Already the words asked for: a copy, row by row. */
        for (size_t y = 0; y < object->height; ++y, pixels += object->width)
            memcpy(pixels, object->bytes + y * object->bytesPerRow, object->width * sizeof *pixels);
        return true;
    }
    for (size_t y = 0; y < object->height; ++y) {
        const uint8_t* row = object->bytes + y * object->bytesPerRow;
        for (size_t x = 0; x < object->width; ++x)
            *pixels++ = argbPremultiplied(object, row + x * bytesPerPixel);
    }
    return true;
}
