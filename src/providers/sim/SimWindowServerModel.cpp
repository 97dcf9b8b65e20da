#include "providers/sim/SimWindowServerModel.h"

#include "providers/sim/SimCallText.h"
#include "providers/sim/SimSystemCursors.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using namespace SimCallText;

bool isImage(CFTypeRef object)
{
    return object && CFGetTypeID(object) == CGImageGetTypeID();
}

bool isPositive(CGSize size)
{
    return size.width > 0 && size.height > 0;
}

const CursorSnapshot& stockCursor(SimCursorArt::Shape shape)
{
    static const std::map<SimCursorArt::Shape, CursorSnapshot> cursors = [] {
        std::map<SimCursorArt::Shape, CursorSnapshot> all;
        for (auto shape : {SimCursorArt::Shape::arrow, SimCursorArt::Shape::iBeam, SimCursorArt::Shape::pointingHand,
                           SimCursorArt::Shape::resizeLeftRight, SimCursorArt::Shape::resizeUpDown,
                           SimCursorArt::Shape::resizeNorthWestSouthEast,
                           SimCursorArt::Shape::resizeNorthEastSouthWest, SimCursorArt::Shape::wait})
            all.emplace(shape, SimCursorArt::cursor(shape));
        return all;
    }();
    return cursors.at(shape);
}

CFArrayRef createImageList(const CursorSnapshot& cursor)
{
    std::vector<CFTypeRef> values;
    for (const auto& image : cursor.images)
        values.push_back(image.get());
    return CFArrayCreate(values.data(), static_cast<CFIndex>(values.size()));
}

SimCursorContents contentsOf(const CursorSnapshot& cursor, bool registered)
{
    return {cursor.size, cursor.hotSpot, cursor.frameCount, cursor.frameDuration, createImageList(cursor), registered};
}

}

SimWindowServerModel& SimWindowServerModel::shared()
{
    static SimWindowServerModel model;
    return model;
}

SimWindowServerModel::SimWindowServerModel()
{
    reset();
}

CGSConnectionID SimWindowServerModel::mainConnectionID(const char* function)
{
    std::lock_guard lock(mutex_);
    record(function, "");
    return state_.connection;
}

CGSError SimWindowServerModel::registerCursorWithImages(const char* function, CGSConnectionID connection,
                                                        const char* name, bool setGlobally, bool instantly,
                                                        CGSize size, CGPoint hotSpot, std::uint64_t frameCount,
                                                        CGFloat frameDuration, CFArrayRef images,
                                                        CGSCursorSeed* seed)
{
    std::lock_guard lock(mutex_);
    CFIndex count = CFGetTypeID(images) == CFArrayGetTypeID() ? CFArrayGetCount(images) : 0;
    auto failure = begin(function, connection, nameText(name),
                         " name=" + nameText(name) + " setGlobally=" + boolean(setGlobally) + " instantly=" +
                             boolean(instantly) + " size=" + sizeText(size) + " hotSpot=" + pointText(hotSpot) +
                             " frames=" + std::to_string(frameCount) + " frameDuration=" + number(frameDuration) +
                             " images=" + std::to_string(count));
    if (failure)
        return *failure;
    if (!name || !*name || count == 0 || frameCount == 0 || !isPositive(size) || !seed)
        return SimWindowServerErrorIllegalArgument;
    CursorSnapshot cursor{size, hotSpot, frameCount, frameDuration, {}};
    for (CFIndex i = 0; i < count; ++i) {
        CFTypeRef value = CFArrayGetValueAtIndex(images, i);
        if (!isImage(value))
            return SimWindowServerErrorIllegalArgument;
        cursor.images.push_back(CFRef<CGImageRef>::retain(static_cast<CGImageRef>(value)));
    }
    state_.registered[name] = std::move(cursor);
    *seed = nextSeed();
    return 0;
}

