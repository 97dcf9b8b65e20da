// The C entry points the runtime resolves by name, handed over to the
// provider's single X11WindowServer: the shared ones, then those only an X
// server answers this way.

#include "providers/x11/X11WindowServer.h"

#include <exception>

namespace {

using Server = X11WindowServer;

Server& server()
{
    return X11WindowServer::shared();
}

}

#include "providers/CursorServerExports.inc"

TARNWICK_EXPORT CGSConnectionID CGSMainConnectionID(void)
{
    try {
        return server().mainConnectionID();
    } catch (const std::exception&) {
        return 0;
    }
}

TARNWICK_EXPORT CGSError CGSGetGlobalCursorData(CGSConnectionID connection, void* buffer, int32_t* byteCount,
                                                CGSize* size, CGPoint* hotSpot, int32_t* depth,
                                                int32_t* components, int32_t* bitsPerComponent, int32_t* reserved)
{
    if (reserved)
        *reserved = 0;
    return guarded([&] {
        return server().globalCursorData(connection, buffer, byteCount, size, hotSpot, depth, components,
                                         bitsPerComponent);
    });
}

TARNWICK_EXPORT CGPoint TarnwickMouseLocation(void)
{
    try {
        auto location = server().pointerLocation();
        auto height = server().screenHeight();
        if (!location || !height)
            return {0, 0};
        // Bottom-left origin, y upwards, as the desktop reports it.
        return {location->x, *height - location->y};
    } catch (const std::exception&) {
        return {0, 0};
    }
}

TARNWICK_EXPORT bool TarnwickPrimaryScreenHeight(CGFloat* height)
{
    try {
        auto screen = server().screenHeight();
        if (!screen || !height)
            return false;
        *height = *screen;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

TARNWICK_EXPORT void CGEventPost(CGEventTapLocation, CGEventRef event)
{
    if (CFGetTypeID(event) != CGEventGetTypeID() || CGEventGetType(event) != kCGEventMouseMoved)
        return;
    try {
        server().postMouseMoved(CGEventGetLocation(event));
    } catch (const std::exception&) {
    }
}
