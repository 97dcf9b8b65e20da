#include "runtime/CGSRuntime.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "base/Text.h"
#include "platform/provider/SymbolSearch.h"
#include "runtime/NumberedCursorName.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr std::uint64_t maximumDeclaredFrames = 24;
constexpr int highestResetCursorID = 44;
constexpr float smallestScale = 0.5f;
constexpr float largestScale = 16.0f;
constexpr float nudgeStep = 0.3f;
// No cursor comes near these; a server reporting more is broken or hostile,
// and believing it would mean allocating whatever it claims.
constexpr std::int32_t largestCursorDataBytes = 64 * 1024 * 1024;

// The window server gets its own copy of each name, freed right after the
// call. A name with a NUL inside has no C form: passing its truncated prefix
// would address another cursor, so it counts as a copy that failed.
using CName = std::unique_ptr<char, decltype(&std::free)>;

CName copyName(const std::string& identifier)
{
    if (identifier.find('\0') != std::string::npos)
        return CName(nullptr, &std::free);
    return CName(strdup(identifier.c_str()), &std::free);
}

// Takes over the list the window server returned and keeps its images, in
// order; anything else in it is skipped.
std::vector<CFRef<CGImageRef>> imagesIn(CFArrayRef returned)
{
    CFRef<CFArrayRef> list = CFRef<CFArrayRef>::adopt(returned);
    std::vector<CFRef<CGImageRef>> images;
    for (CFIndex i = 0; i < CFArrayGetCount(list.get()); ++i) {
        CFTypeRef element = CFArrayGetValueAtIndex(list.get(), i);
        if (CFGetTypeID(element) == CGImageGetTypeID())
            images.push_back(CFRef<CGImageRef>::retain(static_cast<CGImageRef>(element)));
    }
    return images;
}

std::uint64_t framesToDeclare(std::uint64_t frameCount, std::uint64_t imageCount)
{
    std::uint64_t frames = std::min(frameCount == 0 ? imageCount : frameCount, imageCount);
    return frames == 0 ? 1 : std::min(frames, maximumDeclaredFrames);
}

std::string hexDigits(std::uint64_t hash)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

}

CGSRuntime& CGSRuntime::shared()
{
    static CGSRuntime instance;
    return instance;
}

CGSRuntime::CGSRuntime()
    : CGSRuntime(SymbolSearch::handles({
          "/System/Library/PrivateFrameworks/SkyLight.framework/Versions/Current/SkyLight",
          "/System/Library/PrivateFrameworks/SkyLight.framework/SkyLight",
          "/System/Library/Frameworks/CoreGraphics.framework/Versions/Current/CoreGraphics",
          "/System/Library/Frameworks/CoreGraphics.framework/CoreGraphics",
      }))
{
}