CGSError SimWindowServerModel::registerCursorWithImage(const char* function, CGSConnectionID connection,
                                                       const char* name, bool setGlobally, bool instantly,
                                                       std::int32_t reserved, CGImageRef image, CGSize size,
                                                       CGPoint hotSpot, CGSCursorSeed* seed, CGFloat scaleX,
                                                       CGFloat scaleY)
{
    std::lock_guard lock(mutex_);
    std::string imageText = isImage(image) ? std::to_string(CGImageGetWidth(image)) + "x" +
                                                 std::to_string(CGImageGetHeight(image))
                                           : "none";
    auto failure = begin(function, connection, nameText(name),
                         " name=" + nameText(name) + " setGlobally=" + boolean(setGlobally) + " instantly=" +
                             boolean(instantly) + " reserved=" + std::to_string(reserved) + " image=" + imageText +
                             " size=" + sizeText(size) + " hotSpot=" + pointText(hotSpot) + " scale=(" +
                             number(scaleX) + "," + number(scaleY) + ")");
    if (failure)
        return *failure;
    if (!name || !*name || !isImage(image) || !isPositive(size) || !seed)
        return SimWindowServerErrorIllegalArgument;
    state_.registered[name] = CursorSnapshot{size, hotSpot, 1, 0.0, {CFRef<CGImageRef>::retain(image)}};
    *seed = nextSeed();
    return 0;
}

CGSError SimWindowServerModel::copyRegisteredCursorImages(const char* function, CGSConnectionID connection,
                                                          const char* name, CGSize* size, CGPoint* hotSpot,
                                                          std::uint64_t* frameCount, CGFloat* frameDuration,
                                                          CFArrayRef* images)
{
    std::lock_guard lock(mutex_);
    if (auto failure = begin(function, connection, nameText(name), " name=" + nameText(name)))
        return *failure;
    auto cursor = name ? cursorNamed(name) : std::nullopt;
    if (!cursor || !size || !hotSpot || !frameCount || !frameDuration || !images)
        return SimWindowServerErrorIllegalArgument;
    *size = cursor->size;
    *hotSpot = cursor->hotSpot;
    *frameCount = cursor->frameCount;
    *frameDuration = cursor->frameDuration;
    *images = createImageList(*cursor);
    return 0;
}

CGSError SimWindowServerModel::setRegisteredCursor(const char* function, CGSConnectionID connection,
                                                   const char* name, CGSCursorSeed* seed)
{
    std::lock_guard lock(mutex_);
    if (auto failure = begin(function, connection, nameText(name), " name=" + nameText(name)))
        return *failure;
    if (!name || !seed)
        return SimWindowServerErrorIllegalArgument;
    return activate(name, seed);
}

CGImageRef SimWindowServerModel::createRegisteredCursorImage(const char* function, CGSConnectionID connection,
                                                             const char* name, CGPoint* hotSpot)
{
    std::lock_guard lock(mutex_);
    if (begin(function, connection, nameText(name), " name=" + nameText(name)))
        return nullptr;
    auto cursor = name ? cursorNamed(name) : std::nullopt;
    if (!cursor || !hotSpot)
        return nullptr;
    *hotSpot = cursor->hotSpot;
    return static_cast<CGImageRef>(CFRetain(cursor->images.front().get()));
}

const char* SimWindowServerModel::cursorNameForSystemCursor(const char* function, CGSCursorID cursor)
{
    std::lock_guard lock(mutex_);
    std::string number = std::to_string(cursor);
    record(function, " cursor=" + number);
    if (injectedFailure(function, number))
        return nullptr;
    return SimSystemCursors::nameForNumber(cursor);
}

void SimWindowServerModel::setDockCursorOverride(const char* function, CGSConnectionID connection, bool enabled)
{
    std::lock_guard lock(mutex_);
    if (!begin(function, connection, "", " enabled=" + boolean(enabled)))
        state_.dockCursorOverride = enabled;
}

CGSError SimWindowServerModel::setNumberedCursor(const char* function, CGSConnectionID connection,
                                                 CGSCursorID cursor, CGSCursorSeed* seed)
{
    std::lock_guard lock(mutex_);
    std::string number = std::to_string(cursor);
    if (auto failure = begin(function, connection, number, " cursor=" + number))
        return *failure;
    CGSCursorSeed ignored = 0;
    return activate(SimSystemCursors::numberedName(cursor), seed ? seed : &ignored);
}

void SimWindowServerModel::setNumberedCursorWithoutStatus(const char* function, CGSConnectionID connection,
                                                          CGSCursorID cursor, CGSCursorSeed* seed)
{
    std::lock_guard lock(mutex_);
    std::string number = std::to_string(cursor);
    if (begin(function, connection, number, " cursor=" + number) || !seed)
        return;
    activate(SimSystemCursors::numberedName(cursor), seed);
}

