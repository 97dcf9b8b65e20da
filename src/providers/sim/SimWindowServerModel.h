#pragma once

#include "platform/provider/WindowServerFunctions.h"
#include "providers/sim/SimFailures.h"
#include "providers/sim/SimCursorArt.h"
#include "providers/sim/SimWindowServer.h"
#include "runtime/CursorSnapshot.h"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The simulated window server's whole state: one instance per loaded library.
// Every window-server operation takes the name it was called under, records
// the call, applies an injected failure, and then does its work; the state is
// guarded by one lock, so the functions may be called from any thread.
class SimWindowServerModel {
public:
    static SimWindowServerModel& shared();

    SimWindowServerModel();

    // Window-server functions, in the order of their declarations.
    CGSConnectionID mainConnectionID(const char* function);
    CGSError registerCursorWithImages(const char* function, CGSConnectionID connection, const char* name,
                                      bool setGlobally, bool instantly, CGSize size, CGPoint hotSpot,
                                      std::uint64_t frameCount, CGFloat frameDuration, CFArrayRef images,
                                      CGSCursorSeed* seed);
    CGSError registerCursorWithImage(const char* function, CGSConnectionID connection, const char* name,
                                     bool setGlobally, bool instantly, std::int32_t reserved, CGImageRef image,
                                     CGSize size, CGPoint hotSpot, CGSCursorSeed* seed, CGFloat scaleX,
                                     CGFloat scaleY);
    CGSError copyRegisteredCursorImages(const char* function, CGSConnectionID connection, const char* name,
                                        CGSize* size, CGPoint* hotSpot, std::uint64_t* frameCount,
                                        CGFloat* frameDuration, CFArrayRef* images);
    CGSError setRegisteredCursor(const char* function, CGSConnectionID connection, const char* name,
                                 CGSCursorSeed* seed);
    CGImageRef createRegisteredCursorImage(const char* function, CGSConnectionID connection, const char* name,
                                           CGPoint* hotSpot);
    const char* cursorNameForSystemCursor(const char* function, CGSCursorID cursor);
    void setDockCursorOverride(const char* function, CGSConnectionID connection, bool enabled);
    CGSError setNumberedCursor(const char* function, CGSConnectionID connection, CGSCursorID cursor,
                               CGSCursorSeed* seed);
    void setNumberedCursorWithoutStatus(const char* function, CGSConnectionID connection, CGSCursorID cursor,
                                        CGSCursorSeed* seed);
    CGSError showCursor(const char* function, CGSConnectionID connection);
    CGSError hideCursor(const char* function, CGSConnectionID connection);
    CGSError getCursorScale(const char* function, CGSConnectionID connection, float* scale);
    CGSError setCursorScale(const char* function, CGSConnectionID connection, float scale);
    CGSError unregisterAll(const char* function, CGSConnectionID connection);
    CGSError copyNumberedCursorImages(const char* function, CGSConnectionID connection, CGSCursorID cursor,
                                      CFArrayRef* images, CGSize* size, CGPoint* hotSpot,
                                      std::uint64_t* frameCount, CGFloat* frameDuration);
    CGSError removeRegisteredCursor(const char* function, CGSConnectionID connection, const char* name, bool flag);
    CGSError getGlobalCursorDataSize(const char* function, CGSConnectionID connection, std::int32_t* byteCount);
    CGSError getGlobalCursorData(const char* function, CGSConnectionID connection, void* buffer,
                                 std::int32_t* byteCount, CGSize* size, CGPoint* hotSpot, std::int32_t* depth,
                                 std::int32_t* components, std::int32_t* bitsPerComponent, std::int32_t* reserved);
    CGSCursorSeed currentCursorSeed(const char* function);

    // The desktop around the cursor.
    CGPoint mouseLocation(const char* function);
    bool primaryScreenHeight(const char* function, CGFloat* height);
    void postEvent(const char* function, CGEventTapLocation tap, CGEventRef event);

    // Test controls (SimWindowServer.h); none of them is recorded.
    void reset();
    void setMainConnectionID(CGSConnectionID connection);
    void setFailure(std::string_view function, std::optional<std::string> argument, CGSError status);
    void clearFailures();
    void setGlobalDataOverReport(std::int32_t extraBytes);
    std::optional<SimCursorContents> copyCursor(std::string_view name);
    SimCursorContents copyCurrentCursor();
    std::string currentCursorName();
    bool isRegistered(std::string_view name);
    size_t registeredCount();
    CGSCursorSeed currentSeed();
    float cursorScale();
    std::int32_t hideCount();
    bool dockCursorOverride();
    void setMouseLocation(CGPoint location);
    void setPrimaryScreenHeight(std::optional<CGFloat> height);
    size_t postedEventCount();
    std::optional<SimPostedEvent> postedEvent(size_t index);
    size_t callCount(std::string_view function);
    size_t callLogSize();
    std::optional<std::string> callLogEntry(size_t index);
    void clearCallLog();

private:
    struct Current {
        std::string name;
        bool registered = false;
        CursorSnapshot cursor;
        std::vector<std::uint8_t> globalBytes;
        CGSize pixelSize{};
        CGPoint pixelHotSpot{};
    };

    struct State {
        CGSConnectionID connection = SimWindowServerInitialConnectionID;
        std::map<std::string, CursorSnapshot, std::less<>> registered;
        Current current;
        CGSCursorSeed currentSeed = SimWindowServerInitialSeed;
        CGSCursorSeed lastSeed = SimWindowServerInitialSeed;
        float scale = 1.0f;
        std::int32_t hideCount = 0;
        bool dockCursorOverride = false;
        CGPoint mouseLocation{400.0, 300.0};
        std::optional<CGFloat> primaryScreenHeight = 1080.0;
        SimFailures failures;
        std::int32_t globalDataOverReport = 0;
        std::deque<std::string> callLog;
        std::map<std::string, size_t, std::less<>> callCounts;
        std::vector<SimPostedEvent> postedEvents;
    };

    void record(const char* function, std::string_view arguments);
    std::optional<CGSError> injectedFailure(const char* function, std::string_view argument) const;
    // Records the call, then the injected failure or, for a connection other
    // than the main one, the invalid-connection status.
    std::optional<CGSError> begin(const char* function, CGSConnectionID connection, std::string_view argument,
                                  std::string_view arguments);
    std::optional<CursorSnapshot> cursorNamed(std::string_view name) const;
    CGSError activate(std::string_view name, CGSCursorSeed* seed);
    CGSCursorSeed nextSeed();

    mutable std::mutex mutex_;
    State state_;
};
