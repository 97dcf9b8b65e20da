#include "providers/theme/ThemeWindowServer.h"

#include "platform/files/UserDirectories.h"
#include "providers/ProviderLog.h"
#include "providers/theme/ThemeFolder.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <utility>

namespace {

constexpr double pointsNominalSize = 24.0;

// In a Wayland session an X display is XWayland's.
X11WindowServer* xwayland()
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !display[0])
        return nullptr;
    X11WindowServer& server = X11WindowServer::shared();
    server.setOnXWayland();
    return &server;
}

std::string folderWord(const std::string& text)
{
    std::string word;
    for (char c : text)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_')
            word += c;
    return word.empty() ? "none" : word;
}

}

ThemeWindowServer& ThemeWindowServer::shared()
{
    static ThemeWindowServer server(DesktopCursorTheme::forDesktop(), UserDirectories::applicationSupport() + "/icons",
                                    xwayland());
    return server;
}

// A start after a crash puts the user's themes back before it reads them.
ThemeWindowServer::ThemeWindowServer(std::unique_ptr<DesktopCursorTheme> desktop, std::string iconsFolder,
                                     X11WindowServer* xwayland)
    : desktop_(std::move(desktop)), xwayland_(xwayland), iconsFolder_(std::move(iconsFolder)),
      userTheme_((desktop_->recover(), desktop_->userTheme())), size_(desktop_->size()), theme_(userTheme_, size_)
{
    ThemeFolder::removeLeftovers(iconsFolder_);
}

// On a queue of its own, behind the theme's own change: XWayland's work for
// a switch takes longer than the desktop's setting or a new theme folder,
// and must hold up neither.
template <typename Call>
void ThemeWindowServer::alsoForX(Call call)
{
    if (!xwayland_)
        return;
    xQueue_.async([x = xwayland_, call = std::move(call)] {
        if (CGSConnectionID connection = x->mainConnectionID())
            call(*x, connection);
    });
}

void ThemeWindowServer::finishQueuedWork()
{
    xQueue_.sync([] {});
    queue_.sync([] {});
    // A folder written there queues the refresh of a resting pointer behind
    // it, and that refresh waits for XWayland's queue.
    queue_.sync([] {});
    xQueue_.sync([] {});
}

void ThemeWindowServer::select(const std::string& language, const std::string& style, bool leftHanded)
{
    std::lock_guard lock(mutex_);
    std::string hand = leftHanded ? "left" : "right";
    selected_ = ThemeFolder::namePrefix + folderWord(language) + "-" + folderWord(style) + "-" + hand;
    selectedSinceReset_ = true;
    ++generation_;
    std::string suffix = "-" + folderWord(style) + "-" + hand;
    ThemeFolder::removeStale(iconsFolder_, [&](const std::string& name) {
        return !name.ends_with(suffix) && name != shown_;
    });
    // A set seen before is on disk already: the desktop switches now, not
    // after the set has been drawn again; the activation that follows
    // rewrites it only if its content changed.
    if (ThemeFolder(iconsFolder_, selected_).complete())
        pointDesktopAt(selected_);
}

CGSError ThemeWindowServer::registerCursor(CGSConnectionID connection, const char* name, const CursorRecord& record,
                                           CGSCursorSeed* seed)
{
    if (connection != connectionID)
        return invalidConnection;
    if (!name || !seed || !record.images || CFArrayGetCount(record.images.get()) == 0)
        return illegalArgument;
    std::lock_guard lock(mutex_);
    registrations_[selected_][name] = record;
    dirty_ = true;
    *seed = seed_;
    alsoForX([name = std::string(name), record](X11WindowServer& x, CGSConnectionID connection) {
        CGSCursorSeed ignored = 0;
        x.registerCursor(connection, name.c_str(), record, &ignored);
    });
    return success;
}

