// The C entry points the runtime resolves by name. Each one hands over to the
// provider's single ThemeWindowServer; no C++ exception leaves this file.

#include "providers/theme/ThemeWindowServer.h"

#include <exception>

#define TARNWICK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

ThemeWindowServer& server()
{
    return ThemeWindowServer::shared();
}

template <typename Call>
CGSError guarded(Call call)
{
    try {
        return call();
    } catch (const std::exception&) {
        return ThemeWindowServer::failure;
    }
}

CGSError copyOut(CGSError status, CursorRecord& record, CGSize* size, CGPoint* hotSpot, uint64_t* frameCount,
                 CGFloat* frameDuration, CFArrayRef* images)
{
    if (status != ThemeWindowServer::success)
        return status;
    *size = record.size;
    *hotSpot = record.hotSpot;
    *frameCount = record.frameCount;
    *frameDuration = record.frameDuration;
    *images = static_cast<CFArrayRef>(CFRetain(record.images.get()));
    return status;
}

// A start after a crash puts the user's theme back as soon as the program
// loads the provider, before anything else runs.
__attribute__((constructor)) void recoverAtLoad()
{
    try {
        server();
    } catch (const std::exception&) {
    }
}

}

TARNWICK_EXPORT CGSConnectionID CGSMainConnectionID(void)
{
    return ThemeWindowServer::connectionID;
}

TARNWICK_EXPORT void TarnwickSelectCursorSet(const char* language, const char* style, bool leftHanded)
{
    try {
        server().select(language ? language : "", style ? style : "", leftHanded);
    } catch (const std::exception&) {
    }
}

TARNWICK_EXPORT CGSError CGSRegisterCursorWithImages(CGSConnectionID connection, const char* name, bool, bool,
                                                     CGSize size, CGPoint hotSpot, uint64_t frameCount,
                                                     CGFloat frameDuration, CFArrayRef images, CGSCursorSeed* seed)
{
    if (CFGetTypeID(images) != CFArrayGetTypeID())
        return ThemeWindowServer::illegalArgument;
    return guarded([&] {
        CursorRecord record{size, hotSpot, frameCount, frameDuration, CFRef<CFArrayRef>::retain(images)};
        return server().registerCursor(connection, name, record, seed);
    });
}

TARNWICK_EXPORT CGSError CGSRegisterCursorWithImage(CGSConnectionID connection, const char* name, bool, bool,
                                                    int32_t, CGImageRef image, CGSize size, CGPoint hotSpot,
                                                    CGSCursorSeed* seed, CGFloat, CGFloat)
{
    return guarded([&] { return server().registerSingleImage(connection, name, image, size, hotSpot, seed); });
}

TARNWICK_EXPORT CGSError CGSCopyRegisteredCursorImages(CGSConnectionID connection, const char* name, CGSize* size,
                                                       CGPoint* hotSpot, uint64_t* frameCount,
                                                       CGFloat* frameDuration, CFArrayRef* images)
{
    if (!size || !hotSpot || !frameCount || !frameDuration || !images)
        return ThemeWindowServer::illegalArgument;
    return guarded([&] {
        CursorRecord record;
        CGSError status = server().copyRegistered(connection, name, record);
        return copyOut(status, record, size, hotSpot, frameCount, frameDuration, images);
    });
}

TARNWICK_EXPORT CGSError CoreCursorCopyImages(CGSConnectionID connection, CGSCursorID cursor, CFArrayRef* images,
                                              CGSize* size, CGPoint* hotSpot, uint64_t* frameCount,
                                              CGFloat* frameDuration)
{
    if (!size || !hotSpot || !frameCount || !frameDuration || !images)
        return ThemeWindowServer::illegalArgument;
    return guarded([&] {
        CursorRecord record;
        CGSError status = server().copySystemCursor(connection, cursor, record);
        return copyOut(status, record, size, hotSpot, frameCount, frameDuration, images);
    });
}

TARNWICK_EXPORT CGSError CGSSetRegisteredCursor(CGSConnectionID connection, const char* name, CGSCursorSeed* seed)
{
    return guarded([&] { return server().setRegistered(connection, name, seed); });
}