CGSRuntime::CGSRuntime(std::vector<void*> handles)
    : searchHandles_(std::move(handles)),
      mainConnectionIDFn(resolve<MainConnectionIDFunction>({"CGSMainConnectionID", "SLSMainConnectionID"},
                                                           searchHandles_)),
      registerCursorWithImagesFn(resolve<RegisterCursorWithImagesFunction>(
          {"CGSRegisterCursorWithImages", "SLSRegisterCursorWithImages"}, searchHandles_)),
      registerCursorWithImageFn(resolve<RegisterCursorWithImageFunction>(
          {"CGSRegisterCursorWithImage", "SLSRegisterCursorWithImage"}, searchHandles_)),
      copyRegisteredCursorImagesFn(resolve<CopyRegisteredCursorImagesFunction>(
          {"CGSCopyRegisteredCursorImages", "SLSCopyRegisteredCursorImages"}, searchHandles_)),
      setRegisteredCursorFn(resolve<SetRegisteredCursorFunction>({"CGSSetRegisteredCursor", "SLSSetRegisteredCursor"},
                                                                 searchHandles_)),
      createRegisteredCursorImageFn(resolve<CreateRegisteredCursorImageFunction>(
          {"CGSCreateRegisteredCursorImage", "SLSCreateRegisteredCursorImage"}, searchHandles_)),
      cursorNameForSystemCursorFn(resolve<CursorNameForSystemCursorFunction>(
          {"CGSCursorNameForSystemCursor", "SLSCursorNameForSystemCursor"}, searchHandles_)),
      setDockCursorOverrideFn(resolve<SetDockCursorOverrideFunction>(
          {"CGSSetDockCursorOverride", "SLSSetDockCursorOverride"}, searchHandles_)),
      setSystemDefinedCursorFn(resolve<SetSystemDefinedCursorFunction>(
          {"CGSSetSystemDefinedCursor", "SLSSetSystemDefinedCursor"}, searchHandles_)),
      setSystemDefinedCursorWithSeedFn(resolve<SetSystemDefinedCursorWithSeedFunction>(
          {"CGSSetSystemDefinedCursorWithSeed", "SLSSetSystemDefinedCursorWithSeed"}, searchHandles_)),
      showCursorFn(resolve<ShowCursorFunction>({"CGSShowCursor", "SLSShowCursor"}, searchHandles_)),
      hideCursorFn(resolve<HideCursorFunction>({"CGSHideCursor", "SLSHideCursor"}, searchHandles_)),
      getCursorScaleFn(resolve<GetCursorScaleFunction>({"CGSGetCursorScale", "SLSGetCursorScale"}, searchHandles_)),
      setCursorScaleFn(resolve<SetCursorScaleFunction>({"CGSSetCursorScale", "SLSSetCursorScale"}, searchHandles_)),
      coreCursorUnregisterAllFn(resolve<CoreCursorUnregisterAllFunction>({"CoreCursorUnregisterAll"}, searchHandles_)),
      coreCursorSetFn(resolve<CoreCursorSetFunction>({"CoreCursorSet"}, searchHandles_)),
      coreCursorSetAndReturnSeedFn(
          resolve<CoreCursorSetAndReturnSeedFunction>({"CoreCursorSetAndReturnSeed"}, searchHandles_)),
      coreCursorCopyImagesFn(resolve<CoreCursorCopyImagesFunction>({"CoreCursorCopyImages"}, searchHandles_)),
      removeRegisteredCursorFn(resolve<RemoveRegisteredCursorFunction>(
          {"CGSRemoveRegisteredCursor", "SLSRemoveRegisteredCursor"}, searchHandles_)),
      getGlobalCursorDataSizeFn(resolve<GetGlobalCursorDataSizeFunction>(
          {"CGSGetGlobalCursorDataSize", "SLSGetGlobalCursorDataSize"}, searchHandles_)),
      getGlobalCursorDataFn(resolve<GetGlobalCursorDataFunction>({"CGSGetGlobalCursorData", "SLSGetGlobalCursorData"},
                                                                 searchHandles_)),
      currentCursorSeedFn(resolve<CurrentCursorSeedFunction>({"CGSCurrentCursorSeed", "SLSCurrentCursorSeed"},
                                                             searchHandles_)),
      mouseLocationFn(resolve<MouseLocationFunction>({"TarnwickMouseLocation"}, searchHandles_)),
      primaryScreenHeightFn(resolve<PrimaryScreenHeightFunction>({"TarnwickPrimaryScreenHeight"}, searchHandles_)),
      eventPostFn(resolve<EventPostFunction>({"CGEventPost"}, searchHandles_)),
      selectCursorSetFn(resolve<SelectCursorSetFunction>({"TarnwickSelectCursorSet"}, searchHandles_))
{
    logInitialized();
}

template <typename Function>
Function CGSRuntime::resolve(std::initializer_list<const char*> names, const std::vector<void*>& handles)
{
    return reinterpret_cast<Function>(SymbolSearch::find(names, handles));
}

void CGSRuntime::logInitialized() const
{
    auto flag = [](bool resolved) { return LogFormat::boolean(resolved); };
    AppLog::info("CGSRuntime initialized. handles=" + std::to_string(searchHandles_.size()) +
                 " main=" + flag(mainConnectionIDFn) + " register=" + flag(registerCursorWithImagesFn) +
                 " registerSingle=" + flag(registerCursorWithImageFn) + " copy=" + flag(copyRegisteredCursorImagesFn) +
                 " set=" + flag(setRegisteredCursorFn) + " createImage=" + flag(createRegisteredCursorImageFn) +
                 " cursorName=" + flag(cursorNameForSystemCursorFn) + " dockOverride=" + flag(setDockCursorOverrideFn) +
                 " systemSet=" + flag(setSystemDefinedCursorFn) +
                 " systemSetSeed=" + flag(setSystemDefinedCursorWithSeedFn) + " show=" + flag(showCursorFn) +
                 " hide=" + flag(hideCursorFn) + " scale=" + flag(getCursorScaleFn && setCursorScaleFn) +
                 " coreReset=" + flag(coreCursorUnregisterAllFn && coreCursorSetFn) +
                 " coreSetSeed=" + flag(coreCursorSetAndReturnSeedFn) + " coreCopy=" + flag(coreCursorCopyImagesFn) +
                 " removeRegistered=" + flag(removeRegisteredCursorFn) +
                 " globalData=" + flag(getGlobalCursorDataSizeFn && getGlobalCursorDataFn) +
                 " currentSeed=" + flag(currentCursorSeedFn));
}

