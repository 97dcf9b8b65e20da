#pragma once

#include "base/SerialQueue.h"
#include "platform/desktopsettings/DesktopCursorTheme.h"
#include "platform/provider/WindowServerFunctions.h"
#include "providers/x11/CursorNameMap.h"
#include "providers/x11/CursorRecord.h"
#include "providers/x11/CursorTheme.h"
#include "providers/x11/PointerReentry.h"
#include "providers/x11/X11WindowServer.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// The window server's cursor functions on a Wayland desktop, where no client
// may replace another client's cursor but every desktop loads the cursor
// theme its settings name.
//
// Registration keeps the images of the selected set (language, style, hand);
// activation hands that set to a queue of its own, which writes it as an
// Xcursor theme folder (only when its content changed) and points the
// desktop's cursor-theme setting at it once the folder is complete; a set
// already on disk is shown at once. Unregistering everything points the
// setting back at the user's theme. The user's theme name is kept in a
// backup file from the first change to the restore, and a start that finds
// the backup puts it back before anything else. After each change of theme
// the queue makes a resting pointer show it, where the desktop does not.
// Copies of cursors nobody registered come from the user's theme.
//
// X programs under XWayland take their cursors from X, not from the desktop's
// theme: where the session has an X display, every registration, activation
// and reset is made there as well, as on an X11 desktop.
class ThemeWindowServer {
public:
    static constexpr CGSError success = 0;
    static constexpr CGSError failure = 1000;
    static constexpr CGSError illegalArgument = 1001;
    static constexpr CGSError invalidConnection = 1002;
    static constexpr CGSError cannotComplete = 1004;
    static constexpr CGSError rangeCheck = 1007;
    static constexpr CGSError noneAvailable = 1011;
    static constexpr CGSConnectionID connectionID = 1;

    static ThemeWindowServer& shared();

    ThemeWindowServer(std::unique_ptr<DesktopCursorTheme> desktop, std::string iconsFolder,
                      X11WindowServer* xwayland = nullptr);

    // The folder the next registrations belong to. Folders of another style or
    // hand are removed, except the one the desktop shows. A set already on
    // disk is shown at once. Until the first
    // selection, and again after a restore, activations leave the user's
    // theme showing.
    void select(const std::string& language, const std::string& style, bool leftHanded);
    const std::string& selectedTheme() const { return selected_; }
    const std::string& userTheme() const { return userTheme_; }
    // Returns once the queue has done what it was given so far.
    void finishQueuedWork();

    CGSError registerCursor(CGSConnectionID connection, const char* name, const CursorRecord& record,
                            CGSCursorSeed* seed);
    CGSError registerSingleImage(CGSConnectionID connection, const char* name, CGImageRef image, CGSize size,
                                 CGPoint hotSpot, CGSCursorSeed* seed);
    CGSError copyRegistered(CGSConnectionID connection, const char* name, CursorRecord& record);
    CGSError copySystemCursor(CGSConnectionID connection, CGSCursorID cursor, CursorRecord& record);
    CGSError setRegistered(CGSConnectionID connection, const char* name, CGSCursorSeed* seed);
    CGSError setSystemCursor(CGSConnectionID connection, CGSCursorID cursor, CGSCursorSeed* seed);
    CGImageRef createRegisteredImage(CGSConnectionID connection, const char* name, CGPoint* hotSpot);
    CGSError removeRegistered(CGSConnectionID connection, const char* name);
    CGSError unregisterAll(CGSConnectionID connection);

    CGSError hide(CGSConnectionID connection);
    CGSError show(CGSConnectionID connection);
    CGSError scale(CGSConnectionID connection, float* scale);
    CGSError setScale(CGSConnectionID connection, float scale);

    // The current cursor's first frame at the desktop's size, as the user's
    // theme or the selected set draws it.
    CGSError globalCursorDataSize(CGSConnectionID connection, std::int32_t* byteCount);
    CGSError globalCursorData(CGSConnectionID connection, void* buffer, std::int32_t* byteCount, CGSize* size,
                              CGPoint* hotSpot);
    CGSCursorSeed currentSeed();

private:
    using Registrations = std::map<std::string, CursorRecord>;

    std::optional<CursorRecord> recordFor(const std::string& name, CursorNameMap::XNames xNames);
    CGSError activate(const std::string& name, CGSCursorSeed* seed);
    // On the queue: the folder written, then shown if still selected.
    void write(const std::string& theme, const Registrations& cursors, std::uint64_t generation);
    bool pointDesktopAt(const std::string& theme);
    void refreshRestingPointerSoon();
    void refreshRestingPointer();
    bool refreshIsPending();
    template <typename Call>
    void alsoForX(Call call);
    std::vector<int> nominalSizes() const;
    std::optional<CursorFrames> currentFrames();

    std::mutex mutex_;
    std::unique_ptr<DesktopCursorTheme> desktop_;
    X11WindowServer* xwayland_;
    std::string iconsFolder_;
    std::string userTheme_;
    int size_;
    CursorTheme theme_;
    std::string selected_;
    bool selectedSinceReset_ = false;
    // Per theme folder, what was registered for it.
    std::map<std::string, Registrations> registrations_;
    bool dirty_ = false;
    // Counts selections and restores: a folder written for an older one is
    // not shown.
    std::uint64_t generation_ = 0;
    // What the program pointed the desktop at; nothing while it shows the user's.
    std::optional<std::string> shown_;
    std::string current_ = "com.apple.coregraphics.Arrow";
    CGSCursorSeed seed_ = 1;
    float scale_ = 1.0f;
    // A new theme shown since a resting pointer was last made to show one.
    bool refreshOwed_ = false;
    bool refreshPending_ = false;
    // Used on the queue only.
    PointerReentry reentry_;
    // A covering window that never got the pointer is shown again after a
    // pause, for about two seconds at most.
    static constexpr int coverAttempts = 12;
    static constexpr int coverRetryMilliseconds = 80;
    // How long the desktop's programs are given to take a new theme in.
    static constexpr int settleMilliseconds = 40;
    // Last, so that what they still hold runs before anything else goes.
    SerialQueue xQueue_{"com.tarnwick.theme.xwayland"};
    SerialQueue queue_{"com.tarnwick.theme"};
};
