#include "runtime/CGSRuntime.h"

#include "LogCapture.h"
#include "providers/sim/SimWindowServer.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

using Lines = std::vector<std::string>;

const std::string allTrue = " main=true register=true registerSingle=true copy=true set=true createImage=true "
                            "cursorName=true dockOverride=true systemSet=true systemSetSeed=true show=true hide=true "
                            "scale=true coreReset=true coreSetSeed=true coreCopy=true removeRegistered=true "
                            "globalData=true currentSeed=true";

// Each variant keeps a window-server state of its own.
void* load(const char* path)
{
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << dlerror();
    return handle;
}

void* symbol(void* handle, const char* name)
{
    return dlsym(handle, name);
}

template <typename Function>
void* address(Function function)
{
    return reinterpret_cast<void*>(function);
}

// Every resolved field, with the names it may have been found under.
struct Field {
    void* resolved;
    std::vector<const char*> names;
};

std::vector<Field> fields(const CGSRuntime& r)
{
    return {
        {address(r.mainConnectionIDFn), {"CGSMainConnectionID", "SLSMainConnectionID"}},
        {address(r.registerCursorWithImagesFn), {"CGSRegisterCursorWithImages", "SLSRegisterCursorWithImages"}},
        {address(r.registerCursorWithImageFn), {"CGSRegisterCursorWithImage", "SLSRegisterCursorWithImage"}},
        {address(r.copyRegisteredCursorImagesFn), {"CGSCopyRegisteredCursorImages", "SLSCopyRegisteredCursorImages"}},
        {address(r.setRegisteredCursorFn), {"CGSSetRegisteredCursor", "SLSSetRegisteredCursor"}},
        {address(r.createRegisteredCursorImageFn),
         {"CGSCreateRegisteredCursorImage", "SLSCreateRegisteredCursorImage"}},
        {address(r.cursorNameForSystemCursorFn), {"CGSCursorNameForSystemCursor", "SLSCursorNameForSystemCursor"}},
        {address(r.setDockCursorOverrideFn), {"CGSSetDockCursorOverride", "SLSSetDockCursorOverride"}},
        {address(r.setSystemDefinedCursorFn), {"CGSSetSystemDefinedCursor", "SLSSetSystemDefinedCursor"}},
        {address(r.setSystemDefinedCursorWithSeedFn),
         {"CGSSetSystemDefinedCursorWithSeed", "SLSSetSystemDefinedCursorWithSeed"}},
        {address(r.showCursorFn), {"CGSShowCursor", "SLSShowCursor"}},
        {address(r.hideCursorFn), {"CGSHideCursor", "SLSHideCursor"}},
        {address(r.getCursorScaleFn), {"CGSGetCursorScale", "SLSGetCursorScale"}},
        {address(r.setCursorScaleFn), {"CGSSetCursorScale", "SLSSetCursorScale"}},
        {address(r.coreCursorUnregisterAllFn), {"CoreCursorUnregisterAll"}},
        {address(r.coreCursorSetFn), {"CoreCursorSet"}},
        {address(r.coreCursorSetAndReturnSeedFn), {"CoreCursorSetAndReturnSeed"}},
        {address(r.coreCursorCopyImagesFn), {"CoreCursorCopyImages"}},
        {address(r.removeRegisteredCursorFn), {"CGSRemoveRegisteredCursor", "SLSRemoveRegisteredCursor"}},
        {address(r.getGlobalCursorDataSizeFn), {"CGSGetGlobalCursorDataSize", "SLSGetGlobalCursorDataSize"}},
        {address(r.getGlobalCursorDataFn), {"CGSGetGlobalCursorData", "SLSGetGlobalCursorData"}},
        {address(r.currentCursorSeedFn), {"CGSCurrentCursorSeed", "SLSCurrentCursorSeed"}},
    };
}

}

TEST(CGSRuntimeResolutionTest, TheOlderNameWinsAndTheNewerOneIsFoundOnTheSecondPass)
{
    LogCapture log;
    void* full = load(TARNWICK_SIM_PROVIDER);
    void* slsOnly = load(TARNWICK_SIM_PROVIDER_SLSONLY);

    CGSRuntime both(std::vector<void*>{full});
    for (const Field& field : fields(both))
        EXPECT_EQ(field.resolved, symbol(full, field.names.front())) << field.names.front();

    CGSRuntime newer(std::vector<void*>{slsOnly});
    for (const Field& field : fields(newer))
        EXPECT_EQ(field.resolved, symbol(slsOnly, field.names.back())) << field.names.back();

    // Name-major: the older name in the second library beats the newer name in
    // the first; a single-name function comes from the first library that has it.
    CGSRuntime mixed(std::vector<void*>{slsOnly, full});
    for (const Field& field : fields(mixed)) {
        void* expected = field.names.size() == 2 ? symbol(full, field.names.front())
                                                 : symbol(slsOnly, field.names.front());
        EXPECT_EQ(field.resolved, expected) << field.names.front();
    }

    EXPECT_EQ(log.lines(), (Lines{"[INFO] CGSRuntime initialized. handles=1" + allTrue,
                                  "[INFO] CGSRuntime initialized. handles=1" + allTrue,
                                  "[INFO] CGSRuntime initialized. handles=2" + allTrue}));
}