std::optional<CGSConnectionID> CGSRuntime::mainConnectionID() const
{
    if (!mainConnectionIDFn) {
        AppLog::error("Failed to resolve mainConnectionID");
        return std::nullopt;
    }
    CGSConnectionID connection = mainConnectionIDFn();
    AppLog::debug("mainConnectionID=" + LogFormat::number(connection));
    return connection;
}

std::optional<CGSCursorSeed> CGSRuntime::currentCursorSeed() const
{
    if (!currentCursorSeedFn)
        return std::nullopt;
    return currentCursorSeedFn();
}

std::optional<CursorSnapshot> CGSRuntime::snapshotCoreCursor(CGSConnectionID connectionID,
                                                             CGSCursorID cursorID) const
{
    if (!coreCursorCopyImagesFn)
        return std::nullopt;
    CursorSnapshot snapshot;
    CFArrayRef images = nullptr;
    CGSError status = coreCursorCopyImagesFn(connectionID, cursorID, &images, &snapshot.size, &snapshot.hotSpot,
                                             &snapshot.frameCount, &snapshot.frameDuration);
    if (status != 0 || !images) {
        CFRelease(images);
        AppLog::debug("snapshotCoreCursor failed for id=" + LogFormat::number(cursorID) + ": error=" + LogFormat::number(status));
        return std::nullopt;
    }
    snapshot.images = imagesIn(images);
    if (!snapshot.withinSaneLimits()) {
        AppLog::debug("snapshotCoreCursor failed for id=" + LogFormat::number(cursorID) + ": error=" + LogFormat::number(status));
        return std::nullopt;
    }
    if (snapshot.images.empty()) {
        AppLog::debug("snapshotCoreCursor empty for id=" + LogFormat::number(cursorID));
        return std::nullopt;
    }
    AppLog::debug("snapshotCoreCursor ok for id=" + LogFormat::number(cursorID) + ": size=" + LogFormat::number(snapshot.size.width) + "x" +
                  LogFormat::number(snapshot.size.height) + " frames=" + LogFormat::number(snapshot.frameCount) +
                  " images=" + LogFormat::number(std::uint64_t{snapshot.images.size()}));
    return snapshot;
}

std::optional<CursorSnapshot> CGSRuntime::snapshotCursor(CGSConnectionID connectionID,
                                                         const std::string& identifier) const
{
    if (auto cursorID = numberInCursorName(identifier)) {
        if (auto snapshot = snapshotCoreCursor(connectionID, *cursorID)) {
            AppLog::debug("snapshotCursor via CoreCursorCopyImages for " + identifier);
            return snapshot;
        }
    }
    auto registered = [&]() -> std::optional<CursorSnapshot> {
        if (!copyRegisteredCursorImagesFn) {
            AppLog::error("snapshotCursor unavailable: copyRegisteredCursorImagesFn is nil");
            return std::nullopt;
        }
        CursorSnapshot snapshot;
        CFArrayRef images = nullptr;
        CGSError status = -1;
        if (CName name = copyName(identifier))
            status = copyRegisteredCursorImagesFn(connectionID, name.get(), &snapshot.size, &snapshot.hotSpot,
                                                  &snapshot.frameCount, &snapshot.frameDuration, &images);
        if (status != 0 || !images) {
            CFRelease(images);
            AppLog::debug("snapshotCursor registered copy miss for " + identifier + ": error=" + LogFormat::number(status));
            return std::nullopt;
        }
        snapshot.images = imagesIn(images);
        if (!snapshot.withinSaneLimits()) {
            AppLog::debug("snapshotCursor registered copy miss for " + identifier + ": error=" + LogFormat::number(status));
            return std::nullopt;
        }
        if (snapshot.images.empty()) {
            AppLog::warn("snapshotCursor failed for " + identifier + ": empty registered image array");
            return std::nullopt;
        }
        AppLog::debug("snapshotCursor ok for " + identifier + ": size=" + LogFormat::number(snapshot.size.width) + "x" +
                      LogFormat::number(snapshot.size.height) + " frames=" + LogFormat::number(snapshot.frameCount) +
                      " images=" + LogFormat::number(std::uint64_t{snapshot.images.size()}));
        return snapshot;
    };
    if (auto snapshot = registered())
        return snapshot;
    AppLog::warn("snapshotCursor failed for " + identifier + ": no registered/core snapshot available");
    return std::nullopt;
}

