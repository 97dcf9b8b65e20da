#pragma once

/*
 * Immutable bitmaps: 8 bits per component, 32 bits per pixel with an alpha or
 * padding byte, or 24 bits per pixel without one. An image keeps its own copy
 * of the bytes it was created from.
 */

#include "platform/graphics/cgimage/CFBase.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef const struct CGImageObject* CGImageRef;

typedef uint32_t CGBitmapInfo;

/* Where the alpha component sits and whether colours are premultiplied by it. */
typedef enum CGImageAlphaInfo {
    kCGImageAlphaNone = 0,               /* 24 bits per pixel: R G B */
    kCGImageAlphaPremultipliedLast = 1,  /* R G B A */
    kCGImageAlphaPremultipliedFirst = 2, /* A R G B */
    kCGImageAlphaLast = 3,
    kCGImageAlphaFirst = 4,
    kCGImageAlphaNoneSkipLast = 5,       /* R G B x */
    kCGImageAlphaNoneSkipFirst = 6       /* x R G B */
} CGImageAlphaInfo;

/*
 * Byte order of a 32-bit pixel. The default and 32Big keep the components in
 * memory in the order named by the alpha info; 32Little reverses the four
 * bytes (premultiplied-first with 32Little is B G R A in memory).
 */
typedef enum CGImageByteOrderInfo {
    kCGImageByteOrderDefault = 0,
    kCGImageByteOrder32Little = 2 << 12,
    kCGImageByteOrder32Big = 4 << 12
} CGImageByteOrderInfo;

#define kCGBitmapAlphaInfoMask ((CGBitmapInfo)0x1F)
#define kCGBitmapByteOrderMask ((CGBitmapInfo)0x7000)
#define kCGBitmapByteOrderDefault ((CGBitmapInfo)kCGImageByteOrderDefault)
#define kCGBitmapByteOrder32Little ((CGBitmapInfo)kCGImageByteOrder32Little)
#define kCGBitmapByteOrder32Big ((CGBitmapInfo)kCGImageByteOrder32Big)
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
#define kCGBitmapByteOrder32Host kCGBitmapByteOrder32Big
#else
#define kCGBitmapByteOrder32Host kCGBitmapByteOrder32Little
#endif

CFTypeID CGImageGetTypeID(void);

/*
 * Copies height rows of bytesPerRow bytes from bytes. Returns NULL when the
 * description is not one of the layouts above: width or height 0,
 * bitsPerComponent other than 8, bitsPerPixel other than 32 (24 for
 * kCGImageAlphaNone, which takes only the default byte order), bytesPerRow
 * shorter than a row of pixels, length below bytesPerRow * height, or bytes
 * NULL.
 */
CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                         size_t bytesPerRow, CGBitmapInfo bitmapInfo, const void* bytes, size_t length);

size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
size_t CGImageGetBitsPerComponent(CGImageRef image);
size_t CGImageGetBitsPerPixel(CGImageRef image);
size_t CGImageGetBytesPerRow(CGImageRef image);
CGBitmapInfo CGImageGetBitmapInfo(CGImageRef image);
CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image);
CGImageByteOrderInfo CGImageGetByteOrderInfo(CGImageRef image);

/* The image's own bytes (bytesPerRow * height of them), valid while it lives. */
const uint8_t* CGImageGetBytePointer(CGImageRef image);
size_t CGImageGetBytesLength(CGImageRef image);

/*
 * digest(bytes, length) of the image's own bytes, worked out at the first call
 * and kept: an image never changes, and a hash of its pixels is asked for at
 * every switch. Every caller must pass the same function. 0 for NULL.
 */
typedef uint64_t (*CGImageDigestFunction)(const uint8_t* bytes, size_t length);
uint64_t CGImageGetBytesDigest(CGImageRef image, CGImageDigestFunction digest);

/*
 * Writes width * height pixels, row after row without padding, as native
 * 32-bit words 0xAARRGGBB with premultiplied colour: the layout of Xcursor
 * images and of QImage::Format_ARGB32_Premultiplied. Returns false (writing
 * nothing) for NULL or when capacity is below width * height.
 */
bool CGImageCopyARGB32Premultiplied(CGImageRef image, uint32_t* pixels, size_t capacity);

#ifdef __cplusplus
}
#endif
