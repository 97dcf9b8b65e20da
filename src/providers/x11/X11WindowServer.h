#pragma once

#include "platform/provider/WindowServerFunctions.h"
#include "providers/x11/CursorFrames.h"
#include "providers/x11/CursorNameMap.h"
#include "providers/x11/CursorRecord.h"
#include "providers/x11/CursorTheme.h"
#include "providers/x11/DeferredCall.h"
#include "providers/x11/FrameMaker.h"
#include "providers/x11/InstalledNames.h"
#include "providers/x11/CursorOnScreen.h"
#include "providers/x11/X11Connection.h"

#include <X11/extensions/Xfixes.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The window server's cursor functions on an X11 display.
//
// Registering a name builds an X cursor and installs it with
// XFixesChangeCursorByName for each X name that stands for it, so every
// window already showing one of those cursors shows the new one. The provider
// keeps what was registered (for copying back and for putting the theme back)
// and the cursor it installed for each X name. While it has installed any, a
// CursorFollower brings them to applications started afterwards.
//
// A switch registers some fifty names, and only the one on screen is seen at
// once: a registration whose X names include the cursor on screen is
// installed at once, the others a moment after the registrations stop
// coming, on a thread of the provider's, together and only where the X name
// would show other pixels. A registration waits for the server only when it
// changed the screen, and whatever reads the screen, or makes a name
// current, installs what it depends on first, so nothing the program reads
// back lags behind what it registered.
//
// Sizes and hot spots are in points; the theme's cursors have a whole
// number of pixels per point (ThemeCursorFrame), and so does what the
// provider builds: the theme's pixels per point times the cursor scale,
// rounded to a whole number, within the largest cursor the server takes. An
// X cursor image has no finer steps, and a fractional density would
// resample the theme's glyph instead of showing its pixels, so a slight
// enlargement (the program's 8 % for a decorated set) leaves the size as it
// is while a scale of 2 doubles it.
//
// The cursor scale applies to what the provider registers. A new scale is
// brought to the cursors already registered at the next activation (making a
// cursor current, or showing it), not at once: the program changes the scale
// briefly and back again to nudge the display, which must stay cheap.
class X11WindowServer {
public:
    // Status codes, in the window server's own numbering.
    static constexpr CGSError success = 0;
    static constexpr CGSError failure = 1000;
    static constexpr CGSError illegalArgument = 1001;
    static constexpr CGSError invalidConnection = 1002;
    static constexpr CGSError cannotComplete = 1004;
    static constexpr CGSError rangeCheck = 1007;
    static constexpr CGSError noneAvailable = 1011;

    static X11WindowServer& shared();

    // 0 when no display can be opened.
    CGSConnectionID mainConnectionID();

    CGSError registerCursor(CGSConnectionID connection, const char* name, const CursorRecord& record,
                            CGSCursorSeed* seed);
    // A repeat of the first image of what the name already holds keeps the
    // whole registration (every size and frame) instead of shrinking it.
    CGSError registerSingleImage(CGSConnectionID connection, const char* name, CGImageRef image, CGSize size,
                                 CGPoint hotSpot, CGSCursorSeed* seed);
    CGSError copyRegistered(CGSConnectionID connection, const char* name, CursorRecord& record);
    CGSError copySystemCursor(CGSConnectionID connection, CGSCursorID cursor, CursorRecord& record);
    CGSError setRegistered(CGSConnectionID connection, const char* name, CGSCursorSeed* seed);
    CGSError setSystemCursor(CGSConnectionID connection, CGSCursorID cursor, CGSCursorSeed* seed);
    // The pixels installed for the name (or the theme's); nullptr for none.
    CGImageRef createRegisteredImage(CGSConnectionID connection, const char* name, CGPoint* hotSpot);
    CGSError removeRegistered(CGSConnectionID connection, const char* name);
    // Puts the theme's cursor back for every X name the provider changed.
    CGSError unregisterAll(CGSConnectionID connection);

