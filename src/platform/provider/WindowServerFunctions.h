#pragma once

/*
 * The window server's cursor functions as the runtime looks them up by name.
 * A provider library exports each function under one or both of its names
 * (the older CGS prefix and the newer SLS prefix; the four CoreCursor
 * functions have one name each), with C linkage and exactly these parameter
 * orders. The runtime never links against them: it finds them with dlsym.
 *
 * Conventions shared by every provider:
 * - status codes are 0 for success; any other value is a failure;
 * - names are NUL-terminated UTF-8 strings that the caller owns for the call;
 * - an image or list returned through a Create or Copy function carries one
 *   reference for the caller; images and lists handed in are borrowed and a
 *   provider that keeps them retains them (platform/graphics/cgimage);
 * - out-pointers are never NULL when the runtime calls.
 */

#include "platform/graphics/cgimage/CFArray.h"
#include "platform/graphics/cgimage/CGEvent.h"
#include "platform/graphics/cgimage/CGImage.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t CGSConnectionID;
typedef int32_t CGSCursorID;
typedef int32_t CGSCursorSeed;
typedef int32_t CGSError;

typedef CGSConnectionID (*MainConnectionIDFunction)(void);
typedef CGSError (*RegisterCursorWithImagesFunction)(CGSConnectionID connection, const char* name, bool setGlobally,
                                                     bool instantly, CGSize size, CGPoint hotSpot,
                                                     uint64_t frameCount, CGFloat frameDuration, CFArrayRef images,
                                                     CGSCursorSeed* seed);
typedef CGSError (*RegisterCursorWithImageFunction)(CGSConnectionID connection, const char* name, bool setGlobally,
                                                    bool instantly, int32_t reserved, CGImageRef image, CGSize size,
                                                    CGPoint hotSpot, CGSCursorSeed* seed, CGFloat scaleX,
                                                    CGFloat scaleY);
typedef CGSError (*CopyRegisteredCursorImagesFunction)(CGSConnectionID connection, const char* name, CGSize* size,
                                                       CGPoint* hotSpot, uint64_t* frameCount,
                                                       CGFloat* frameDuration, CFArrayRef* images);
typedef CGSError (*SetRegisteredCursorFunction)(CGSConnectionID connection, const char* name, CGSCursorSeed* seed);
typedef CGImageRef (*CreateRegisteredCursorImageFunction)(CGSConnectionID connection, const char* name,
                                                          CGPoint* hotSpot);
/* The returned name belongs to the provider and stays valid while it is loaded. */
typedef const char* (*CursorNameForSystemCursorFunction)(CGSCursorID cursor);
typedef void (*SetDockCursorOverrideFunction)(CGSConnectionID connection, bool enabled);
typedef CGSError (*SetSystemDefinedCursorFunction)(CGSConnectionID connection, CGSCursorID cursor);
typedef void (*SetSystemDefinedCursorWithSeedFunction)(CGSConnectionID connection, CGSCursorID cursor,
                                                       CGSCursorSeed* seed);
typedef CGSError (*ShowCursorFunction)(CGSConnectionID connection);
typedef CGSError (*HideCursorFunction)(CGSConnectionID connection);
typedef CGSError (*GetCursorScaleFunction)(CGSConnectionID connection, float* scale);
typedef CGSError (*SetCursorScaleFunction)(CGSConnectionID connection, float scale);
typedef CGSError (*CoreCursorUnregisterAllFunction)(CGSConnectionID connection);
typedef CGSError (*CoreCursorSetFunction)(CGSConnectionID connection, CGSCursorID cursor);
typedef CGSError (*CoreCursorSetAndReturnSeedFunction)(CGSConnectionID connection, CGSCursorID cursor,
                                                       CGSCursorSeed* seed);
typedef CGSError (*CoreCursorCopyImagesFunction)(CGSConnectionID connection, CGSCursorID cursor,
                                                 CFArrayRef* images, CGSize* size, CGPoint* hotSpot,
                                                 uint64_t* frameCount, CGFloat* frameDuration);
typedef CGSError (*RemoveRegisteredCursorFunction)(CGSConnectionID connection, const char* name, bool flag);
typedef CGSError (*GetGlobalCursorDataSizeFunction)(CGSConnectionID connection, int32_t* byteCount);
/* byteCount is the buffer's size on entry and the number of bytes written on
 * return; the last out-value is reserved. */
typedef CGSError (*GetGlobalCursorDataFunction)(CGSConnectionID connection, void* buffer, int32_t* byteCount,
                                                CGSize* size, CGPoint* hotSpot, int32_t* depth,
                                                int32_t* components, int32_t* bitsPerComponent,
                                                int32_t* reserved);
typedef CGSCursorSeed (*CurrentCursorSeedFunction)(void);

/*
 * What the desktop itself provides around the cursor: the pointer position in
 * global coordinates with the origin at the bottom left of the primary screen
 * and y upwards; the primary screen's height (false when there is no screen);
 * posting a synthetic event created with CGEventCreateMouseEvent.
 */
typedef CGPoint (*MouseLocationFunction)(void);
typedef bool (*PrimaryScreenHeightFunction)(CGFloat* height);
typedef void (*EventPostFunction)(CGEventTapLocation tap, CGEventRef event);
/* Which decorated set the registrations that follow belong to, for a window
 * server that keeps one set per language, style and hand; optional. */
typedef void (*SelectCursorSetFunction)(const char* language, const char* style, bool leftHanded);
/* Hands the program's log to the window server, for what it finds out on its
 * own threads (level 0 info, 1 warning, 2 error); optional. */
typedef void (*SetLogHandlerFunction)(void (*handler)(int level, const char* message));

