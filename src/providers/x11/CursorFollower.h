#pragma once

#include "providers/x11/CursorFrames.h"

#include <X11/Xlib.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// Keeps the provider's cursors on applications started after they were
// installed. Changing a cursor by name reaches only the cursors that exist;
// a program started later loads the theme's cursor under the same name. A
// worker thread with its own connection watches the cursor on screen and,
// when it carries a followed name but not the provider's pixels, changes that
// name again. A change by name does not reach a cursor a program set for the
// pointer device (GTK does, through XInput 2): the worker then takes the
// pointer out of the program's window for a moment, and the program sets its
// cursor again, which by then is the provider's.
//
// Programs that make their cursors without a name (Qt 6.5 and later) are
// found by pixels: a cursor on screen that shows a followed name's theme
// image is adopted and changed by its XID (UnnamedCursor), and the caller
// changes the adopted ones with every new cursor of the name and puts the
// theme's image back into them when it forgets the name.
//
// The cursors handed in belong to the caller's connection; the caller keeps
// them alive until it has forgotten or replaced them here. Each change the
// worker makes has reached the server before follow() or forget() returns,
// so the caller may free a cursor right after.
class CursorFollower {
public:
    CursorFollower() = default;
    ~CursorFollower();
    CursorFollower(const CursorFollower&) = delete;
    CursorFollower& operator=(const CursorFollower&) = delete;

    // XWayland hands the cursor on screen to the compositor only when the
    // pointer enters a window: after every change of the cursor on screen
    // the pointer leaves and comes back, once per cursor shown.
    void setReenterAfterEveryChange(bool reenter) { reenterAfterEveryChange_ = reenter; }

    // Starts the worker with the first name followed. ownImages are the
    // imageHash of each frame of the cursor, themeImages those of the
    // theme's cursor it replaces.
    void follow(const std::string& xName, Cursor cursor, const std::vector<std::uint64_t>& ownImages,
                const std::vector<std::uint64_t>& themeImages = {});
    // The cursors without a name adopted as showing the X name.
    std::vector<Cursor> adoptedAs(const std::string& xName);
    // Ends following the X name; the cursors adopted as showing it, which
    // the caller is to give the theme's image back.
    std::vector<Cursor> forget(const std::string& xName);
    // An adopted cursor that has gone with its program.
    void drop(Cursor adopted);
    // Forgets every name and ends the worker.
    void stop();
    bool running() const { return running_; }
    // Running, connected and told of every cursor shown.
    bool watching() const { return watching_; }

    // What identifies a cursor image on screen.
    static std::uint64_t imageHash(int width, int height, const std::vector<std::uint32_t>& pixels);
    static std::vector<std::uint64_t> imageHashes(const CursorFrames& frames);

private:
    struct Followed {
        Cursor cursor = None;
        std::vector<std::uint64_t> ownImages;
        std::vector<std::uint64_t> themeImages;
        // Serials of on-screen cursors already seen to be this one.
        std::set<unsigned long> ownSerials;
    };
    class Worker;

    void wake();

    std::mutex mutex_;
    std::map<std::string, Followed> followed_;
    // Cursors of other programs without a name, by the X name they show.
    std::map<Cursor, std::string> adopted_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> watching_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> wakePending_{false};
    std::atomic<bool> reenterAfterEveryChange_{false};
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
};
