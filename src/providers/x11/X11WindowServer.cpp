#include "providers/x11/X11WindowServer.h"

#include "platform/stockcursors/ThemeCursorFrame.h"

#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

struct FreeWithXFree {
    void operator()(void* data) const { XFree(data); }
};
using CursorImage = std::unique_ptr<XFixesCursorImage, FreeWithXFree>;

bool containsName(CursorNameMap::XNames names, const std::string& xName)
{
    for (const char* name : names) {
        if (xName == name)
            return true;
    }
    return false;
}

}

X11WindowServer& X11WindowServer::shared()
{
    static X11WindowServer server;
    return server;
}

CGSError X11WindowServer::check(CGSConnectionID connection)
{
    if (!connection_.usable() || connection != connection_.number())
        return invalidConnection;
    return success;
}

CursorTheme& X11WindowServer::theme()
{
    if (!theme_)
        theme_.emplace(connection_.display());
    return *theme_;
}

std::optional<CursorFrames> X11WindowServer::framesAtCurrentScale(const CursorRecord& record,
                                                                  CursorNameMap::XNames xNames)
{
    if (!limit_) {
        // Asked for far more than any cursor needs, the server answers with
        // the largest it takes.
        unsigned int width = 0, height = 0;
        X11Connection::Trap trap(connection_);
        Status answered = XQueryBestCursor(connection_.display(), connection_.root(), 0x7FFF, 0x7FFF, &width, &height);
        limit_ = CursorFrames::Limit{CursorFrames::largestCursorSide, CursorFrames::largestCursorSide};
        if (trap.finish() == 0 && answered && width > 0 && height > 0)
            limit_ = CursorFrames::Limit{static_cast<int>(std::min<unsigned>(width, CursorFrames::largestCursorSide)),
                                         static_cast<int>(std::min<unsigned>(height, CursorFrames::largestCursorSide))};
    }
    auto frames = CursorFrames::fromRecord(record, pixelsPerPoint(), *limit_);
    if (!frames)
        return std::nullopt;
    auto own = themeOwn(xNames, *frames);
    return own ? own : frames;
}

std::optional<CursorFrames> X11WindowServer::themeOwn(CursorNameMap::XNames xNames, const CursorFrames& frames)
{
    if (xNames.empty() || frames.width != frames.height)
        return std::nullopt;
    auto own = theme().frames(xNames);
    if (!own || own->frames.size() != frames.frames.size() || own->xHot != frames.xHot || own->yHot != frames.yHot)
        return std::nullopt;
    for (std::size_t i = 0; i < own->frames.size(); ++i) {
        if (ThemeCursorFrame::padded(own->frames[i].data(), own->width, own->height, frames.width) != frames.frames[i])
            return std::nullopt;
    }
    return own;
}

int X11WindowServer::pixelsPerPoint()
{
    return std::max(1, static_cast<int>(std::lround(scale_ * theme().pixelsPerPoint())));
}

CGSError X11WindowServer::finish(X11Connection::Trap& trap)
{
    if (trap.finish() == 0)
        return success;
    return connection_.lost() ? invalidConnection : cannotComplete;
}

CGSError X11WindowServer::finishWithSeed(X11Connection::Trap& trap, CGSCursorSeed* seed)
{
    // Once the server has done the requests, the notifications of the
    // cursors they showed have arrived too.
    if (trap.finish() != 0 || !serial_.update())
        return connection_.lost() ? invalidConnection : cannotComplete;
    *seed = serial_.last();
    return success;
}

CGSConnectionID X11WindowServer::mainConnectionID()
{
    std::lock_guard lock(mutex_);
    return connection_.usable() ? connection_.number() : 0;
}

CGSError X11WindowServer::registerCursor(CGSConnectionID connection, const char* name, const CursorRecord& record,
                                         CGSCursorSeed* seed)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    if (!name || !seed)
        return illegalArgument;
    return registerLocked(name, record, seed);
}

