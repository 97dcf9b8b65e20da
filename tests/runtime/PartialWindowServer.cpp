#include "PartialWindowServer.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

CFArrayRef returnedList = nullptr;
CGSError singleStatus = 0;
int singleCalls = 0;

const char* const systemCursorNames[] = {"Arrow.One", "dup.ARROW", nullptr, "", "dup.ARROW", "other", "x.arrowy"};

CGSError copyList(CFArrayRef* images, CGSize* size, CGPoint* hotSpot, uint64_t* frameCount, CGFloat* frameDuration)
{
    if (!returnedList)
        return 1000;
    *images = static_cast<CFArrayRef>(CFRetain(returnedList));
    *size = CGSize{32, 32};
    *hotSpot = CGPoint{3, 4};
    *frameCount = 2;
    *frameDuration = 0.5;
    return 0;
}

}

EXPORT void PartialWindowServerSetList(CFArrayRef list)
{
    CFRetain(list);
    CFRelease(returnedList);
    returnedList = list;
}

EXPORT void PartialWindowServerSetSingleStatus(CGSError status)
{
    singleStatus = status;
}

EXPORT int PartialWindowServerSingleCallCount(void)
{
    return singleCalls;
}

EXPORT void PartialWindowServerReset(void)
{
    PartialWindowServerSetList(nullptr);
    singleStatus = 0;
    singleCalls = 0;
}

EXPORT CGSError CGSRegisterCursorWithImage(CGSConnectionID, const char*, bool, bool, int32_t, CGImageRef, CGSize,
                                           CGPoint, CGSCursorSeed* seed, CGFloat, CGFloat)
{
    ++singleCalls;
    *seed = 77;
    return singleStatus;
}

EXPORT CGSError CGSCopyRegisteredCursorImages(CGSConnectionID, const char*, CGSize* size, CGPoint* hotSpot,
                                              uint64_t* frameCount, CGFloat* frameDuration, CFArrayRef* images)
{
    return copyList(images, size, hotSpot, frameCount, frameDuration);
}

EXPORT CGSError CoreCursorCopyImages(CGSConnectionID, CGSCursorID, CFArrayRef* images, CGSize* size, CGPoint* hotSpot,
                                     uint64_t* frameCount, CGFloat* frameDuration)
{
    return copyList(images, size, hotSpot, frameCount, frameDuration);
}

EXPORT const char* CGSCursorNameForSystemCursor(CGSCursorID cursor)
{
    constexpr int count = sizeof systemCursorNames / sizeof systemCursorNames[0];
    return cursor >= 0 && cursor < count ? systemCursorNames[cursor] : nullptr;
}
