#pragma once

#include "app/TarnwickTrayApp.h"
#include "capes/CursorCapeStore.h"
#include "platform/runloop/ManualRunLoop.h"
#include "providers/sim/SimWindowServer.h"
#include "runtime/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// What every test of this executable shares: the process's run loop, its
// input-source file and its cape folder, made once in main() before anything
// reaches the process-wide services.
namespace DelegateTestProcess {
ManualRunLoop& loop();
// Rewrites the file the input-source service reads; its observers hear of it
// the next time the loop runs.
void selectInputSource(const std::string& name, const std::string& id, const std::string& languages);
std::string capesFolder();
}

// One delegate per test in a fresh home, with every log line of the test,
// debug lines included, in a private file.
class DelegateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("ORVELLE_ENABLE_SEED_WATCHDOG");
        SimWindowServerReset();
        CursorCapeStore::shared().removeAllCapes();
        selectEnglishUS();
        // The rewrite above must not reach the next delegate as a switch.
        loop().runPending();
        log.clear();
    }

    void TearDown() override
    {
        app.reset();
        loop().runPending();
    }

    static ManualRunLoop& loop() { return DelegateTestProcess::loop(); }

    static void selectEnglishUS() { DelegateTestProcess::selectInputSource("English (US)", "xkb:us", "en"); }
    static void selectEnglishUK() { DelegateTestProcess::selectInputSource("English (UK)", "xkb:gb", "en"); }
    static void selectRussian() { DelegateTestProcess::selectInputSource("Russian", "xkb:ru", "ru"); }

    void launch()
    {
        app = std::make_unique<TarnwickTrayApp>();
        app->applicationDidFinishLaunching();
    }

    // Launches and lets the controller's own delayed re-activations and the
    // suppression after the first apply pass.
    void launchAndSettle()
    {
        launch();
        loop().advance(1.1);
        log.clear();
        SimWindowServerClearCallLog();
    }

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
    static std::string onScreen()
    {
        CGSRuntime& runtime = CGSRuntime::shared();
        return runtime.currentCursorFingerprint(*runtime.mainConnectionID()).value_or("none");
    }

    // Someone else puts another cursor on screen.
    static void foreignCursorChange(const std::string& name = "com.apple.cursor.1")
    {
        CGSRuntime& runtime = CGSRuntime::shared();
        ASSERT_TRUE(runtime.setRegisteredCursorNow(*runtime.mainConnectionID(), name));
    }

    static std::string home() { return std::getenv("HOME"); }

    LogCapture log;
    std::unique_ptr<TarnwickTrayApp> app;
};