CGSError X11WindowServer::registerSingleImage(CGSConnectionID connection, const char* name, CGImageRef image,
                                              CGSize size, CGPoint hotSpot, CGSCursorSeed* seed)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    if (!name || !seed || CFGetTypeID(image) != CGImageGetTypeID())
        return illegalArgument;
    auto held = registrations_.find(name);
    if (held != registrations_.end()) {
        const CursorRecord& record = held->second.record;
        bool sameCursor = CFArrayGetValueAtIndex(record.images.get(), 0) == image &&
                          record.size.width == size.width && record.size.height == size.height &&
                          record.hotSpot.x == hotSpot.x && record.hotSpot.y == hotSpot.y;
        // Nothing changes on screen, so the seed is the one last seen.
        if (sameCursor) {
            *seed = serial_.last();
            return success;
        }
    }
    CursorRecord record;
    record.size = size;
    record.hotSpot = hotSpot;
    CFTypeRef value = image;
    record.images = CFRef<CFArrayRef>::adopt(CFArrayCreate(&value, 1));
    if (!record.images)
        return failure;
    return registerLocked(name, record, seed);
}

CGSError X11WindowServer::registerLocked(const std::string& name, const CursorRecord& record, CGSCursorSeed* seed)
{
    CursorNameMap::XNames xNames = CursorNameMap::xNames(name);
    auto frames = framesAtCurrentScale(record, xNames);
    if (!frames)
        return illegalArgument;
    Registration registration{record, std::move(*frames), pixelsPerPoint()};
    Display* display = connection_.display();
    X11Connection::Trap trap(connection_);
    bool created = true;
    if (xNames.empty()) {
        registration.privateCursor = registration.frames.createCursor(display, nullptr);
        created = registration.privateCursor != None;
    } else {
        std::vector<Cursor> cursors = registration.frames.createCursors(display, xNames);
        created = !cursors.empty();
        std::vector<std::uint64_t> hashes = CursorFollower::imageHashes(registration.frames);
        for (std::size_t i = 0; i < cursors.size(); ++i)
            install(xNames[i], cursors[i], hashes, xNames, name);
    }
    CGSError status = finishWithSeed(trap, seed);
    if (status == success && !created)
        status = cannotComplete;
    if (status != success) {
        forget(registration);
        return status;
    }
    auto held = registrations_.find(name);
    if (held != registrations_.end()) {
        forget(held->second);
        held->second = std::move(registration);
    } else {
        registrations_.emplace(name, std::move(registration));
    }
    return success;
}

void X11WindowServer::install(const char* xName, Cursor cursor, const std::vector<std::uint64_t>& frameHashes,
                              CursorNameMap::XNames group, const std::string& owner)
{
    Display* display = connection_.display();
    // Followed before it is shown, so the follower never puts back the
    // cursor this one replaces.
    follower_.follow(xName, cursor, frameHashes);
    XFixesChangeCursorByName(display, cursor, xName);
    Installed& installed = installed_[xName];
    // Windows keep the replaced cursor alive in the server as long as they
    // show it; only the provider's handle goes.
    if (installed.cursor != None)
        XFreeCursor(display, installed.cursor);
    installed = {cursor, group, owner};
}

void X11WindowServer::rebuildAtCurrentScale()
{
    Display* display = connection_.display();
    for (auto& [name, registration] : registrations_) {
        if (registration.pixelsPerPoint == pixelsPerPoint())
            continue;
        auto frames = framesAtCurrentScale(registration.record, CursorNameMap::xNames(name));
        if (!frames)
            continue;
        registration.frames = std::move(*frames);
        registration.pixelsPerPoint = pixelsPerPoint();
        if (registration.privateCursor != None) {
            Cursor cursor = registration.frames.createCursor(display, nullptr);
            if (cursor != None) {
                XFreeCursor(display, registration.privateCursor);
                registration.privateCursor = cursor;
            }
            continue;
        }
        // Only the X names that still show this registration's cursor.
        std::vector<const char*> shown;
        for (const auto& [xName, installed] : installed_) {
            if (installed.owner == name)
                shown.push_back(xName.c_str());
        }
        std::vector<Cursor> cursors = registration.frames.createCursors(display, shown);
        std::vector<std::uint64_t> hashes = CursorFollower::imageHashes(registration.frames);
        for (std::size_t i = 0; i < cursors.size(); ++i) {
            Installed& installed = installed_[shown[i]];
            install(shown[i], cursors[i], hashes, installed.group, name);
        }
    }
}

