#include "providers/x11/X11WindowServer.h"

#include "providers/ProviderLog.h"

#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

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

std::optional<CursorFrames> X11WindowServer::buildFrames(const std::string& name, const CursorRecord& record,
                                                         int pixelsPerPoint)
{
    return frameMaker_.make(record, CursorNameMap::xNames(name), pixelsPerPoint, theme());
}

InstalledNames::Source X11WindowServer::sourceOf(const Registration& registration)
{
    return {registration.record, registration.pixelsPerPoint, *registration.frames, registration.hashes,
            registration.themeHashes};
}

const CursorFrames* X11WindowServer::framesOf(const std::string& name, Registration& registration)
{
    if (!registration.frames) {
        registration.frames = buildFrames(name, registration.record, registration.pixelsPerPoint);
        if (!registration.frames)
            return nullptr;
        registration.hashes = CursorFollower::imageHashes(*registration.frames);
        registration.themeHashes = themeHashesOf(name);
    }
    return &*registration.frames;
}

// Every X name's own image: a program that names none of its cursors may
// have found the meaning under another name than the one preferred here (Qt
// asks for ibeam first, a theme may carry it from the theme it inherits).
std::vector<std::uint64_t> X11WindowServer::themeHashesOf(const std::string& name)
{
    std::vector<std::uint64_t> hashes;
    for (const char* xName : CursorNameMap::xNames(name)) {
        const char* only[] = {xName};
        if (auto themed = theme().frames(only)) {
            auto more = CursorFollower::imageHashes(*themed);
            hashes.insert(hashes.end(), more.begin(), more.end());
        }
    }
    return hashes;
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
    // Reading the cursor on screen is the round trip: once it is answered,
    // the server has done the requests and shows what they showed.
    if (!screen_.settle() || trap.finishAfterReply() != 0)
        return connection_.lost() ? invalidConnection : cannotComplete;
    *seed = screen_.serial();
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
            *seed = screen_.serial();
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
    if (!CursorFrames::hasUsableImage(record))
        return illegalArgument;
    CursorNameMap::XNames xNames = CursorNameMap::xNames(name);
    Registration registration;
    registration.record = record;
    registration.pixelsPerPoint = pixelsPerPoint();
    X11Connection::Trap trap(connection_);
    if (xNames.empty()) {
        // Kept by the provider alone, and only ever made current by name.
        const CursorFrames* frames = framesOf(name, registration);
        if (!frames)
            return illegalArgument;
        registration.privateCursor = frames->createCursor(connection_.display(), nullptr);
        CGSError status = finishWithSeed(trap, seed);
        if (status == success && registration.privateCursor == None)
            status = cannotComplete;
        if (status != success) {
            forget(registration);
            return status;
        }
    }
    auto held = registrations_.find(name);
    if (held != registrations_.end()) {
        forget(held->second);
        held->second = std::move(registration);
    } else {
        registrations_.emplace(name, std::move(registration));
    }
    if (xNames.empty())
        return success;
    // The newest registration of an X name is what it is to show, as it
    // would be had every registration been installed in turn.
    names_.await(xNames, name);
    if (!screen_.update())
        return connection_.lost() ? invalidConnection : cannotComplete;
    if (!containsName(xNames, screen_.name())) {
        installer_.request();
        *seed = screen_.serial();
        return success;
    }
    installWaiting(xNames);
    return finishWithSeed(trap, seed);
}

void X11WindowServer::installWaiting(CursorNameMap::XNames xNames)
{
    for (auto& [owner, waiting] : names_.takeWaiting(xNames)) {
        auto held = registrations_.find(owner);
        if (held == registrations_.end())
            continue;
        Registration& registration = held->second;
        // An X name already showing these very images keeps its cursor.
        std::erase_if(waiting, [&](const std::string& xName) {
            return names_.shows(xName, owner, registration.record, registration.pixelsPerPoint);
        });
        if (waiting.empty() || !framesOf(owner, registration))
            continue;
        // The cursor on screen first: it is the one anybody sees.
        std::stable_partition(waiting.begin(), waiting.end(),
                              [&](const std::string& xName) { return xName == screen_.name(); });
        names_.install(waiting, owner, sourceOf(registration));
    }
}