bool CGSRuntime::registerCursor(CGSConnectionID connectionID, const std::string& identifier,
                                const CursorSnapshot& snapshot, const std::vector<CFRef<CGImageRef>>& images,
                                bool setGlobally, bool instantly) const
{
    if (images.empty()) {
        AppLog::warn("registerCursor skipped for " + identifier + ": no images");
        return false;
    }
    const std::uint64_t imageCount = images.size();
    const std::uint64_t declaredFrames = framesToDeclare(snapshot.frameCount, imageCount);

    std::optional<CGSError> multiError;
    CGSCursorSeed multiSeed = 0;
    if (registerCursorWithImagesFn) {
        std::vector<CFTypeRef> values;
        for (const auto& image : images)
            values.push_back(image.get());
        CFRef<CFArrayRef> list = CFRef<CFArrayRef>::adopt(CFArrayCreate(values.data(), CFIndex(values.size())));
        CName name = copyName(identifier);
        multiError = -1;
        if (name && list)
            multiError = registerCursorWithImagesFn(connectionID, name.get(), setGlobally, instantly, snapshot.size,
                                                    snapshot.hotSpot, declaredFrames, snapshot.frameDuration,
                                                    list.get(), &multiSeed);
    } else {
        AppLog::warn("registerCursor multi-frame path unavailable: registerCursorWithImagesFn is nil");
    }

    bool singleSuccess = false;
    if (registerCursorWithImageFn) {
        CGSCursorSeed singleSeed = 0;
        CGSError status = -1;
        if (CName name = copyName(identifier))
            status = registerCursorWithImageFn(connectionID, name.get(), setGlobally, instantly, 0,
                                               images.front().get(), snapshot.size, snapshot.hotSpot, &singleSeed,
                                               1.0, 1.0);
        singleSuccess = status == 0;
        // A switch registers some fifty names: debug lines are made only to be written.
        if (AppLog::verboseEnabled())
            AppLog::debug("registerCursorSingleImage " + std::string(singleSuccess ? "ok for " : "failed for ") + identifier +
                          (singleSuccess ? "" : ": error=" + LogFormat::number(status)) + " seed=" + LogFormat::number(singleSeed));
    }

    const std::string multiErrorText = LogFormat::optional(multiError);
    if (!singleSuccess && multiError != 0) {
        AppLog::error("registerCursor failed for " + identifier + ": multiError=" + multiErrorText +
                      " frames=" + LogFormat::number(declaredFrames) + " images=" + LogFormat::number(imageCount) +
                      " multiSeed=" + LogFormat::number(multiSeed) + " singleSuccess=false");
        return false;
    }
    if (AppLog::verboseEnabled())
        AppLog::debug("registerCursor ok for " + identifier + ": frames=" + LogFormat::number(declaredFrames) +
                      " images=" + LogFormat::number(imageCount) + " multiError=" + multiErrorText + " multiSeed=" +
                      LogFormat::number(multiSeed) + " singleSuccess=" + LogFormat::boolean(singleSuccess));
    return true;
}

bool CGSRuntime::setRegisteredCursorNow(CGSConnectionID connectionID, const std::string& identifier) const
{
    if (!setRegisteredCursorFn) {
        AppLog::error("setRegisteredCursorNow unavailable: setRegisteredCursorFn is nil");
        return false;
    }
    CGSCursorSeed seed = 0;
    CGSError status = -1;
    if (CName name = copyName(identifier))
        status = setRegisteredCursorFn(connectionID, name.get(), &seed);
    if (status == 0) {
        if (AppLog::verboseEnabled())
            AppLog::debug("setRegisteredCursorNow ok for " + identifier + " seed=" + LogFormat::number(seed));
        return true;
    }
    AppLog::error("setRegisteredCursorNow failed for " + identifier + ": error=" + LogFormat::number(status) +
                  " seed=" + LogFormat::number(seed));
    return false;
}