TARNWICK_EXPORT CGImageRef CGSCreateRegisteredCursorImage(CGSConnectionID connection, const char* name,
                                                          CGPoint* hotSpot)
{
    try {
        return server().createRegisteredImage(connection, name, hotSpot);
    } catch (const std::exception&) {
        return nullptr;
    }
}

TARNWICK_EXPORT const char* CGSCursorNameForSystemCursor(CGSCursorID cursor)
{
    return CursorNameMap::systemCursorName(cursor);
}

// The compositor draws its own cursors; there is no dock to hold one.
TARNWICK_EXPORT void CGSSetDockCursorOverride(CGSConnectionID, bool) {}

TARNWICK_EXPORT CGSError CGSSetSystemDefinedCursor(CGSConnectionID connection, CGSCursorID cursor)
{
    return guarded([&] { return server().setSystemCursor(connection, cursor, nullptr); });
}

TARNWICK_EXPORT void CGSSetSystemDefinedCursorWithSeed(CGSConnectionID connection, CGSCursorID cursor,
                                                       CGSCursorSeed* seed)
{
    guarded([&] { return server().setSystemCursor(connection, cursor, seed); });
}

TARNWICK_EXPORT CGSError CoreCursorSet(CGSConnectionID connection, CGSCursorID cursor)
{
    return guarded([&] { return server().setSystemCursor(connection, cursor, nullptr); });
}

TARNWICK_EXPORT CGSError CoreCursorSetAndReturnSeed(CGSConnectionID connection, CGSCursorID cursor,
                                                    CGSCursorSeed* seed)
{
    if (!seed)
        return ThemeWindowServer::illegalArgument;
    return guarded([&] { return server().setSystemCursor(connection, cursor, seed); });
}

TARNWICK_EXPORT CGSError CGSShowCursor(CGSConnectionID connection)
{
    return guarded([&] { return server().show(connection); });
}

TARNWICK_EXPORT CGSError CGSHideCursor(CGSConnectionID connection)
{
    return guarded([&] { return server().hide(connection); });
}

TARNWICK_EXPORT CGSError CGSGetCursorScale(CGSConnectionID connection, float* scale)
{
    return guarded([&] { return server().scale(connection, scale); });
}

TARNWICK_EXPORT CGSError CGSSetCursorScale(CGSConnectionID connection, float scale)
{
    return guarded([&] { return server().setScale(connection, scale); });
}

TARNWICK_EXPORT CGSError CoreCursorUnregisterAll(CGSConnectionID connection)
{
    return guarded([&] { return server().unregisterAll(connection); });
}

TARNWICK_EXPORT CGSError CGSRemoveRegisteredCursor(CGSConnectionID connection, const char* name, bool)
{
    return guarded([&] { return server().removeRegistered(connection, name); });
}

TARNWICK_EXPORT CGSError CGSGetGlobalCursorDataSize(CGSConnectionID connection, int32_t* byteCount)
{
    return guarded([&] { return server().globalCursorDataSize(connection, byteCount); });
}

TARNWICK_EXPORT CGSError CGSGetGlobalCursorData(CGSConnectionID connection, void* buffer, int32_t* byteCount,
                                                CGSize* size, CGPoint* hotSpot, int32_t* depth,
                                                int32_t* components, int32_t* bitsPerComponent, int32_t* reserved)
{
    if (reserved)
        *reserved = 0;
    if (!depth || !components || !bitsPerComponent)
        return ThemeWindowServer::illegalArgument;
    return guarded([&] {
        CGSError status = server().globalCursorData(connection, buffer, byteCount, size, hotSpot);
        *depth = 32;
        *components = 4;
        *bitsPerComponent = 8;
        return status;
    });
}

TARNWICK_EXPORT CGSCursorSeed CGSCurrentCursorSeed(void)
{
    try {
        return server().currentSeed();
    } catch (const std::exception&) {
        return 0;
    }
}

// A Wayland client learns nothing of the pointer outside its own surfaces.
TARNWICK_EXPORT CGPoint TarnwickMouseLocation(void)
{
    return {0, 0};
}

TARNWICK_EXPORT bool TarnwickPrimaryScreenHeight(CGFloat*)
{
    return false;
}

TARNWICK_EXPORT void CGEventPost(CGEventTapLocation, CGEventRef) {}