CGSError ThemeWindowServer::registerSingleImage(CGSConnectionID connection, const char* name, CGImageRef image,
                                                CGSize size, CGPoint hotSpot, CGSCursorSeed* seed)
{
    if (CFGetTypeID(image) != CGImageGetTypeID())
        return illegalArgument;
    CursorRecord record;
    record.size = size;
    record.hotSpot = hotSpot;
    CFTypeRef value = image;
    record.images = CFRef<CFArrayRef>::adopt(CFArrayCreate(&value, 1));
    if (!record.images)
        return failure;
    return registerCursor(connection, name, record, seed);
}

std::optional<CursorRecord> ThemeWindowServer::recordFor(const std::string& name, CursorNameMap::XNames xNames)
{
    const Registrations& held = registrations_[selected_];
    if (auto found = held.find(name); found != held.end())
        return found->second;
    return theme_.record(xNames);
}

CGSError ThemeWindowServer::copyRegistered(CGSConnectionID connection, const char* name, CursorRecord& record)
{
    if (connection != connectionID)
        return invalidConnection;
    if (!name)
        return illegalArgument;
    std::lock_guard lock(mutex_);
    auto found = recordFor(name, CursorNameMap::xNames(name));
    if (!found)
        return noneAvailable;
    record = std::move(*found);
    return success;
}

CGSError ThemeWindowServer::copySystemCursor(CGSConnectionID connection, CGSCursorID cursor, CursorRecord& record)
{
    if (connection != connectionID)
        return invalidConnection;
    if (!CursorNameMap::systemCursorName(cursor))
        return rangeCheck;
    std::lock_guard lock(mutex_);
    auto found = recordFor("com.apple.cursor." + std::to_string(cursor), CursorNameMap::xNames(cursor));
    if (!found)
        return noneAvailable;
    record = std::move(*found);
    return success;
}

CGSError ThemeWindowServer::setRegistered(CGSConnectionID connection, const char* name, CGSCursorSeed* seed)
{
    if (connection != connectionID)
        return invalidConnection;
    if (!name || !seed)
        return illegalArgument;
    std::lock_guard lock(mutex_);
    alsoForX([name = std::string(name)](X11WindowServer& x, CGSConnectionID connection) {
        CGSCursorSeed ignored = 0;
        x.setRegistered(connection, name.c_str(), &ignored);
    });
    return activate(name, seed);
}

CGSError ThemeWindowServer::setSystemCursor(CGSConnectionID connection, CGSCursorID cursor, CGSCursorSeed* seed)
{
    if (connection != connectionID)
        return invalidConnection;
    if (!CursorNameMap::systemCursorName(cursor))
        return rangeCheck;
    std::lock_guard lock(mutex_);
    CGSCursorSeed ignored = 0;
    alsoForX([cursor](X11WindowServer& x, CGSConnectionID connection) {
        CGSCursorSeed ignored = 0;
        x.setSystemCursor(connection, cursor, &ignored);
    });
    return activate("com.apple.cursor." + std::to_string(cursor), seed ? seed : &ignored);
}

// Without a selected set, or with nothing registered for it, the user's theme
// stays. A set drawn anew is shown once its folder is complete.
CGSError ThemeWindowServer::activate(const std::string& name, CGSCursorSeed* seed)
{
    current_ = name;
    *seed = ++seed_;
    selectedSinceReset_ = false;
    if (selected_.empty() || registrations_[selected_].empty())
        return success;
    if (std::exchange(dirty_, false)) {
        queue_.async([this, theme = selected_, cursors = registrations_[selected_], generation = generation_] {
            write(theme, cursors, generation);
        });
        return success;
    }
    if (!ThemeFolder(iconsFolder_, selected_).complete())
        return success;
    bool shown = pointDesktopAt(selected_);
    if (refreshOwed_)
        refreshRestingPointerSoon();
    return shown ? success : cannotComplete;
}

void ThemeWindowServer::write(const std::string& theme, const Registrations& cursors, std::uint64_t generation)
{
    std::vector<int> sizes = nominalSizes();
    std::uint64_t digest = ThemeFolder::digest(userTheme_, cursors, sizes);
    ThemeFolder folder(iconsFolder_, theme);
    std::error_code error;
    if (!folder.holds(digest))
        error = folder.write(userTheme_, cursors, sizes, digest);
    std::lock_guard lock(mutex_);
    if (error) {
        ProviderLog::write(ProviderLog::Level::error, "Cursor theme " + theme + " could not be written to " +
                                                          folder.path() + ": " + error.message() +
                                                          "; the desktop keeps its cursor theme");
        return;
    }
    if (generation == generation_ && selected_ == theme && pointDesktopAt(theme) && refreshOwed_)
        refreshRestingPointerSoon();
}