void X11WindowServer::installWaitingNow()
{
    std::lock_guard lock(mutex_);
    if (!connection_.usable())
        return;
    X11Connection::Trap trap(connection_);
    installWaiting();
    if (int error = trap.finish(); error != 0 && !connection_.lost())
        ProviderLog::write(ProviderLog::Level::error,
                           "X cursors could not be installed by name: X error " + std::to_string(error));
}

bool X11WindowServer::settleScreen()
{
    if (!screen_.settle())
        return false;
    std::string shown = screen_.name();
    if (!names_.waiting(shown))
        return true;
    const char* names[] = {shown.c_str()};
    X11Connection::Trap trap(connection_);
    installWaiting(names);
    trap.finish();
    return screen_.settle();
}

const XFixesCursorImage* X11WindowServer::imageOnScreen()
{
    const XFixesCursorImage* image = settleScreen() ? screen_.image() : nullptr;
    // The reading may be the first to name a cursor just shown.
    if (image && names_.waiting(screen_.name()))
        image = settleScreen() ? screen_.image() : nullptr;
    return image;
}

void X11WindowServer::rebuildAtCurrentScale()
{
    Display* display = connection_.display();
    for (auto& [name, registration] : registrations_) {
        if (registration.pixelsPerPoint == pixelsPerPoint())
            continue;
        auto frames = buildFrames(name, registration.record, pixelsPerPoint());
        if (!frames)
            continue;
        registration.frames = std::move(*frames);
        registration.hashes = CursorFollower::imageHashes(*registration.frames);
        registration.pixelsPerPoint = pixelsPerPoint();
        if (registration.privateCursor != None) {
            Cursor cursor = registration.frames->createCursor(display, nullptr);
            if (cursor != None) {
                XFreeCursor(display, registration.privateCursor);
                registration.privateCursor = cursor;
            }
            continue;
        }
        // Only the X names that show this registration's cursor; those still
        // waiting get the new frames when they are installed.
        names_.install(names_.namesShowing(name), name, sourceOf(registration));
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
    // What the name is to show, installed first; a name X has none for would
    // install every one.
    if (!xNames.empty())
        installWaiting(xNames);
    rebuildAtCurrentScale();
    Cursor cursor = names_.cursorOf(xNames);
    bool ownedHere = false;
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
    // Defined again even when it is the one defined last, as something else
    // may have set the root window's cursor since; but only a new one is
    // waited for: the arrow names are made current a dozen times a switch.
    bool changed = cursor != names_.rootCursor();
    XDefineCursor(display, connection_.root(), cursor);
    names_.setRootCursor(ownedHere ? None : cursor);
    if (ownedHere)
        XFreeCursor(display, cursor);
    if (changed)
        return seed ? finishWithSeed(trap, seed) : finish(trap);
    XFlush(display);
    if (seed)
        *seed = screen_.serial();
    return success;
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
        frames = framesOf(name, held->second);
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
    // Taken away from what is shown, as if everything had been shown.
    X11Connection::Trap trap(connection_);
    installWaiting();
    forget(held->second);
    registrations_.erase(held);
    for (const char* xName : CursorNameMap::xNames(name)) {
        bool stillRegistered = false;
        for (const auto& [other, registration] : registrations_)
            stillRegistered = stillRegistered || containsName(CursorNameMap::xNames(other), xName);
        if (!stillRegistered)
            names_.putBack(xName, theme());
    }
    return finish(trap);
}

CGSError X11WindowServer::unregisterAll(CGSConnectionID connection)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    X11Connection::Trap trap(connection_);
    names_.putAllBack(theme());
    for (auto& [name, registration] : registrations_)
        forget(registration);
    registrations_.clear();
    return finish(trap);
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

CGSCursorSeed X11WindowServer::currentSeed()
{
    std::lock_guard lock(mutex_);
    if (!connection_.usable() || !settleScreen())
        return 0;
    return screen_.serial();
}

CGSError X11WindowServer::globalCursorDataSize(CGSConnectionID connection, std::int32_t* byteCount)
{
    std::lock_guard lock(mutex_);
    if (CGSError error = check(connection))
        return error;
    if (!byteCount)
        return illegalArgument;
    const XFixesCursorImage* image = imageOnScreen();
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
    const XFixesCursorImage* image = imageOnScreen();
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
        for (int b = 0; b < 4; ++b)
            *bytes++ = static_cast<unsigned char>(static_cast<std::uint32_t>(image->pixels[i]) >> (8 * b));
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
