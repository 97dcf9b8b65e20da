// The functions the program looks up by name. Which of them a library exports
// is chosen at build time, so that variants of the library can stand for a
// window server that lacks some of them.

#pragma GCC visibility push(default)
#include "platform/provider/WindowServerFunctions.h"
#pragma GCC visibility pop

#include "providers/sim/SimWindowServerModel.h"

#define SIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

[[maybe_unused]] SimWindowServerModel& model()
{
    return SimWindowServerModel::shared();
}

}

#if TARNWICK_SIM_EXPORT_CGS
#define SIM_NAME(function) CGS##function
#include "providers/sim/SimPrefixedExports.inc"
#undef SIM_NAME
#endif

#if TARNWICK_SIM_EXPORT_SLS
#define SIM_NAME(function) SLS##function
#include "providers/sim/SimPrefixedExports.inc"
#undef SIM_NAME
#endif

#if TARNWICK_SIM_EXPORT_CORE_CURSOR
SIM_EXPORT CGSError CoreCursorUnregisterAll(CGSConnectionID connection)
{
    return model().unregisterAll("CoreCursorUnregisterAll", connection);
}

SIM_EXPORT CGSError CoreCursorSet(CGSConnectionID connection, CGSCursorID cursor)
{
    return model().setNumberedCursor("CoreCursorSet", connection, cursor, nullptr);
}

SIM_EXPORT CGSError CoreCursorSetAndReturnSeed(CGSConnectionID connection, CGSCursorID cursor, CGSCursorSeed* seed)
{
    return model().setNumberedCursor("CoreCursorSetAndReturnSeed", connection, cursor, seed);
}

SIM_EXPORT CGSError CoreCursorCopyImages(CGSConnectionID connection, CGSCursorID cursor, CFArrayRef* images,
                                         CGSize* size, CGPoint* hotSpot, uint64_t* frameCount,
                                         CGFloat* frameDuration)
{
    return model().copyNumberedCursorImages("CoreCursorCopyImages", connection, cursor, images, size, hotSpot,
                                            frameCount, frameDuration);
}
#endif

#if TARNWICK_SIM_EXPORT_DESKTOP
SIM_EXPORT CGPoint TarnwickMouseLocation(void)
{
    return model().mouseLocation("TarnwickMouseLocation");
}

SIM_EXPORT bool TarnwickPrimaryScreenHeight(CGFloat* height)
{
    return model().primaryScreenHeight("TarnwickPrimaryScreenHeight", height);
}

SIM_EXPORT void CGEventPost(CGEventTapLocation tap, CGEventRef event)
{
    model().postEvent("CGEventPost", tap, event);
}
#endif
