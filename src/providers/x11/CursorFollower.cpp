#include "providers/x11/CursorFollower.h"

#include "providers/x11/UnnamedCursor.h"
#include "providers/x11/X11Connection.h"

#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pthread.h>
#include <csignal>
#include <system_error>
#include <unistd.h>

namespace {

struct FreeWithXFree {
    void operator()(void* data) const { XFree(data); }
};
using CursorImage = std::unique_ptr<XFixesCursorImage, FreeWithXFree>;

}

// The thread's side: its own connection, the names of the atoms it has met,
// and what it does with each change of the cursor on screen.
class CursorFollower::Worker {
public:
    Worker(CursorFollower& follower, int wakeFd, std::unique_ptr<X11Connection> connection)
        : follower_(follower), wakeFd_(wakeFd), owned_(std::move(connection)), connection_(*owned_)
    {
    }

    void run()
    {
        // A write to a server that has gone must fail as a lost connection,
        // not end the process.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        Display* display = connection_.display();
        XFixesSelectCursorInput(display, connection_.root(), XFixesDisplayCursorNotifyMask);
        // Whatever was shown before the watch began.
        putBackIfForeign();
        follower_.watching_ = !connection_.lost();
        // Replies read events into Xlib's queue, where poll() cannot see
        // them: the queue is emptied before every wait.
        do {
            while (!connection_.lost() && XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type == connection_.fixesEventBase() + XFixesCursorNotify)
                    onCursorShown(reinterpret_cast<const XFixesCursorNotifyEvent&>(event));
            }
        } while (waitForWork());
    }

