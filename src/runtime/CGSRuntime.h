#pragma once

#include "platform/provider/WindowServerFunctions.h"
#include "runtime/CursorSnapshot.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The program's only way to the window server's cursor functions. They are
// looked up by name when the runtime is created; whatever is missing makes
// the operations that need it log and return a neutral result, and the rest
// keeps working.
class CGSRuntime {
public:
    struct SystemCursorEntry {
        std::int32_t id;
        std::string name;
        friend bool operator==(const SystemCursorEntry&, const SystemCursorEntry&) = default;
    };

    // The program's one instance: searches the system frameworks, then
    // everything already loaded into the process.
    static CGSRuntime& shared();

    // Resolves through exactly these handles, in this order (tests pass the
    // handle of one provider library). Handles are never closed.
    explicit CGSRuntime(std::vector<void*> searchHandles);

    CGSRuntime(const CGSRuntime&) = delete;
    CGSRuntime& operator=(const CGSRuntime&) = delete;

    std::optional<CGSConnectionID> mainConnectionID() const;
    std::optional<CGSCursorSeed> currentCursorSeed() const;

    std::optional<CursorSnapshot> snapshotCursor(CGSConnectionID connectionID, const std::string& identifier) const;
    std::optional<CursorSnapshot> snapshotCoreCursor(CGSConnectionID connectionID, CGSCursorID cursorID) const;
    bool registerCursor(CGSConnectionID connectionID, const std::string& identifier, const CursorSnapshot& snapshot,
                        const std::vector<CFRef<CGImageRef>>& images, bool setGlobally, bool instantly) const;
    bool setRegisteredCursorNow(CGSConnectionID connectionID, const std::string& identifier) const;
    // Empty when the window server has no image for the name.
    CFRef<CGImageRef> createRegisteredCursorImage(CGSConnectionID connectionID, const std::string& identifier) const;

    bool setSystemDefinedCursor(CGSConnectionID connectionID, CGSCursorID cursorID) const;
    std::optional<CGSCursorSeed> setSystemDefinedCursorWithSeed(CGSConnectionID connectionID,
                                                                CGSCursorID cursorID) const;
    bool setCoreCursor(CGSConnectionID connectionID, CGSCursorID cursorID) const;
    std::optional<CGSCursorSeed> setCoreCursorWithSeed(CGSConnectionID connectionID, CGSCursorID cursorID) const;

    void refreshCursorDisplay(CGSConnectionID connectionID) const;
    std::optional<float> cursorScale(CGSConnectionID connectionID) const;
    bool setCursorScale(CGSConnectionID connectionID, float scale) const;
    void nudgeCursorScale(CGSConnectionID connectionID) const;

    bool hardResetSystemCursors(CGSConnectionID connectionID, int maxCursorID) const;
    std::vector<std::string> discoverSystemCursorNames(const std::string& token, int maxCursorID) const;
    std::vector<SystemCursorEntry> discoverSystemCursorEntries(int maxCursorID) const;

    // 16 lower-case hex digits of the hash of the pixels now on screen.
    std::optional<std::string> currentCursorFingerprint(CGSConnectionID connectionID) const;
    void postSyntheticMouseMovedEvents(int count) const;
    // Tells a window server that keeps one set per language, style and hand
    // which set the registrations that follow belong to; others ignore it.
    void selectCursorSet(const std::string& language, const std::string& style, bool leftHanded) const;

    // FNV-1a, 64 bits; the cape store keys its files with the same hash.
    static std::uint64_t fnv1a64(std::span<const std::uint8_t> bytes);

    const std::vector<void*>& searchHandles() const { return searchHandles_; }

private:
    CGSRuntime();
    template <typename Function>
    static Function resolve(std::initializer_list<const char*> names, const std::vector<void*>& handles);
    void logInitialized() const;

    std::vector<void*> searchHandles_;

public:
    // Resolved functions, in the order they are looked up; null when missing.
    const MainConnectionIDFunction mainConnectionIDFn;
    const RegisterCursorWithImagesFunction registerCursorWithImagesFn;
    const RegisterCursorWithImageFunction registerCursorWithImageFn;
    const CopyRegisteredCursorImagesFunction copyRegisteredCursorImagesFn;
    const SetRegisteredCursorFunction setRegisteredCursorFn;
    const CreateRegisteredCursorImageFunction createRegisteredCursorImageFn;
    const CursorNameForSystemCursorFunction cursorNameForSystemCursorFn;
    const SetDockCursorOverrideFunction setDockCursorOverrideFn;
    const SetSystemDefinedCursorFunction setSystemDefinedCursorFn;
    const SetSystemDefinedCursorWithSeedFunction setSystemDefinedCursorWithSeedFn;
    const ShowCursorFunction showCursorFn;
    const HideCursorFunction hideCursorFn;
    const GetCursorScaleFunction getCursorScaleFn;
    const SetCursorScaleFunction setCursorScaleFn;
    const CoreCursorUnregisterAllFunction coreCursorUnregisterAllFn;
    const CoreCursorSetFunction coreCursorSetFn;
    const CoreCursorSetAndReturnSeedFunction coreCursorSetAndReturnSeedFn;
    const CoreCursorCopyImagesFunction coreCursorCopyImagesFn;
    const RemoveRegisteredCursorFunction removeRegisteredCursorFn;
    const GetGlobalCursorDataSizeFunction getGlobalCursorDataSizeFn;
    const GetGlobalCursorDataFunction getGlobalCursorDataFn;
    const CurrentCursorSeedFunction currentCursorSeedFn;
    // The desktop's pointer position, screen and event posting.
    const MouseLocationFunction mouseLocationFn;
    const PrimaryScreenHeightFunction primaryScreenHeightFn;
    const EventPostFunction eventPostFn;
    const SelectCursorSetFunction selectCursorSetFn;
};
