// The C entry points the runtime resolves by name, handed over to the
// provider's single ThemeWindowServer: the shared ones, then those a Wayland
// desktop answers in its own way.

#include "providers/theme/ThemeWindowServer.h"

#include <exception>

namespace {

using Server = ThemeWindowServer;

Server& server()
{
    return ThemeWindowServer::shared();
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

#include "providers/CursorServerExports.inc"

TARNWICK_EXPORT CGSConnectionID CGSMainConnectionID(void)
{
    return Server::connectionID;
}

TARNWICK_EXPORT void TarnwickSelectCursorSet(const char* language, const char* style, bool leftHanded)
{
    try {
        server().select(language ? language : "", style ? style : "", leftHanded);
    } catch (const std::exception&) {
    }
}

TARNWICK_EXPORT CGSError CGSGetGlobalCursorData(CGSConnectionID connection, void* buffer, int32_t* byteCount,
                                                CGSize* size, CGPoint* hotSpot, int32_t* depth,
                                                int32_t* components, int32_t* bitsPerComponent, int32_t* reserved)
{
    if (reserved)
        *reserved = 0;
    if (!depth || !components || !bitsPerComponent)
        return Server::illegalArgument;
    return guarded([&] {
        CGSError status = server().globalCursorData(connection, buffer, byteCount, size, hotSpot);
        *depth = 32;
        *components = 4;
        *bitsPerComponent = 8;
        return status;
    });
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