CGSError SimWindowServerModel::showCursor(const char* function, CGSConnectionID connection)
{
    std::lock_guard lock(mutex_);
    if (auto failure = begin(function, connection, "", ""))
        return *failure;
    if (state_.hideCount > 0)
        --state_.hideCount;
    return 0;
}

CGSError SimWindowServerModel::hideCursor(const char* function, CGSConnectionID connection)
{
    std::lock_guard lock(mutex_);
    if (auto failure = begin(function, connection, "", ""))
        return *failure;
    ++state_.hideCount;
    return 0;
}

CGSError SimWindowServerModel::getCursorScale(const char* function, CGSConnectionID connection, float* scale)
{
    std::lock_guard lock(mutex_);
    if (auto failure = begin(function, connection, "", ""))
        return *failure;
    if (!scale)
        return SimWindowServerErrorIllegalArgument;
    *scale = state_.scale;
    return 0;
}

CGSError SimWindowServerModel::setCursorScale(const char* function, CGSConnectionID connection, float scale)
{
    std::lock_guard lock(mutex_);
    if (auto failure = begin(function, connection, "", " scale=" + number(scale)))
        return *failure;
    if (!std::isfinite(scale) || scale <= 0)
        return SimWindowServerErrorIllegalArgument;
    state_.scale = scale;
    return 0;
}

CGSError SimWindowServerModel::unregisterAll(const char* function, CGSConnectionID connection)
{
    std::lock_guard lock(mutex_);
    if (auto failure = begin(function, connection, "", ""))
        return *failure;
    state_.registered.clear();
    return 0;
}

CGSError SimWindowServerModel::copyNumberedCursorImages(const char* function, CGSConnectionID connection,
                                                        CGSCursorID cursor, CFArrayRef* images, CGSize* size,
                                                        CGPoint* hotSpot, std::uint64_t* frameCount,
                                                        CGFloat* frameDuration)
{
    std::lock_guard lock(mutex_);
    std::string number = std::to_string(cursor);
    if (auto failure = begin(function, connection, number, " cursor=" + number))
        return *failure;
    auto contents = cursorNamed(SimSystemCursors::numberedName(cursor));
    if (!contents || !images || !size || !hotSpot || !frameCount || !frameDuration)
        return SimWindowServerErrorIllegalArgument;
    *images = createImageList(*contents);
    *size = contents->size;
    *hotSpot = contents->hotSpot;
    *frameCount = contents->frameCount;
    *frameDuration = contents->frameDuration;
    return 0;
}

CGSError SimWindowServerModel::removeRegisteredCursor(const char* function, CGSConnectionID connection,
                                                      const char* name, bool flag)
{
    std::lock_guard lock(mutex_);
    if (auto failure = begin(function, connection, nameText(name), " name=" + nameText(name) + " flag=" + boolean(flag)))
        return *failure;
    auto found = name ? state_.registered.find(std::string_view(name)) : state_.registered.end();
    if (found == state_.registered.end())
        return SimWindowServerErrorIllegalArgument;
    state_.registered.erase(found);
    return 0;
}

CGSError SimWindowServerModel::getGlobalCursorDataSize(const char* function, CGSConnectionID connection,
                                                       std::int32_t* byteCount)
{
    std::lock_guard lock(mutex_);
    if (auto failure = begin(function, connection, "", ""))
        return *failure;
    if (!byteCount)
        return SimWindowServerErrorIllegalArgument;
    *byteCount = static_cast<std::int32_t>(state_.current.globalBytes.size()) + state_.globalDataOverReport;
    return 0;
}

CGSError SimWindowServerModel::getGlobalCursorData(const char* function, CGSConnectionID connection, void* buffer,
                                                   std::int32_t* byteCount, CGSize* size, CGPoint* hotSpot,
                                                   std::int32_t* depth, std::int32_t* components,
                                                   std::int32_t* bitsPerComponent, std::int32_t* reserved)
{
    std::lock_guard lock(mutex_);
    std::int32_t capacity = byteCount ? *byteCount : 0;
    if (auto failure = begin(function, connection, "", " capacity=" + std::to_string(capacity)))
        return *failure;
    if (!buffer || !byteCount || !size || !hotSpot || !depth || !components || !bitsPerComponent || !reserved)
        return SimWindowServerErrorIllegalArgument;
    const auto& bytes = state_.current.globalBytes;
    if (capacity < 0 || static_cast<size_t>(capacity) < bytes.size())
        return SimWindowServerErrorRangeCheck;
    std::memcpy(buffer, bytes.data(), bytes.size());
    *byteCount = static_cast<std::int32_t>(bytes.size());
    *size = state_.current.pixelSize;
    *hotSpot = state_.current.pixelHotSpot;
    *depth = 32;
    *components = 4;
    *bitsPerComponent = 8;
    *reserved = 0;
    return 0;
}