CFRef<CGImageRef> CGSRuntime::createRegisteredCursorImage(CGSConnectionID connectionID,
                                                          const std::string& identifier) const
{
    if (!createRegisteredCursorImageFn) {
        AppLog::error("createRegisteredCursorImage unavailable: createRegisteredCursorImageFn is nil");
        return {};
    }
    CGPoint hotSpot{};
    CFRef<CGImageRef> image;
    if (CName name = copyName(identifier))
        image = CFRef<CGImageRef>::adopt(createRegisteredCursorImageFn(connectionID, name.get(), &hotSpot));
    if (!image)
        AppLog::warn("createRegisteredCursorImage returned nil for " + identifier);
    return image;
}

bool CGSRuntime::setSystemDefinedCursor(CGSConnectionID connectionID, CGSCursorID cursorID) const
{
    if (!setSystemDefinedCursorFn) {
        AppLog::warn("setSystemDefinedCursor unavailable");
        return false;
    }
    CGSError status = setSystemDefinedCursorFn(connectionID, cursorID);
    AppLog::info("setSystemDefinedCursor id=" + LogFormat::number(cursorID) + " error=" + LogFormat::number(status));
    return status == 0;
}

std::optional<CGSCursorSeed> CGSRuntime::setSystemDefinedCursorWithSeed(CGSConnectionID connectionID,
                                                                        CGSCursorID cursorID) const
{
    if (!setSystemDefinedCursorWithSeedFn) {
        AppLog::warn("setSystemDefinedCursorWithSeed unavailable");
        return std::nullopt;
    }
    CGSCursorSeed seed = 0;
    setSystemDefinedCursorWithSeedFn(connectionID, cursorID, &seed);
    AppLog::info("setSystemDefinedCursorWithSeed id=" + LogFormat::number(cursorID) + " seed=" + LogFormat::number(seed));
    return seed;
}

bool CGSRuntime::setCoreCursor(CGSConnectionID connectionID, CGSCursorID cursorID) const
{
    if (!coreCursorSetFn) {
        AppLog::warn("setCoreCursor unavailable");
        return false;
    }
    CGSError status = coreCursorSetFn(connectionID, cursorID);
    AppLog::info("setCoreCursor id=" + LogFormat::number(cursorID) + " error=" + LogFormat::number(status));
    return status == 0;
}

std::optional<CGSCursorSeed> CGSRuntime::setCoreCursorWithSeed(CGSConnectionID connectionID,
                                                               CGSCursorID cursorID) const
{
    if (!coreCursorSetAndReturnSeedFn) {
        AppLog::warn("setCoreCursorWithSeed unavailable");
        return std::nullopt;
    }
    CGSCursorSeed seed = 0;
    CGSError status = coreCursorSetAndReturnSeedFn(connectionID, cursorID, &seed);
    AppLog::info("setCoreCursorWithSeed id=" + LogFormat::number(cursorID) + " error=" + LogFormat::number(status) +
                 " seed=" + LogFormat::number(seed));
    if (status != 0)
        return std::nullopt;
    return seed;
}

void CGSRuntime::refreshCursorDisplay(CGSConnectionID connectionID) const
{
    if (!hideCursorFn || !showCursorFn) {
        AppLog::debug("refreshCursorDisplay unavailable: hide/show symbols missing");
        return;
    }
    CGSError hideStatus = hideCursorFn(connectionID);
    CGSError showStatus = showCursorFn(connectionID);
    AppLog::debug("refreshCursorDisplay hideError=" + LogFormat::number(hideStatus) + " showError=" + LogFormat::number(showStatus));
}

std::optional<float> CGSRuntime::cursorScale(CGSConnectionID connectionID) const
{
    if (!getCursorScaleFn)
        return std::nullopt;
    float scale = 1.0f;
    CGSError status = getCursorScaleFn(connectionID, &scale);
    if (status != 0) {
        AppLog::debug("cursorScale get failed: error=" + LogFormat::number(status));
        return std::nullopt;
    }
    return scale;
}

bool CGSRuntime::setCursorScale(CGSConnectionID connectionID, float scale) const
{
    if (!setCursorScaleFn) {
        AppLog::debug("setCursorScale unavailable: set scale symbol missing");
        return false;
    }
    float clamped = std::max(std::min(scale, largestScale), smallestScale);
    CGSError status = setCursorScaleFn(connectionID, clamped);
    AppLog::debug("setCursorScale requested=" + LogFormat::number(scale) + " clamped=" + LogFormat::number(clamped) +
                  " error=" + LogFormat::number(status));
    return status == 0;
}

