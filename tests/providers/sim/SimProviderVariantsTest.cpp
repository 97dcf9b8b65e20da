#include "platform/provider/WindowServerFunctions.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <vector>

namespace {

// Every function that has a CGS and an SLS name, without its prefix.
const std::vector<std::string> prefixedFunctions{
    "MainConnectionID",          "RegisterCursorWithImages", "RegisterCursorWithImage",
    "CopyRegisteredCursorImages", "SetRegisteredCursor",     "CreateRegisteredCursorImage",
    "CursorNameForSystemCursor", "SetDockCursorOverride",    "SetSystemDefinedCursor",
    "SetSystemDefinedCursorWithSeed", "ShowCursor",          "HideCursor",
    "GetCursorScale",            "SetCursorScale",           "RemoveRegisteredCursor",
    "GetGlobalCursorDataSize",   "GetGlobalCursorData",      "CurrentCursorSeed"};
const std::vector<std::string> coreCursorFunctions{"CoreCursorUnregisterAll", "CoreCursorSet",
                                                   "CoreCursorSetAndReturnSeed", "CoreCursorCopyImages"};
const std::vector<std::string> desktopFunctions{"TarnwickMouseLocation", "TarnwickPrimaryScreenHeight", "CGEventPost"};

// A variant loaded on its own: its symbols are not visible to anyone else,
// and dlsym on its handle sees only it and what it depends on.
class LoadedVariant {
public:
    explicit LoadedVariant(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedVariant()
    {
        if (handle_)
            dlclose(handle_);
    }
    LoadedVariant(const LoadedVariant&) = delete;
    LoadedVariant& operator=(const LoadedVariant&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    bool exports(const std::string& name) const { return dlsym(handle_, name.c_str()) != nullptr; }
    template <typename Function>
    Function function(const char* name) const
    {
        return reinterpret_cast<Function>(dlsym(handle_, name));
    }

private:
    void* handle_;
};

struct Expected {
    const char* path;
    bool cgs;
    bool sls;
    bool coreCursor;
    bool desktop;
};

void expectExports(const Expected& expected)
{
    SCOPED_TRACE(expected.path);
    LoadedVariant variant(expected.path);
    ASSERT_TRUE(variant.loaded()) << dlerror();
    for (const std::string& function : prefixedFunctions) {
        EXPECT_EQ(variant.exports("CGS" + function), expected.cgs) << function;
        EXPECT_EQ(variant.exports("SLS" + function), expected.sls) << function;
    }
    for (const std::string& function : coreCursorFunctions)
        EXPECT_EQ(variant.exports(function), expected.coreCursor) << function;
    for (const std::string& function : desktopFunctions)
        EXPECT_EQ(variant.exports(function), expected.desktop) << function;
    EXPECT_TRUE(variant.exports("SimWindowServerReset"));
    EXPECT_TRUE(variant.exports("SimWindowServerCallCount"));
    // Nothing of the C++ inside is exported.
    EXPECT_FALSE(variant.exports("_ZN20SimWindowServerModel6sharedEv"));
}

TEST(SimProviderVariants, EachVariantExportsExactlyItsSelectionOfNames)
{
    expectExports({SIM_PROVIDER_LIBRARY, true, true, true, true});
    expectExports({SIM_SLSONLY_PROVIDER_LIBRARY, false, true, true, true});
    expectExports({SIM_NOCORE_PROVIDER_LIBRARY, true, true, false, true});
    expectExports({SIM_EMPTY_PROVIDER_LIBRARY, false, false, false, false});
}

TEST(SimProviderVariants, EachLoadedVariantKeepsAStateOfItsOwn)
{
    LoadedVariant slsOnly(SIM_SLSONLY_PROVIDER_LIBRARY);
    LoadedVariant empty(SIM_EMPTY_PROVIDER_LIBRARY);
    ASSERT_TRUE(slsOnly.loaded());
    ASSERT_TRUE(empty.loaded());
    using CallCount = size_t (*)(const char*);
    using Reset = void (*)();
    slsOnly.function<Reset>("SimWindowServerReset")();
    empty.function<Reset>("SimWindowServerReset")();

    auto setCursor = slsOnly.function<CoreCursorSetFunction>("CoreCursorSet");
    auto mainConnection = slsOnly.function<MainConnectionIDFunction>("SLSMainConnectionID");
    ASSERT_NE(setCursor, nullptr);
    ASSERT_NE(mainConnection, nullptr);
    EXPECT_EQ(setCursor(mainConnection(), 1), 0);

    EXPECT_EQ(slsOnly.function<CallCount>("SimWindowServerCallCount")("CoreCursorSet"), 1u);
    EXPECT_EQ(slsOnly.function<CallCount>("SimWindowServerCallCount")("MainConnectionID"), 1u);
    EXPECT_EQ(empty.function<CallCount>("SimWindowServerCallCount")("CoreCursorSet"), 0u);
}

}