CGSCursorSeed SimWindowServerModel::currentCursorSeed(const char* function)
{
    std::lock_guard lock(mutex_);
    record(function, "");
    return state_.currentSeed;
}

CGPoint SimWindowServerModel::mouseLocation(const char* function)
{
    std::lock_guard lock(mutex_);
    record(function, "");
    return state_.mouseLocation;
}

bool SimWindowServerModel::primaryScreenHeight(const char* function, CGFloat* height)
{
    std::lock_guard lock(mutex_);
    record(function, "");
    if (injectedFailure(function, "") || !state_.primaryScreenHeight || !height)
        return false;
    *height = *state_.primaryScreenHeight;
    return true;
}

void SimWindowServerModel::postEvent(const char* function, CGEventTapLocation tap, CGEventRef event)
{
    std::lock_guard lock(mutex_);
    bool isEvent = event && CFGetTypeID(event) == CGEventGetTypeID();
    SimPostedEvent posted{tap, isEvent ? CGEventGetType(event) : 0, isEvent ? CGEventGetLocation(event) : CGPoint{},
                          isEvent ? CGEventGetMouseButton(event) : 0};
    record(function, " tap=" + std::to_string(tap) + " type=" + std::to_string(posted.type) +
                         " location=" + pointText(posted.location) + " button=" + std::to_string(posted.button));
    if (isEvent && !injectedFailure(function, ""))
        state_.postedEvents.push_back(posted);
}

void SimWindowServerModel::reset()
{
    std::lock_guard lock(mutex_);
    state_ = State();
    CGSCursorSeed initial = state_.currentSeed;
    activate(SimSystemCursors::numberedName(0), &initial);
    state_.currentSeed = state_.lastSeed = SimWindowServerInitialSeed;
}

void SimWindowServerModel::setMainConnectionID(CGSConnectionID connection)
{
    std::lock_guard lock(mutex_);
    state_.connection = connection;
}

void SimWindowServerModel::setFailure(std::string_view function, std::optional<std::string> argument,
                                      CGSError status)
{
    std::lock_guard lock(mutex_);
    state_.failures.set(function, std::move(argument), status);
}

void SimWindowServerModel::clearFailures()
{
    std::lock_guard lock(mutex_);
    state_.failures.clear();
}

void SimWindowServerModel::setGlobalDataOverReport(std::int32_t extraBytes)
{
    std::lock_guard lock(mutex_);
    state_.globalDataOverReport = extraBytes;
}

std::optional<SimCursorContents> SimWindowServerModel::copyCursor(std::string_view name)
{
    std::lock_guard lock(mutex_);
    auto cursor = cursorNamed(name);
    if (!cursor)
        return std::nullopt;
    return contentsOf(*cursor, state_.registered.contains(name));
}

SimCursorContents SimWindowServerModel::copyCurrentCursor()
{
    std::lock_guard lock(mutex_);
    return contentsOf(state_.current.cursor, state_.current.registered);
}

std::string SimWindowServerModel::currentCursorName()
{
    std::lock_guard lock(mutex_);
    return state_.current.name;
}

bool SimWindowServerModel::isRegistered(std::string_view name)
{
    std::lock_guard lock(mutex_);
    return state_.registered.contains(name);
}

size_t SimWindowServerModel::registeredCount()
{
    std::lock_guard lock(mutex_);
    return state_.registered.size();
}

CGSCursorSeed SimWindowServerModel::currentSeed()
{
    std::lock_guard lock(mutex_);
    return state_.currentSeed;
}

float SimWindowServerModel::cursorScale()
{
    std::lock_guard lock(mutex_);
    return state_.scale;
}

std::int32_t SimWindowServerModel::hideCount()
{
    std::lock_guard lock(mutex_);
    return state_.hideCount;
}

bool SimWindowServerModel::dockCursorOverride()
{
    std::lock_guard lock(mutex_);
    return state_.dockCursorOverride;
}