CGSConnectionID CGSMainConnectionID(void);
CGSConnectionID SLSMainConnectionID(void);

CGSError CGSRegisterCursorWithImages(CGSConnectionID connection, const char* name, bool setGlobally, bool instantly,
                                     CGSize size, CGPoint hotSpot, uint64_t frameCount, CGFloat frameDuration,
                                     CFArrayRef images, CGSCursorSeed* seed);
CGSError SLSRegisterCursorWithImages(CGSConnectionID connection, const char* name, bool setGlobally, bool instantly,
                                     CGSize size, CGPoint hotSpot, uint64_t frameCount, CGFloat frameDuration,
                                     CFArrayRef images, CGSCursorSeed* seed);

CGSError CGSRegisterCursorWithImage(CGSConnectionID connection, const char* name, bool setGlobally, bool instantly,
                                    int32_t reserved, CGImageRef image, CGSize size, CGPoint hotSpot,
                                    CGSCursorSeed* seed, CGFloat scaleX, CGFloat scaleY);
CGSError SLSRegisterCursorWithImage(CGSConnectionID connection, const char* name, bool setGlobally, bool instantly,
                                    int32_t reserved, CGImageRef image, CGSize size, CGPoint hotSpot,
                                    CGSCursorSeed* seed, CGFloat scaleX, CGFloat scaleY);

CGSError CGSCopyRegisteredCursorImages(CGSConnectionID connection, const char* name, CGSize* size, CGPoint* hotSpot,
                                       uint64_t* frameCount, CGFloat* frameDuration, CFArrayRef* images);
CGSError SLSCopyRegisteredCursorImages(CGSConnectionID connection, const char* name, CGSize* size, CGPoint* hotSpot,
                                       uint64_t* frameCount, CGFloat* frameDuration, CFArrayRef* images);

CGSError CGSSetRegisteredCursor(CGSConnectionID connection, const char* name, CGSCursorSeed* seed);
CGSError SLSSetRegisteredCursor(CGSConnectionID connection, const char* name, CGSCursorSeed* seed);

CGImageRef CGSCreateRegisteredCursorImage(CGSConnectionID connection, const char* name, CGPoint* hotSpot);
CGImageRef SLSCreateRegisteredCursorImage(CGSConnectionID connection, const char* name, CGPoint* hotSpot);

const char* CGSCursorNameForSystemCursor(CGSCursorID cursor);
const char* SLSCursorNameForSystemCursor(CGSCursorID cursor);

void CGSSetDockCursorOverride(CGSConnectionID connection, bool enabled);
void SLSSetDockCursorOverride(CGSConnectionID connection, bool enabled);

CGSError CGSSetSystemDefinedCursor(CGSConnectionID connection, CGSCursorID cursor);
CGSError SLSSetSystemDefinedCursor(CGSConnectionID connection, CGSCursorID cursor);

void CGSSetSystemDefinedCursorWithSeed(CGSConnectionID connection, CGSCursorID cursor, CGSCursorSeed* seed);
void SLSSetSystemDefinedCursorWithSeed(CGSConnectionID connection, CGSCursorID cursor, CGSCursorSeed* seed);

CGSError CGSShowCursor(CGSConnectionID connection);
CGSError SLSShowCursor(CGSConnectionID connection);

CGSError CGSHideCursor(CGSConnectionID connection);
CGSError SLSHideCursor(CGSConnectionID connection);

CGSError CGSGetCursorScale(CGSConnectionID connection, float* scale);
CGSError SLSGetCursorScale(CGSConnectionID connection, float* scale);

CGSError CGSSetCursorScale(CGSConnectionID connection, float scale);
CGSError SLSSetCursorScale(CGSConnectionID connection, float scale);

CGSError CoreCursorUnregisterAll(CGSConnectionID connection);
CGSError CoreCursorSet(CGSConnectionID connection, CGSCursorID cursor);
CGSError CoreCursorSetAndReturnSeed(CGSConnectionID connection, CGSCursorID cursor, CGSCursorSeed* seed);
CGSError CoreCursorCopyImages(CGSConnectionID connection, CGSCursorID cursor, CFArrayRef* images, CGSize* size,
                              CGPoint* hotSpot, uint64_t* frameCount, CGFloat* frameDuration);

CGSError CGSRemoveRegisteredCursor(CGSConnectionID connection, const char* name, bool flag);
CGSError SLSRemoveRegisteredCursor(CGSConnectionID connection, const char* name, bool flag);

CGSError CGSGetGlobalCursorDataSize(CGSConnectionID connection, int32_t* byteCount);
CGSError SLSGetGlobalCursorDataSize(CGSConnectionID connection, int32_t* byteCount);

CGSError CGSGetGlobalCursorData(CGSConnectionID connection, void* buffer, int32_t* byteCount, CGSize* size,
                                CGPoint* hotSpot, int32_t* depth, int32_t* components, int32_t* bitsPerComponent,
                                int32_t* reserved);
CGSError SLSGetGlobalCursorData(CGSConnectionID connection, void* buffer, int32_t* byteCount, CGSize* size,
                                CGPoint* hotSpot, int32_t* depth, int32_t* components, int32_t* bitsPerComponent,
                                int32_t* reserved);

CGSCursorSeed CGSCurrentCursorSeed(void);
CGSCursorSeed SLSCurrentCursorSeed(void);

/* Desktop services; one name each. */
CGPoint TarnwickMouseLocation(void);
bool TarnwickPrimaryScreenHeight(CGFloat* height);
void CGEventPost(CGEventTapLocation tap, CGEventRef event);
void TarnwickSelectCursorSet(const char* language, const char* style, bool leftHanded);
void TarnwickSetLogHandler(void (*handler)(int level, const char* message));

#ifdef __cplusplus
}
#endif