void X11WindowServer::forget(Registration& registration)
{
    if (registration.privateCursor != None && !connection_.lost())
        XFreeCursor(connection_.display(), registration.privateCursor);
    registration.privateCursor = None;
}

CGSError X11WindowServer::copyRegistered(CGSConnectionID connection, const char* name, CursorRecord& record)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    if (!name)
        return illegalArgument;
    return copyLocked(name, CursorNameMap::xNames(name), record);
}

CGSError X11WindowServer::copySystemCursor(CGSConnectionID connection, CGSCursorID cursor, CursorRecord& record)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    const char* name = CursorNameMap::systemCursorName(cursor);
    if (!name)
        return rangeCheck;
    return copyLocked("com.apple.cursor." + std::to_string(cursor), CursorNameMap::xNames(cursor), record);
}

CGSError X11WindowServer::copyLocked(const std::string& name, CursorNameMap::XNames xNames, CursorRecord& record)
{
    auto held = registrations_.find(name);
    if (held != registrations_.end()) {
        record = held->second.record;
        return success;
    }
    auto themed = theme().record(xNames);
    if (!themed)
        return noneAvailable;
    record = std::move(*themed);
    return success;
}

CGSError X11WindowServer::setRegistered(CGSConnectionID connection, const char* name, CGSCursorSeed* seed)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    if (!name || !seed)
        return illegalArgument;
    return makeCurrent(name, CursorNameMap::xNames(name), seed);
}

CGSError X11WindowServer::setSystemCursor(CGSConnectionID connection, CGSCursorID cursor, CGSCursorSeed* seed)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    if (!CursorNameMap::systemCursorName(cursor))
        return rangeCheck;
    return makeCurrent("com.apple.cursor." + std::to_string(cursor), CursorNameMap::xNames(cursor), seed);
}

CGSError X11WindowServer::makeCurrent(const std::string& name, CursorNameMap::XNames xNames, CGSCursorSeed* seed)
{
    Display* display = connection_.display();
    X11Connection::Trap trap(connection_);
    rebuildAtCurrentScale();
    Cursor cursor = None;
    bool ownedHere = false;
    for (const char* xName : xNames) {
        auto installed = installed_.find(xName);
        if (installed != installed_.end()) {
            cursor = installed->second.cursor;
            break;
        }
    }
    auto held = registrations_.find(name);
    if (cursor == None && held != registrations_.end())
        cursor = held->second.privateCursor;
    if (cursor == None) {
        // Named after the X name, so that a later change by name reaches the
        // root window too.
        if (auto frames = theme().frames(xNames))
            cursor = frames->createCursor(display, xNames.front());
        ownedHere = cursor != None;
    }
    if (cursor == None)
        return noneAvailable;
    XDefineCursor(display, connection_.root(), cursor);
    if (ownedHere)
        XFreeCursor(display, cursor);
    return seed ? finishWithSeed(trap, seed) : finish(trap);
}

