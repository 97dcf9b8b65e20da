#pragma once

#include "accessibility/CursorAccessibilityAppearanceController.h"
#include "app/AppServices.h"
#include "app/TarnwickTrayApp.h"
#include "capes/CursorCapeStore.h"
#include "platform/autostart/LaunchAgent.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/files/AtomicFile.h"
#include "platform/http/HttpSession.h"
#include "platform/input/FileInputSourceService.h"
#include "platform/runloop/ManualRunLoop.h"
#include "providers/sim/SimWindowServer.h"
#include "runtime/CGSRuntime.h"
#include "runtime/LogCapture.h"
#include "support/TempHome.h"
#include "telemetry/TelemetryReporter.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One delegate per test, built from the test's own services: the simulated
// window server, a file-described input source, a manual clock, telemetry
// without a collector, and a fresh home for the settings, the capes and the
// autostart entry. Every log line of the test, debug lines included, goes to
// a private file.
class DelegateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(simProvider(), nullptr) << dlerror();
        // The controller, the telemetry reporter and the input source's watch
        // schedule their work on the main loop.
        RunLoop::setMain(&loop);
        SimWindowServerReset();
        ASSERT_TRUE(AtomicFile::makeDirectories(tempHome.path() + "/input"));
        selectEnglishUS();
        log.clear();
    }

    void TearDown() override
    {
        app.reset();
        loop.runPending();
        RunLoop::setMain(nullptr);
    }

    AppServices services()
    {
        return {.runLoop = loop,
                .inputSources = inputSources,
                .defaults = defaults,
                .telemetryReporter = telemetryReporter,
                .accessibilityAppearanceController = accessibilityAppearanceController,
                .runtime = runtime,
                .capeStore = [this]() -> CursorCapeStore& { return capeStore(); },
                .httpSession = httpSession,
                .launchAgent = *launchAgent,
                .enableCursorSeedWatchdog = enableCursorSeedWatchdog,
                .activationSwitches = {}};
    }

    void launch()
    {
        app = std::make_unique<TarnwickTrayApp>(services());
        app->applicationDidFinishLaunching();
    }

    // Launches and lets the controller's own delayed re-activations and the
    // suppression after the first apply pass.
    void launchAndSettle()
    {
        launch();
        loop.advance(1.1);
        log.clear();
        SimWindowServerClearCallLog();
    }

    LanguageChangePipeline& pipeline() { return app->pipeline(); }
    TrayMenuController& trayMenu() { return app->trayMenu(); }
    StatusItem& statusItem() { return *app->trayMenu().statusItem(); }

    // Rewrites the file the input source reads; its observers hear of it the
    // next time the loop runs.
    void selectInputSource(const std::string& name, const std::string& id, const std::string& languages)
    {
        bool written = AtomicFile::write(inputSourceFile,
                                         "name=" + name + "\nid=" + id + "\nlanguages=" + languages + "\n", 0644);
        ASSERT_TRUE(written);
    }
    void selectEnglishUS() { selectInputSource("English (US)", "xkb:us", "en"); }
    void selectEnglishUK() { selectInputSource("English (UK)", "xkb:gb", "en"); }
    void selectRussian() { selectInputSource("Russian", "xkb:ru", "ru"); }

    std::vector<std::string> linesStartingWith(const std::string& prefix) const
    {
        std::vector<std::string> found;
        for (const auto& line : log.lines())
            if (line.rfind(prefix, 0) == 0)
                found.push_back(line);
        return found;
    }
    std::size_t countStartingWith(const std::string& prefix) const { return linesStartingWith(prefix).size(); }

    // The position of the first line starting with prefix, or the line count.
    std::size_t indexOf(const std::string& prefix) const
    {
        auto lines = log.lines();
        auto at = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
        return std::size_t(at - lines.begin());
    }

    // The image on screen, as the window server hashes it.
    std::string onScreen() const
    {
        return runtime.currentCursorFingerprint(*runtime.mainConnectionID()).value_or("none");
    }

    // Someone else puts another cursor on screen.
    void foreignCursorChange(const std::string& name = "com.apple.cursor.1")
    {
        ASSERT_TRUE(runtime.setRegisteredCursorNow(*runtime.mainConnectionID(), name));
    }

    // Made when first asked for, as the program's shared store is.
    CursorCapeStore& capeStore()
    {
        if (!capeStore_)
            capeStore_.emplace();
        return *capeStore_;
    }

    std::string home() const { return tempHome.path(); }
    std::string capesFolder() const { return tempHome.applicationSupport() + "/Tarnwick/capes"; }

    // The library the test is linked with: its window server is the one the
    // test inspects and resets.
    static void* simProvider()
    {
        static void* handle = dlopen(TARNWICK_SIM_PROVIDER, RTLD_NOW);
        return handle;
    }

    // Its own home holds the log; the test's home is made after it, so that
    // HOME points at the test's.
    LogCapture log;
    TempHome tempHome;
    ManualRunLoop loop;
    std::string inputSourceFile = tempHome.path() + "/input/source";
    FileInputSourceService inputSources{inputSourceFile};
    UserDefaults defaults{tempHome.configHome() + "/tarnwick/com.tarnwick.app.plist"};
    TelemetryReporter telemetryReporter{defaults, TelemetryReporter::Options{}};
    CursorAccessibilityAppearanceController accessibilityAppearanceController;
    CGSRuntime runtime{std::vector<void*>{simProvider()}};
    std::optional<CursorCapeStore> capeStore_;
    HttpSession httpSession;
    std::unique_ptr<LaunchAgent> launchAgent = LaunchAgent::forThisDesktop();
    bool enableCursorSeedWatchdog = false;
    std::unique_ptr<TarnwickTrayApp> app;
};
