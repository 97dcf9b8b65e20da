#pragma once

/*
 * Synthetic input events. The program creates them here; the provider that
 * stands for the window server posts them (CGEventPost in
 * runtime/WindowServerFunctions.h).
 */

#include "platform/graphics/cgimage/CFBase.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef const struct CGEventObject* CGEventRef;
typedef const struct CGEventSourceObject* CGEventSourceRef;

typedef uint32_t CGEventType;
#define kCGEventMouseMoved ((CGEventType)5)

typedef uint32_t CGMouseButton;
#define kCGMouseButtonLeft ((CGMouseButton)0)

typedef uint32_t CGEventTapLocation;
#define kCGHIDEventTap ((CGEventTapLocation)0)

CFTypeID CGEventGetTypeID(void);

/* location is in global display coordinates: origin at the top left of the
 * primary screen, y downwards. source must be NULL (no event sources here). */
CGEventRef CGEventCreateMouseEvent(CGEventSourceRef source, CGEventType type, CGPoint location,
                                   CGMouseButton button);

CGEventType CGEventGetType(CGEventRef event);
CGPoint CGEventGetLocation(CGEventRef event);
CGMouseButton CGEventGetMouseButton(CGEventRef event);

#ifdef __cplusplus
}
#endif