CGImageRef X11WindowServer::createRegisteredImage(CGSConnectionID connection, const char* name, CGPoint* hotSpot)
{
    std::lock_guard lock(mutex_);
    if (check(connection) != success || !name)
        return nullptr;
    auto held = registrations_.find(name);
    std::optional<CursorFrames> themed;
    const CursorFrames* frames = nullptr;
    if (held != registrations_.end()) {
        frames = &held->second.frames;
    } else {
        themed = theme().frames(CursorNameMap::xNames(name));
        frames = themed ? &*themed : nullptr;
    }
    if (!frames)
        return nullptr;
    if (hotSpot)
        *hotSpot = {static_cast<CGFloat>(frames->xHot), static_cast<CGFloat>(frames->yHot)};
    return frames->createImage();
}

CGSError X11WindowServer::removeRegistered(CGSConnectionID connection, const char* name)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    if (!name)
        return illegalArgument;
    auto held = registrations_.find(name);
    if (held == registrations_.end())
        return noneAvailable;
    forget(held->second);
    registrations_.erase(held);
    X11Connection::Trap trap(connection_);
    for (const char* xName : CursorNameMap::xNames(name)) {
        bool stillRegistered = false;
        for (const auto& [other, registration] : registrations_)
            stillRegistered = stillRegistered || containsName(CursorNameMap::xNames(other), xName);
        auto installed = installed_.find(xName);
        if (stillRegistered || installed == installed_.end())
            continue;
        putThemeBack(xName, installed->second);
        installed_.erase(installed);
    }
    if (installed_.empty())
        follower_.stop();
    return finish(trap);
}

CGSError X11WindowServer::unregisterAll(CGSConnectionID connection)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    X11Connection::Trap trap(connection_);
    for (const auto& [xName, installed] : installed_)
        putThemeBack(xName, installed);
    installed_.clear();
    follower_.stop();
    for (auto& [name, registration] : registrations_)
        forget(registration);
    registrations_.clear();
    return finish(trap);
}

void X11WindowServer::putThemeBack(const std::string& xName, const Installed& installed)
{
    Display* display = connection_.display();
    follower_.forget(xName);
    // A theme without this very name gets the first name of the same meaning
    // it has, so no decorated cursor stays behind.
    const char* own[] = {xName.c_str()};
    auto frames = theme().frames(own);
    if (!frames)
        frames = theme().frames(installed.group);
    Cursor original = frames ? frames->createCursor(display, xName.c_str()) : None;
    if (original == None) {
        // The core cursor font still has the classic names.
        original = XcursorLibraryLoadCursor(display, xName.c_str());
        if (original != None)
            XFixesSetCursorName(display, original, xName.c_str());
    }
    if (original != None) {
        XFixesChangeCursorByName(display, original, xName.c_str());
        XFreeCursor(display, original);
    }
    XFreeCursor(display, installed.cursor);
}

CGSError X11WindowServer::hide(CGSConnectionID connection)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    X11Connection::Trap trap(connection_);
    XFixesHideCursor(connection_.display(), connection_.root());
    CGSError status = finish(trap);
    if (status == success)
        ++hideCount_;
    return status;
}

CGSError X11WindowServer::show(CGSConnectionID connection)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    // X counts hides per client and rejects a show without one; a cursor
    // that is not hidden is simply shown already.
    X11Connection::Trap trap(connection_);
    rebuildAtCurrentScale();
    bool wasHidden = hideCount_ > 0;
    if (wasHidden)
        XFixesShowCursor(connection_.display(), connection_.root());
    CGSError status = finish(trap);
    if (status == success && wasHidden)
        --hideCount_;
    return status;
}

CGSError X11WindowServer::scale(CGSConnectionID connection, float* scale)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    if (!scale)
        return illegalArgument;
    *scale = scale_;
    return success;
}

CGSError X11WindowServer::setScale(CGSConnectionID connection, float scale)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    if (!std::isfinite(scale) || scale <= 0)
        return illegalArgument;
    scale_ = scale;
    return success;
}

XFixesCursorImage* X11WindowServer::cursorOnScreen()
{
    X11Connection::Trap trap(connection_);
    XFixesCursorImage* image = XFixesGetCursorImage(connection_.display());
    if (trap.finish() != 0 && image) {
        XFree(image);
        return nullptr;
    }
    return image;
}