    CGSError hide(CGSConnectionID connection);
    CGSError show(CGSConnectionID connection);
    CGSError scale(CGSConnectionID connection, float* scale);
    CGSError setScale(CGSConnectionID connection, float scale);

    // The cursor on screen: premultiplied 0xAARRGGBB words stored little
    // endian (B G R A), 4 bytes a pixel, rows without padding.
    CGSError globalCursorDataSize(CGSConnectionID connection, std::int32_t* byteCount);
    CGSError globalCursorData(CGSConnectionID connection, void* buffer, std::int32_t* byteCount, CGSize* size,
                              CGPoint* hotSpot, std::int32_t* depth, std::int32_t* components,
                              std::int32_t* bitsPerComponent);
    // The serial XFixes gives the cursor on screen; 0 without a display.
    CGSCursorSeed currentSeed();

    // The pointer in root window coordinates (origin top left).
    std::optional<CGPoint> pointerLocation();
    std::optional<CGFloat> screenHeight();
    // A motion event through XTest at location (origin top left).
    void postMouseMoved(CGPoint location);

    // Whether cursors loaded by name after an install are being followed.
    bool followingNewCursors() { return names_.follower().running(); }

    // The display is XWayland's, which hands the cursor on screen to the
    // compositor only when the pointer enters a window.
    void setOnXWayland() { names_.follower().setReenterAfterEveryChange(true); }

private:
    X11WindowServer() = default;

    struct Registration {
        CursorRecord record;
        int pixelsPerPoint = 1;
        // Built when first installed or asked for; the imageHash of each frame.
        std::optional<CursorFrames> frames;
        std::vector<std::uint64_t> hashes;
        // The imageHash of each frame of the theme's cursor it replaces.
        std::vector<std::uint64_t> themeHashes;
        // For a name X has no counterpart for, the cursor made current.
        Cursor privateCursor = None;
    };

    // A quiet moment after the last registration, when a switch has ended.
    static constexpr std::chrono::milliseconds installDelay{40};

    CGSError check(CGSConnectionID connection);
    CursorTheme& theme();
    std::vector<std::uint64_t> themeHashesOf(const std::string& name);
    // Whole pixels per point at the current scale.
    int pixelsPerPoint();
    std::optional<CursorFrames> buildFrames(const std::string& name, const CursorRecord& record, int pixelsPerPoint);
    const CursorFrames* framesOf(const std::string& name, Registration& registration);
    // What the registration's X names show; its frames are built.
    static InstalledNames::Source sourceOf(const Registration& registration);
    CGSError registerLocked(const std::string& name, const CursorRecord& record, CGSCursorSeed* seed);
    // Installs what is waiting for the X names (for every name when empty).
    void installWaiting(CursorNameMap::XNames xNames = {});
    void installWaitingNow();
    // The cursor on screen settled, with what waits for its name installed.
    bool settleScreen();
    const XFixesCursorImage* imageOnScreen();
    CGSError copyLocked(const std::string& name, CursorNameMap::XNames xNames, CursorRecord& record);
    CGSError makeCurrent(const std::string& name, CursorNameMap::XNames xNames, CGSCursorSeed* seed);
    void rebuildAtCurrentScale();
    void forget(Registration& registration);
    CGSError finish(X11Connection::Trap& trap);
    CGSError finishWithSeed(X11Connection::Trap& trap, CGSCursorSeed* seed);

    std::mutex mutex_;
    X11Connection connection_;
    std::optional<CursorTheme> theme_;
    FrameMaker frameMaker_{connection_};
    float scale_ = 1.0f;
    int hideCount_ = 0;
    CursorOnScreen screen_{connection_};
    std::map<std::string, Registration> registrations_;
    InstalledNames names_{connection_};
    // Last, so that its thread ends before anything else goes.
    DeferredCall installer_{installDelay, [this] { installWaitingNow(); }};
};