bool ThemeWindowServer::pointDesktopAt(const std::string& theme)
{
    if (shown_ == theme)
        return true;
    if (auto error = ThemeFolder(iconsFolder_, theme).link())
        ProviderLog::write(ProviderLog::Level::warning,
                           "Cursor theme " + theme + " has no link in ~/.icons (" + error.message() +
                               "); Hyprland and older X programs will not find it");
    if (!desktop_->show(theme))
        return false;
    shown_ = theme;
    // XWayland's work queued from now on waits until the desktop has the
    // new name.
    if (xwayland_)
        xQueue_.async([this] { desktop_->sync(); });
    refreshOwed_ = true;
    return true;
}

// Queued behind what XWayland is to show, so that a program there sets its
// cursor again once it has the new one.
void ThemeWindowServer::refreshRestingPointerSoon()
{
    refreshOwed_ = false;
    if (std::exchange(refreshPending_, true))
        return;
    queue_.async([this] { refreshRestingPointer(); });
}

// Off the lock: waiting for the desktop's programs to hear of the change,
// then for the compositor to move the pointer, takes a few frames.
void ThemeWindowServer::refreshRestingPointer()
{
    {
        std::lock_guard lock(mutex_);
        refreshPending_ = false;
    }
    desktop_->sync();
    // What XWayland was given before this refresh shows first.
    xQueue_.sync([] {});
    // Where only motion shows a new theme, a cover would do nothing but hide
    // the pointer of an X program under it and swallow its clicks.
    if (desktop_->restingPointer() != CursorThemeSetting::RestingPointer::followsAWindowShownOverIt)
        return;
    // Programs hear of the new theme through their main loops: one that
    // sees the pointer come back before it has taken the change in sets the
    // old theme's cursor again.
    std::this_thread::sleep_for(std::chrono::milliseconds(settleMilliseconds));
    // While the shell holds the pointer, as its input-source switcher does
    // for a moment after the shortcut, the window never gets it: it is shown
    // again until it does, unless a newer refresh is on its way.
    auto look = [this] { desktop_->lookUnderPointer(); };
    for (int attempt = 1; reentry_.run(look) == PointerReentry::Outcome::missed; ++attempt) {
        if (attempt == coverAttempts || refreshIsPending())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(coverRetryMilliseconds));
    }
}

bool ThemeWindowServer::refreshIsPending()
{
    std::lock_guard lock(mutex_);
    return refreshPending_;
}

std::vector<int> ThemeWindowServer::nominalSizes() const
{
    // The desktop's size, and twice that for screens scaled by two.
    return {size_, 2 * size_};
}

CGImageRef ThemeWindowServer::createRegisteredImage(CGSConnectionID connection, const char* name, CGPoint* hotSpot)
{
    if (connection != connectionID || !name)
        return nullptr;
    std::lock_guard lock(mutex_);
    auto record = recordFor(name, CursorNameMap::xNames(name));
    auto frames = record ? CursorFrames::fromRecord(*record, size_ / pointsNominalSize) : std::nullopt;
    if (!frames)
        return nullptr;
    if (hotSpot)
        *hotSpot = {static_cast<CGFloat>(frames->xHot), static_cast<CGFloat>(frames->yHot)};
    return frames->createImage();
}

CGSError ThemeWindowServer::removeRegistered(CGSConnectionID connection, const char* name)
{
    if (connection != connectionID)
        return invalidConnection;
    if (!name)
        return illegalArgument;
    std::lock_guard lock(mutex_);
    alsoForX([name = std::string(name)](X11WindowServer& x, CGSConnectionID connection) {
        x.removeRegistered(connection, name.c_str());
    });
    if (registrations_[selected_].erase(name) == 0)
        return noneAvailable;
    dirty_ = true;
    return success;
}