TEST(CGSRuntimeResolutionTest, CoreCursorFunctionsHaveOneNameAndTheirAbsenceStopsOnlyWhatNeedsThem)
{
    LogCapture log;
    void* noCore = load(TARNWICK_SIM_PROVIDER_NOCORE);
    ASSERT_NE(symbol(noCore, "SLSMainConnectionID"), nullptr);
    CGSRuntime runtime(std::vector<void*>{noCore});
    EXPECT_EQ(log.lines(), (Lines{"[INFO] CGSRuntime initialized. handles=1 main=true register=true "
                                  "registerSingle=true copy=true set=true createImage=true cursorName=true "
                                  "dockOverride=true systemSet=true systemSetSeed=true show=true hide=true scale=true "
                                  "coreReset=false coreSetSeed=false coreCopy=false removeRegistered=true "
                                  "globalData=true currentSeed=true"}));
    log.clear();
    auto connection = runtime.mainConnectionID();
    ASSERT_TRUE(connection.has_value());
    EXPECT_FALSE(runtime.hardResetSystemCursors(*connection, 101));
    EXPECT_FALSE(runtime.setCoreCursor(*connection, 0));
    // The numbered path is skipped in silence and the name answers.
    EXPECT_TRUE(runtime.snapshotCursor(*connection, "com.apple.cursor.13").has_value());
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] mainConnectionID=" + std::to_string(*connection),
                                  "[WARN] hardResetSystemCursors unavailable: core cursor reset symbols missing",
                                  "[WARN] setCoreCursor unavailable",
                                  "[DEBUG] snapshotCursor ok for com.apple.cursor.13: size=24.0x24.0 frames=1 images=2"}));
}

TEST(CGSRuntimeResolutionTest, AServerWithoutAnyFunctionIsNeverCalled)
{
    LogCapture log;
    void* empty = load(TARNWICK_SIM_PROVIDER_EMPTY);
    auto callCount = reinterpret_cast<size_t (*)(void)>(symbol(empty, "SimWindowServerCallLogCount"));
    ASSERT_NE(callCount, nullptr) << "the empty variant keeps its test controls";
    CGSRuntime runtime(std::vector<void*>{empty});
    for (const Field& field : fields(runtime))
        EXPECT_EQ(field.resolved, nullptr) << field.names.front();
    EXPECT_EQ(runtime.mouseLocationFn, nullptr);
    EXPECT_EQ(runtime.eventPostFn, nullptr);

    const CGSConnectionID connection = SimWindowServerInitialConnectionID;
    EXPECT_EQ(runtime.mainConnectionID(), std::nullopt);
    EXPECT_EQ(runtime.currentCursorSeed(), std::nullopt);
    EXPECT_EQ(runtime.snapshotCursor(connection, "com.apple.cursor.0"), std::nullopt);
    EXPECT_FALSE(runtime.setRegisteredCursorNow(connection, "com.apple.coregraphics.Arrow"));
    EXPECT_FALSE(runtime.hardResetSystemCursors(connection, 101));
    EXPECT_EQ(runtime.currentCursorFingerprint(connection), std::nullopt);
    EXPECT_TRUE(runtime.discoverSystemCursorNames("arrow", 128).empty());
    runtime.postSyntheticMouseMovedEvents(1);
    EXPECT_EQ(callCount(), 0u);
}

TEST(CGSRuntimeResolutionTest, TheSharedRuntimeFindsALibraryAlreadyInTheProcess)
{
    // This program links the simulated server, as the entry point loads a
    // provider with RTLD_GLOBAL before the shared runtime is first used.
    CGSRuntime& shared = CGSRuntime::shared();
    EXPECT_EQ(&shared, &CGSRuntime::shared());
    ASSERT_EQ(shared.searchHandles().size(), 1u) << "no system framework on this machine";
    EXPECT_EQ(shared.searchHandles().back(), RTLD_DEFAULT);
    void* sim = load(TARNWICK_SIM_PROVIDER);
    for (const Field& field : fields(shared))
        EXPECT_EQ(field.resolved, symbol(sim, field.names.front())) << field.names.front();
    EXPECT_EQ(address(shared.eventPostFn), symbol(sim, "CGEventPost"));
}