private:
    // False when the worker is to end.
    bool waitForWork()
    {
        if (connection_.lost() || follower_.stopping_)
            return false;
        pollfd fds[2] = {{connection_.number(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int ready = 0;
        while ((ready = poll(fds, 2, lookPending_ ? settleMilliseconds : -1)) < 0) {
            if (errno != EINTR)
                return false;
        }
        if (ready == 0 && !follower_.stopping_) {
            lookPending_ = false;
            // Before the look: a name followed from now on may be missed by
            // it, so its wake-up is written again.
            follower_.wakePending_ = false;
            putBackIfForeign();
        }
        if (fds[1].revents != 0) {
            char drained[16];
            while (read(wakeFd_, drained, sizeof drained) > 0) {
            }
            // A name followed anew may be on screen already, in a window the
            // change by name does not reach, and nothing announces it. Until
            // the look, further names are covered by it and wake nobody.
            lookPending_ = true;
        }
        return !follower_.stopping_;
    }

    void onCursorShown(const XFixesCursorNotifyEvent& event)
    {
        if (event.subtype != XFixesDisplayCursorNotify)
            return;
        // A cursor without a name may be a theme's, loaded by a program
        // that names none.
        if (event.cursor_name == None) {
            lookPending_ = true;
            return;
        }
        const std::string& name = connection_.atomName(event.cursor_name);
        {
            std::lock_guard lock(follower_.mutex_);
            auto followed = follower_.followed_.find(name);
            if (followed == follower_.followed_.end() || followed->second.ownSerials.contains(event.cursor_serial))
                return;
        }
        lookPending_ = true;
    }

    // Changes the cursor on screen back to the followed one of its name when
    // it shows other pixels.
    void putBackIfForeign()
    {
        // What is on screen now, which may have moved on since any event.
        CursorImage image;
        {
            X11Connection::Trap trap(connection_);
            image.reset(XFixesGetCursorImage(connection_.display()));
            if (trap.finishAfterReply() != 0 || !image || !image->name)
                return;
        }
        std::vector<std::uint32_t> pixels(image->pixels,
                                          image->pixels + static_cast<std::size_t>(image->width) * image->height);
        std::uint64_t hash = imageHash(image->width, image->height, pixels);
        if (!image->name[0]) {
            adoptIfTheThemes(hash);
            return;
        }
        std::lock_guard lock(follower_.mutex_);
        auto followed = follower_.followed_.find(image->name);
        if (followed == follower_.followed_.end())
            return;
        const auto& own = followed->second.ownImages;
        Cursor provided = followed->second.cursor;
        bool everyChange = follower_.reenterAfterEveryChange_;
        if (std::find(own.begin(), own.end(), hash) != own.end()) {
            followed->second.ownSerials.insert(image->cursor_serial);
            if (everyChange && reentered_.insert(image->cursor_serial).second)
                leaveAndComeBack(image->x, image->y, provided);
            return;
        }
        // Done while holding the lock: the owner may free this cursor as soon
        // as it has replaced it here.
        {
            X11Connection::Trap trap(connection_);
            XFixesChangeCursorByName(connection_.display(), provided, image->name);
            if (trap.finish() != 0)
                return;
        }
        // A cursor a program set for the pointer device (XInput 2, as GTK
        // does for every widget) keeps showing after the change by name. Its
        // handle now stands for the provider's cursor, and the program sets it
        // again when the pointer comes back into its window: the pointer
        // leaves once, for a moment, for a window of the follower's own.
        // Under XWayland every change of a foreign cursor, even of one that
        // was the provider's own before a switch, needs the way out and back.
        if (everyChange || (stillShows(image->cursor_serial) && reentered_.insert(image->cursor_serial).second))
            leaveAndComeBack(image->x, image->y, provided);
    }

    // A cursor without a name that shows a followed name's theme image is
    // changed to the provider's cursor by its XID, and kept.
    void adoptIfTheThemes(std::uint64_t hash)
    {
        {
            std::lock_guard lock(follower_.mutex_);
            if (themeName(hash).empty())
                return;
        }
        Cursor shown = None;
        {
            X11Connection::Trap trap(connection_);
            shown = UnnamedCursor::underPointer(connection_.display(), connection_.root());
            if (trap.finishAfterReply() != 0 || shown == None)
                return;
        }
        std::lock_guard lock(follower_.mutex_);
        std::string name = themeName(hash);
        auto followed = follower_.followed_.find(name);
        if (followed == follower_.followed_.end())
            return;
        X11Connection::Trap trap(connection_);
        XFixesChangeCursor(connection_.display(), followed->second.cursor, shown);
        if (trap.finish() == 0)
            follower_.adopted_[shown] = name;
    }

    // The followed name whose theme image has the hash; empty for none.
    // Called under the follower's lock.
    std::string themeName(std::uint64_t hash)
    {
        for (const auto& [name, followed] : follower_.followed_) {
            const auto& theme = followed.themeImages;
            if (std::find(theme.begin(), theme.end(), hash) != theme.end())
                return name;
        }
        return {};
    }

    bool stillShows(unsigned long serial)
    {
        X11Connection::Trap trap(connection_);
        CursorImage now(XFixesGetCursorImage(connection_.display()));
        return trap.finishAfterReply() == 0 && now && now->cursor_serial == serial;
    }

    // A window of one pixel under the pointer, shown and gone at once,
    // showing the provider's cursor meanwhile.
    void leaveAndComeBack(int x, int y, Cursor cursor)
    {
        Display* display = connection_.display();
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.cursor = cursor;
        X11Connection::Trap trap(connection_);
        Window window = XCreateWindow(display, connection_.root(), x, y, 1, 1, 0, 0, InputOnly, CopyFromParent,
                                      CWOverrideRedirect | CWCursor, &attributes);
        XMapRaised(display, window);
        XDestroyWindow(display, window);
        trap.finish();
    }

    CursorFollower& follower_;
    int wakeFd_;
    std::unique_ptr<X11Connection> owned_;
    X11Connection& connection_;
    // A registration installs many names in a row, each showing for a
    // moment: the screen is looked at once they have settled, not after
    // every one.
    static constexpr int settleMilliseconds = 5;
    bool lookPending_ = false;
    // Serials of foreign cursors the pointer has left and come back to once.
    std::set<unsigned long> reentered_;
};

CursorFollower::~CursorFollower()
{
    stop();
}

std::uint64_t CursorFollower::imageHash(int width, int height, const std::vector<std::uint32_t>& pixels)
{
    // FNV-1a a word at a time: registering hashes every frame of every
    // cursor, so it has to be cheap; telling images apart is all it is for.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    auto mix = [&hash](std::uint32_t word) { hash = (hash ^ word) * 0x100000001b3ULL; };
    mix(static_cast<std::uint32_t>(width));
    mix(static_cast<std::uint32_t>(height));
    for (std::uint32_t pixel : pixels)
        mix(pixel);
    return hash;
}

std::vector<std::uint64_t> CursorFollower::imageHashes(const CursorFrames& frames)
{
    std::vector<std::uint64_t> hashes;
    for (const auto& frame : frames.frames)
        hashes.push_back(imageHash(frames.width, frames.height, frame));
    return hashes;
}

void CursorFollower::follow(const std::string& xName, Cursor cursor, const std::vector<std::uint64_t>& ownImages,
                            const std::vector<std::uint64_t>& themeImages)
{
    Followed followed{cursor, ownImages, themeImages, {}};
    {
        std::lock_guard lock(mutex_);
        followed_[xName] = std::move(followed);
    }
    // A worker that ended by itself (its connection broke) stays ended until
    // stop(); restarting it on every registration would retry in vain.
    if (thread_.joinable()) {
        wake();
        return;
    }
    // Opened here, not on the worker: Xlib ends the process when the server
    // goes away while a display is still being opened, and this caller has
    // just seen the server answer.
    auto connection = std::make_unique<X11Connection>(X11Connection::Resources::freedOnClose);
    int fds[2];
    if (!connection->usable() || pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    running_ = true;
    try {
        thread_ = std::thread([this, wakeFd = wakeRead_, connection = std::move(connection)]() mutable {
            Worker(*this, wakeFd, std::move(connection)).run();
            watching_ = false;
            running_ = false;
        });
    } catch (const std::system_error&) {
        running_ = false;
        close(wakeRead_);
        close(wakeWrite_);
        wakeRead_ = wakeWrite_ = -1;
    }
}

std::vector<Cursor> CursorFollower::adoptedAs(const std::string& xName)
{
    std::lock_guard lock(mutex_);
    std::vector<Cursor> cursors;
    for (const auto& [cursor, name] : adopted_) {
        if (name == xName)
            cursors.push_back(cursor);
    }
    return cursors;
}

std::vector<Cursor> CursorFollower::forget(const std::string& xName)
{
    // Under one lock: the worker adopts no cursor for a name no longer
    // followed, so none escapes the caller.
    std::lock_guard lock(mutex_);
    followed_.erase(xName);
    std::vector<Cursor> cursors;
    std::erase_if(adopted_, [&](const auto& adopted) {
        if (adopted.second == xName)
            cursors.push_back(adopted.first);
        return adopted.second == xName;
    });
    return cursors;
}

void CursorFollower::drop(Cursor adopted)
{
    std::lock_guard lock(mutex_);
    adopted_.erase(adopted);
}

void CursorFollower::stop()
{
    {
        std::lock_guard lock(mutex_);
        followed_.clear();
        adopted_.clear();
    }
    if (!thread_.joinable())
        return;
    // Should anything call exit() on the worker, static destruction runs on it.
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
        return;
    }
    stopping_ = true;
    // Written even while a look is pending, so the worker ends now.
    wakePending_ = false;
    wake();
    thread_.join();
    stopping_ = false;
    wakePending_ = false;
    close(wakeRead_);
    close(wakeWrite_);
    wakeRead_ = wakeWrite_ = -1;
}

void CursorFollower::wake()
{
    // One look waiting is enough: a registration follows many names in a
    // row, and each write would wake the worker again.
    if (wakePending_.exchange(true))
        return;
    char byte = 1;
    [[maybe_unused]] ssize_t written = write(wakeWrite_, &byte, 1);
}