CGSError ThemeWindowServer::unregisterAll(CGSConnectionID connection)
{
    if (connection != connectionID)
        return invalidConnection;
    std::lock_guard lock(mutex_);
    alsoForX([](X11WindowServer& x, CGSConnectionID connection) { x.unregisterAll(connection); });
    registrations_.clear();
    dirty_ = false;
    ++seed_;
    // An apply selects its set and may then start from the theme's cursors;
    // a reset with no selection since the last activation is the restore.
    if (std::exchange(selectedSinceReset_, false))
        return success;
    selected_.clear();
    ++generation_;
    if (!shown_)
        return success;
    if (!desktop_->restore())
        return cannotComplete;
    ThemeFolder::unlinkAll(iconsFolder_);
    shown_.reset();
    refreshRestingPointerSoon();
    return success;
}

// The compositor owns the pointer; a client cannot hide it for everyone.
CGSError ThemeWindowServer::hide(CGSConnectionID connection)
{
    return connection == connectionID ? success : invalidConnection;
}

CGSError ThemeWindowServer::show(CGSConnectionID connection)
{
    return connection == connectionID ? success : invalidConnection;
}

// The desktop scales cursors itself; the value is only kept for reading back.
CGSError ThemeWindowServer::scale(CGSConnectionID connection, float* scale)
{
    if (connection != connectionID)
        return invalidConnection;
    if (!scale)
        return illegalArgument;
    std::lock_guard lock(mutex_);
    *scale = scale_;
    return success;
}

CGSError ThemeWindowServer::setScale(CGSConnectionID connection, float scale)
{
    if (connection != connectionID)
        return invalidConnection;
    if (!(scale > 0))
        return illegalArgument;
    std::lock_guard lock(mutex_);
    scale_ = scale;
    alsoForX([scale](X11WindowServer& x, CGSConnectionID connection) { x.setScale(connection, scale); });
    return success;
}

std::optional<CursorFrames> ThemeWindowServer::currentFrames()
{
    auto record = recordFor(current_, CursorNameMap::xNames(current_));
    return record ? CursorFrames::fromRecord(*record, size_ / pointsNominalSize) : std::nullopt;
}

CGSError ThemeWindowServer::globalCursorDataSize(CGSConnectionID connection, std::int32_t* byteCount)
{
    if (connection != connectionID)
        return invalidConnection;
    if (!byteCount)
        return illegalArgument;
    std::lock_guard lock(mutex_);
    auto frames = currentFrames();
    if (!frames || frames->frames.empty())
        return cannotComplete;
    *byteCount = frames->width * frames->height * 4;
    return success;
}

CGSError ThemeWindowServer::globalCursorData(CGSConnectionID connection, void* buffer, std::int32_t* byteCount,
                                             CGSize* size, CGPoint* hotSpot)
{
    if (connection != connectionID)
        return invalidConnection;
    if (!buffer || !byteCount || !size || !hotSpot)
        return illegalArgument;
    std::lock_guard lock(mutex_);
    auto frames = currentFrames();
    if (!frames || frames->frames.empty())
        return cannotComplete;
    const auto& pixels = frames->frames.front();
    if (*byteCount < 0 || static_cast<std::size_t>(*byteCount) < pixels.size() * 4) {
        *byteCount = 0;
        return rangeCheck;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    for (std::uint32_t pixel : pixels)
        for (int b = 0; b < 4; ++b)
            *bytes++ = static_cast<unsigned char>(pixel >> (8 * b));
    *byteCount = static_cast<std::int32_t>(pixels.size() * 4);
    *size = {static_cast<CGFloat>(frames->width), static_cast<CGFloat>(frames->height)};
    *hotSpot = {static_cast<CGFloat>(frames->xHot), static_cast<CGFloat>(frames->yHot)};
    return success;
}

CGSCursorSeed ThemeWindowServer::currentSeed()
{
    std::lock_guard lock(mutex_);
    return seed_;
}