void CGSRuntime::nudgeCursorScale(CGSConnectionID connectionID) const
{
    if (!getCursorScaleFn || !setCursorScaleFn) {
        AppLog::debug("nudgeCursorScale unavailable: get/set scale symbols missing");
        return;
    }
    float current = 1.0f;
    CGSError status = getCursorScaleFn(connectionID, &current);
    if (status != 0) {
        AppLog::debug("nudgeCursorScale get failed: error=" + LogFormat::number(status));
        return;
    }
    // Up when there is room, otherwise down: either way the scale changes.
    float up = std::min(current + nudgeStep, largestScale);
    float temporary = up == current ? std::max(current - nudgeStep, smallestScale) : up;
    CGSError setTempError = setCursorScaleFn(connectionID, temporary);
    CGSError setBackError = setCursorScaleFn(connectionID, current);
    AppLog::debug("nudgeCursorScale current=" + LogFormat::number(current) + " temp=" + LogFormat::number(temporary) +
                  " setTempError=" + LogFormat::number(setTempError) + " setBackError=" + LogFormat::number(setBackError));
}

bool CGSRuntime::hardResetSystemCursors(CGSConnectionID connectionID, int maxCursorID) const
{
    if (!coreCursorUnregisterAllFn || !coreCursorSetFn) {
        AppLog::warn("hardResetSystemCursors unavailable: core cursor reset symbols missing");
        return false;
    }
    AppLog::debug("setDockCursorOverride enabled=true");
    if (setDockCursorOverrideFn)
        setDockCursorOverrideFn(connectionID, true);

    CGSError unregisterResult = coreCursorUnregisterAllFn(connectionID);
    const int effectiveMax = std::min(std::max(maxCursorID, 0), highestResetCursorID);
    int successes = 0;
    int failures = 0;
    for (CGSCursorID cursorID = 0; cursorID <= effectiveMax; ++cursorID)
        ++(coreCursorSetFn(connectionID, cursorID) == 0 ? successes : failures);

    bool anchored = false;
    for (const char* name : {"com.apple.coregraphics.GlobalCurrent", "com.apple.coregraphics.ConnectionCurrent",
                             "com.apple.coregraphics.Arrow"}) {
        anchored = setRegisteredCursorNow(connectionID, name);
        if (anchored)
            break;
    }
    refreshCursorDisplay(connectionID);
    nudgeCursorScale(connectionID);

    bool ok = unregisterResult == 0 && successes > 0;
    AppLog::info("hardResetSystemCursors completed. unregisterResult=" + LogFormat::number(unregisterResult) +
                 " setSuccesses=" + std::to_string(successes) + " setFailures=" + std::to_string(failures) +
                 " effectiveMaxCoreID=" + std::to_string(effectiveMax) + " anchored=" + LogFormat::boolean(anchored) +
                 " ok=" + LogFormat::boolean(ok));
    AppLog::debug("setDockCursorOverride enabled=false");
    if (setDockCursorOverrideFn)
        setDockCursorOverrideFn(connectionID, false);
    return ok;
}

