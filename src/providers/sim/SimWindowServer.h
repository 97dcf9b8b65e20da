#pragma once

/*
 * Controls for tests of the simulated window server, libtarnwick_provider_sim.so
 * and its variants. Every variant exports these functions, also the one that
 * exports no window-server function; each library loaded keeps a state of its
 * own. None of these calls is recorded in the call log.
 *
 * The model, in short:
 * - A name shows what was last registered under it, else its stock cursor.
 *   Stock cursors answer to the descriptive names of the numbered cursors
 *   ("com.apple.coregraphics.Arrow"), to "com.apple.cursor.N" for those
 *   numbers, and to "com.apple.coregraphics.GlobalCurrent" and
 *   "com.apple.coregraphics.ConnectionCurrent" (the arrow). Each stock cursor
 *   is 24 x 24 points with one image at 1x and one at 2x.
 * - Numbered cursor N is the name "com.apple.cursor.N": the CoreCursor and
 *   system-defined functions read and activate what that name shows.
 * - Each registration call replaces what the name shows with exactly what that
 *   call passed (the single-image call leaves one image, frame count 1,
 *   frame duration 0.0). Registering does not change the cursor on screen.
 * - Activation (SetRegisteredCursor, SetSystemDefinedCursor[WithSeed],
 *   CoreCursorSet[AndReturnSeed]) puts what the name shows on screen and gives
 *   a new current seed; the global cursor data are then the first image of
 *   that cursor (its top frame when it stacks several) as native 32-bit words
 *   0xAARRGGBB, premultiplied, row after row (depth 32, 4 components, 8 bits
 *   each), with its pixel size and the hot spot in pixels, both at the
 *   image's density (pixel width / width in points). Unregistering everything
 *   leaves the screen as it is until the next activation.
 * - Every seed handed out (by registration or activation) is new.
 * - A connection other than the main one fails with
 *   SimWindowServerErrorInvalidConnection.
 * - Posted events are recorded; the pointer does not move.
 */

#include "platform/provider/WindowServerFunctions.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    SimWindowServerErrorFailure = 1000,
    /* Unknown name or number; NULL or empty name; a list that is empty or holds
     * something other than images; a frame count of 0; a size that is not
     * positive; a scale that is not a positive finite number. */
    SimWindowServerErrorIllegalArgument = 1001,
    SimWindowServerErrorInvalidConnection = 1002,
    /* The global cursor data do not fit the buffer passed in. */
    SimWindowServerErrorRangeCheck = 1007
};

enum {
    SimWindowServerInitialConnectionID = 5171,
    SimWindowServerInitialSeed = 1
};

/* Back to the state the library starts in: nothing registered; numbered cursor
 * 0 (the arrow) on screen with seed SimWindowServerInitialSeed; scale 1.0;
 * cursor shown; dock override off; main connection
 * SimWindowServerInitialConnectionID; pointer at (400.0, 300.0) on a primary
 * screen 1080.0 high; no failures; no over-report; empty call log; no posted
 * events. */
void SimWindowServerReset(void);

void SimWindowServerSetMainConnectionID(CGSConnectionID connection);

/*
 * Failure injection. function is an exported name ("CGSSetRegisteredCursor",
 * "CoreCursorSet") or a name without its CGS or SLS prefix
 * ("SetRegisteredCursor"), which covers both prefixed names: the two names of a
 * function are one function. A status of 0 removes the failure.
 *
 * A failing function that returns a status returns the given one and changes
 * nothing. One that returns no status does nothing and gives its empty result:
 * CreateRegisteredCursorImage and CursorNameForSystemCursor return NULL,
 * SetSystemDefinedCursorWithSeed leaves the seed untouched,
 * SetDockCursorOverride changes nothing, TarnwickPrimaryScreenHeight returns
 * false and CGEventPost records nothing. MainConnectionID, CurrentCursorSeed
 * and TarnwickMouseLocation never fail; set their values instead.
 */
void SimWindowServerSetFailure(const char* function, CGSError status);
/* The same for the calls about one cursor only: argument is the cursor name
 * exactly as passed, or the cursor number in decimal ("13"). Checked before a
 * failure of the whole function. */