void SimWindowServerModel::setMouseLocation(CGPoint location)
{
    std::lock_guard lock(mutex_);
    state_.mouseLocation = location;
}

void SimWindowServerModel::setPrimaryScreenHeight(std::optional<CGFloat> height)
{
    std::lock_guard lock(mutex_);
    state_.primaryScreenHeight = height;
}

size_t SimWindowServerModel::postedEventCount()
{
    std::lock_guard lock(mutex_);
    return state_.postedEvents.size();
}

std::optional<SimPostedEvent> SimWindowServerModel::postedEvent(size_t index)
{
    std::lock_guard lock(mutex_);
    if (index >= state_.postedEvents.size())
        return std::nullopt;
    return state_.postedEvents[index];
}

size_t SimWindowServerModel::callCount(std::string_view function)
{
    std::lock_guard lock(mutex_);
    size_t count = 0;
    for (const auto& [name, calls] : state_.callCounts) {
        if (name == function || SimFailures::withoutPrefix(name) == function)
            count += calls;
    }
    return count;
}

size_t SimWindowServerModel::callLogSize()
{
    std::lock_guard lock(mutex_);
    return state_.callLog.size();
}

std::optional<std::string> SimWindowServerModel::callLogEntry(size_t index)
{
    std::lock_guard lock(mutex_);
    if (index >= state_.callLog.size())
        return std::nullopt;
    return state_.callLog[index];
}

void SimWindowServerModel::clearCallLog()
{
    std::lock_guard lock(mutex_);
    state_.callLog.clear();
    state_.callCounts.clear();
}

void SimWindowServerModel::record(const char* function, std::string_view arguments)
{
    if (state_.callLog.size() == SimWindowServerCallLogCapacity)
        state_.callLog.pop_front();
    state_.callLog.push_back(std::string(function).append(arguments));
    ++state_.callCounts[function];
}

std::optional<CGSError> SimWindowServerModel::injectedFailure(const char* function, std::string_view argument) const
{
    return state_.failures.find(function, argument);
}

std::optional<CGSError> SimWindowServerModel::begin(const char* function, CGSConnectionID connection,
                                                    std::string_view argument, std::string_view arguments)
{
    record(function, arguments);
    if (auto failure = injectedFailure(function, argument))
        return failure;
    if (connection != state_.connection)
        return SimWindowServerErrorInvalidConnection;
    return std::nullopt;
}

std::optional<CursorSnapshot> SimWindowServerModel::cursorNamed(std::string_view name) const
{
    auto registered = state_.registered.find(name);
    if (registered != state_.registered.end())
        return registered->second;
    if (auto shape = SimSystemCursors::stockShapeForName(name))
        return stockCursor(*shape);
    return std::nullopt;
}

CGSError SimWindowServerModel::activate(std::string_view name, CGSCursorSeed* seed)
{
    auto cursor = cursorNamed(name);
    if (!cursor)
        return SimWindowServerErrorIllegalArgument;
    // The screen shows the top frame of the first image: as many rows as the
    // cursor's height in points takes at the image's density, which an image
    // that stacks animation frames exceeds.
    CGImageRef image = cursor->images.front().get();
    size_t width = CGImageGetWidth(image), height = CGImageGetHeight(image);
    double density = width / cursor->size.width;
    size_t rows = std::clamp<size_t>(std::lround(cursor->size.height * density), 1, height);
    std::vector<std::uint32_t> pixels(width * height);
    CGImageCopyARGB32Premultiplied(image, pixels.data(), pixels.size());
    Current& current = state_.current;
    current.name = name;
    current.registered = state_.registered.contains(name);
    current.globalBytes.resize(width * rows * sizeof(std::uint32_t));
    std::memcpy(current.globalBytes.data(), pixels.data(), current.globalBytes.size());
    current.pixelSize = {static_cast<CGFloat>(width), static_cast<CGFloat>(rows)};
    current.pixelHotSpot = {cursor->hotSpot.x * density, cursor->hotSpot.y * density};
    current.cursor = std::move(*cursor);
    state_.currentSeed = *seed = nextSeed();
    return 0;
}

CGSCursorSeed SimWindowServerModel::nextSeed()
{
    // Seeds stay positive: the program logs and compares them, and 0 reads as "none".
    state_.lastSeed = state_.lastSeed == INT32_MAX ? 1 : state_.lastSeed + 1;
    return state_.lastSeed;
}