std::vector<std::string> CGSRuntime::discoverSystemCursorNames(const std::string& token, int maxCursorID) const
{
    if (!cursorNameForSystemCursorFn) {
        AppLog::warn("discoverSystemCursorNames unavailable: cursorNameForSystemCursorFn is nil");
        return {};
    }
    const std::string wanted = lowercased(token);
    std::vector<std::string> names;
    for (CGSCursorID cursorID = 0; cursorID < maxCursorID; ++cursorID) {
        const char* name = cursorNameForSystemCursorFn(cursorID);
        if (!name || !name[0])
            continue;
        if (lowercased(name).find(wanted) != std::string::npos &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.emplace_back(name);
    }
    AppLog::info("discoverSystemCursorNames token=" + token + " found=" + std::to_string(names.size()));
    return names;
}

std::vector<CGSRuntime::SystemCursorEntry> CGSRuntime::discoverSystemCursorEntries(int maxCursorID) const
{
    if (!cursorNameForSystemCursorFn) {
        AppLog::warn("discoverSystemCursorEntries unavailable: cursorNameForSystemCursorFn is nil");
        return {};
    }
    if (maxCursorID < 1)
        return {};
    std::vector<SystemCursorEntry> entries;
    for (CGSCursorID cursorID = 0; cursorID < maxCursorID; ++cursorID) {
        const char* name = cursorNameForSystemCursorFn(cursorID);
        if (name && name[0])
            entries.push_back({cursorID, name});
    }
    AppLog::info("discoverSystemCursorEntries found=" + std::to_string(entries.size()) +
                 " scanned=" + std::to_string(maxCursorID));
    return entries;
}

std::optional<std::string> CGSRuntime::currentCursorFingerprint(CGSConnectionID connectionID) const
{
    if (!getGlobalCursorDataSizeFn || !getGlobalCursorDataFn) {
        AppLog::debug("currentCursorFingerprint unavailable: global cursor data symbols missing");
        return std::nullopt;
    }
    std::int32_t byteCount = 0;
    CGSError status = getGlobalCursorDataSizeFn(connectionID, &byteCount);
    if (status != 0 || byteCount < 1 || byteCount > largestCursorDataBytes) {
        AppLog::debug("currentCursorFingerprint size failed: error=" + LogFormat::number(status) +
                      " byteCount=" + LogFormat::number(byteCount));
        return std::nullopt;
    }
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(byteCount));
    std::int32_t dataSize = byteCount;
    CGSize size{};
    CGPoint hotSpot{};
    std::int32_t depth = 0, components = 0, bitsPerComponent = 0, reserved = 0;
    status = getGlobalCursorDataFn(connectionID, buffer.data(), &dataSize, &size, &hotSpot, &depth, &components,
                                   &bitsPerComponent, &reserved);
    if (status != 0 || dataSize < 1) {
        AppLog::debug("currentCursorFingerprint data failed: error=" + LogFormat::number(status) +
                      " dataSize=" + LogFormat::number(dataSize));
        return std::nullopt;
    }
    // A server that claims to have written more than the buffer holds is
    // believed only as far as the buffer goes.
    auto hashed = std::span<const std::uint8_t>(buffer).first(static_cast<std::size_t>(std::min(dataSize, byteCount)));
    std::string fingerprint = hexDigits(::fnv1a64(hashed));
    if (AppLog::verboseEnabled())
        AppLog::debug("currentCursorFingerprint ok size=" + LogFormat::number(dataSize) + " hash=" + fingerprint +
                      " px=" + LogFormat::number(size.width) + "x" + LogFormat::number(size.height) + " hotSpot=(" + LogFormat::number(hotSpot.x) + "," +
                      LogFormat::number(hotSpot.y) + ") depth=" + LogFormat::number(depth) + " components=" + LogFormat::number(components) +
                      " bpc=" + LogFormat::number(bitsPerComponent));
    return fingerprint;
}

void CGSRuntime::selectCursorSet(const std::string& language, const std::string& style, bool leftHanded) const
{
    if (selectCursorSetFn)
        selectCursorSetFn(language.c_str(), style.c_str(), leftHanded);
}

void CGSRuntime::postSyntheticMouseMovedEvents(int count) const
{
    if (count < 1)
        return;
    if (!mouseLocationFn || !eventPostFn) {
        AppLog::debug("postSyntheticMouseMovedEvents unavailable: mouse location/event post symbols missing");
        return;
    }
    // The desktop reports the pointer with y upwards from the bottom of the
    // primary screen; events take it with y downwards from the top.
    CGPoint location = mouseLocationFn();
    CGFloat screenHeight = 0;
    bool hasScreen = primaryScreenHeightFn && primaryScreenHeightFn(&screenHeight);
    CGPoint position{location.x, hasScreen ? screenHeight - location.y : 0};
    for (int i = 0; i < count; ++i) {
        CGEventRef event = CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, position, kCGMouseButtonLeft);
        if (!event) {
            AppLog::warn("postSyntheticMouseMovedEvents failed: unable to create CGEvent");
            return;
        }
        eventPostFn(kCGHIDEventTap, event);
        CFRelease(event);
    }
    AppLog::debug("postSyntheticMouseMovedEvents posted count=" + std::to_string(count) + " appKit=(" +
                  LogFormat::number(location.x) + "," + LogFormat::number(location.y) + ") cg=(" + LogFormat::number(position.x) + "," +
                  LogFormat::number(position.y) + ")");
}

std::uint64_t CGSRuntime::fnv1a64(std::span<const std::uint8_t> bytes)
{
    return ::fnv1a64(bytes);
}