CGSCursorSeed X11WindowServer::currentSeed()
{
    std::lock_guard lock(mutex_);
    if (!connection_.usable() || !serial_.update())
        return 0;
    return serial_.last();
}

CGSError X11WindowServer::globalCursorDataSize(CGSConnectionID connection, std::int32_t* byteCount)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    if (!byteCount)
        return illegalArgument;
    CursorImage image(cursorOnScreen());
    if (!image)
        return connection_.lost() ? invalidConnection : cannotComplete;
    *byteCount = static_cast<std::int32_t>(image->width) * image->height * 4;
    return success;
}

CGSError X11WindowServer::globalCursorData(CGSConnectionID connection, void* buffer, std::int32_t* byteCount,
                                           CGSize* size, CGPoint* hotSpot, std::int32_t* depth,
                                           std::int32_t* components, std::int32_t* bitsPerComponent)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    if (!buffer || !byteCount || !size || !hotSpot || !depth || !components || !bitsPerComponent)
        return illegalArgument;
    CursorImage image(cursorOnScreen());
    if (!image)
        return connection_.lost() ? invalidConnection : cannotComplete;
    std::size_t pixelCount = static_cast<std::size_t>(image->width) * image->height;
    // The cursor may have changed since the size was asked for; a buffer too
    // small for this one gets nothing rather than part of a cursor.
    if (*byteCount < 0 || static_cast<std::size_t>(*byteCount) < pixelCount * 4) {
        *byteCount = 0;
        return rangeCheck;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    for (std::size_t i = 0; i < pixelCount; ++i) {
        auto pixel = static_cast<std::uint32_t>(image->pixels[i]);
        for (int b = 0; b < 4; ++b)
            *bytes++ = static_cast<unsigned char>(pixel >> (8 * b));
    }
    *byteCount = static_cast<std::int32_t>(pixelCount * 4);
    *size = {static_cast<CGFloat>(image->width), static_cast<CGFloat>(image->height)};
    *hotSpot = {static_cast<CGFloat>(image->xhot), static_cast<CGFloat>(image->yhot)};
    *depth = 32;
    *components = 4;
    *bitsPerComponent = 8;
    return success;
}

std::optional<CGPoint> X11WindowServer::pointerLocation()
{
    std::lock_guard lock(mutex_);
    if (!connection_.usable())
        return std::nullopt;
    Window rootReturn = None, child = None;
    int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
    unsigned int mask = 0;
    X11Connection::Trap trap(connection_);
    Bool sameScreen = XQueryPointer(connection_.display(), connection_.root(), &rootReturn, &child, &rootX, &rootY,
                                    &windowX, &windowY, &mask);
    if (trap.finish() != 0 || !sameScreen)
        return std::nullopt;
    return CGPoint{static_cast<CGFloat>(rootX), static_cast<CGFloat>(rootY)};
}

std::optional<CGFloat> X11WindowServer::screenHeight()
{
    std::lock_guard lock(mutex_);
    if (!connection_.usable())
        return std::nullopt;
    return static_cast<CGFloat>(DisplayHeight(connection_.display(), DefaultScreen(connection_.display())));
}

void X11WindowServer::postMouseMoved(CGPoint location)
{
    std::lock_guard lock(mutex_);
    if (!connection_.usable() || !connection_.hasXTest() || !std::isfinite(location.x) || !std::isfinite(location.y))
        return;
    auto coordinate = [](CGFloat value) {
        return static_cast<int>(std::clamp<CGFloat>(std::lround(value), std::numeric_limits<short>::min(),
                                                    std::numeric_limits<short>::max()));
    };
    X11Connection::Trap trap(connection_);
    XTestFakeMotionEvent(connection_.display(), -1, coordinate(location.x), coordinate(location.y), CurrentTime);
    trap.finish();
}