void SimWindowServerSetFailureFor(const char* function, const char* argument, CGSError status);
void SimWindowServerClearFailures(void);

/* GetGlobalCursorDataSize reports this many bytes more than GetGlobalCursorData
 * then writes (0 by default). */
void SimWindowServerSetGlobalDataOverReport(int32_t extraBytes);

/* What a name shows. images carries one reference that the caller releases. */
typedef struct SimCursorContents {
    CGSize size;
    CGPoint hotSpot;
    uint64_t frameCount;
    CGFloat frameDuration;
    CFArrayRef images;
    bool registered; /* false: the stock cursor */
} SimCursorContents;

/* false, with contents untouched, for a name that shows nothing. */
bool SimWindowServerCopyCursor(const char* name, SimCursorContents* contents);
/* The cursor on screen, as it was when it was activated. */
bool SimWindowServerCopyCurrentCursor(SimCursorContents* contents);
/* The name activated last ("com.apple.cursor.N" for a numbered activation),
 * written like snprintf; returns the length of the whole name. */
size_t SimWindowServerCurrentCursorName(char* buffer, size_t capacity);
bool SimWindowServerIsRegistered(const char* name);
size_t SimWindowServerRegisteredCount(void);
CGSCursorSeed SimWindowServerCurrentSeed(void);
float SimWindowServerCursorScale(void);
/* Hides not yet undone by a show; the cursor is visible at 0. */
int32_t SimWindowServerHideCount(void);
bool SimWindowServerDockCursorOverride(void);

/* The desktop around the cursor. Coordinates as TarnwickMouseLocation gives
 * them: origin at the bottom left of the primary screen, y upwards. */
void SimWindowServerSetMouseLocation(CGPoint location);
/* present false: there is no screen. */
void SimWindowServerSetPrimaryScreenHeight(bool present, CGFloat height);

typedef struct SimPostedEvent {
    CGEventTapLocation tap;
    CGEventType type;
    CGPoint location;
    CGMouseButton button;
} SimPostedEvent;

size_t SimWindowServerPostedEventCount(void);
bool SimWindowServerPostedEvent(size_t index, SimPostedEvent* event);

/*
 * The call log: one entry per call of an exported window-server or desktop
 * function, in call order, each the exported name followed by the arguments
 * that matter, for example
 *   "CGSSetRegisteredCursor name=com.apple.coregraphics.Arrow"
 *   "CoreCursorSet cursor=13"
 *   "SLSRegisterCursorWithImages name=N setGlobally=true instantly=true
 *    size=32.0x32.0 hotSpot=(4.0,4.0) frames=2 frameDuration=0.0 images=2"
 * Connections are not shown; a NULL name shows as "(null)". Floating-point
 * values are written shortest with a fractional part (32.0, 1.3). The log keeps
 * the latest SimWindowServerCallLogCapacity entries; the counts are exact.
 */
enum { SimWindowServerCallLogCapacity = 100000 };

/* Calls under an exported name; a name without the CGS or SLS prefix counts
 * the calls under both prefixes. */
size_t SimWindowServerCallCount(const char* function);
size_t SimWindowServerCallLogCount(void);
/* Writes the entry like snprintf and returns its whole length; 0 and an empty
 * string for an index past the end. */
size_t SimWindowServerCallLogEntry(size_t index, char* buffer, size_t capacity);
void SimWindowServerClearCallLog(void);

#ifdef __cplusplus
}

#include <string>
#include <vector>

// The call log as strings, for C++ tests.
inline std::vector<std::string> SimWindowServerCallLog()
{
    std::vector<std::string> entries;
    for (size_t i = 0, count = SimWindowServerCallLogCount(); i < count; ++i) {
        std::string entry(SimWindowServerCallLogEntry(i, nullptr, 0), '\0');
        SimWindowServerCallLogEntry(i, entry.data(), entry.size() + 1);
        entries.push_back(std::move(entry));
    }
    return entries;
}
#endif
