#include "DelegateTestSupport.h"

#include "controller/SystemCursorController.h"

namespace {

using DelegatePipelineTest = DelegateTest;

const std::string skippedPoll = "[DEBUG] Apply skipped trigger=poll code/source unchanged";
const std::string applyRequested = "[INFO] Apply requested trigger=";
const std::string stabilization = "[INFO] Stabilization reapply attempt=";
const std::string applying = "[INFO] Applying cursor for language=";
const std::string watchdogLine = "[INFO] Cursor seed watchdog detected seed change old=";

CGSRuntime& unresolvedRuntime()
{
    static CGSRuntime runtime{std::vector<void*>{}};
    return runtime;
}

TEST_F(DelegatePipelineTest, LaunchAppliesTheBadgeOnceAndPollsWithNothingChangedOnlyRefreshTheTitle)
{
    std::string plain = onScreen();
    launch();
    EXPECT_TRUE(log.has("[INFO] Apply requested trigger=launch force=true languageChanged=true sourceChanged=true "
                        "prevCode=nil newCode=en prevSource=nil newSource=xkb:us applied=true"));
    EXPECT_NE(onScreen(), plain);
    loop.advance(1.1);
    std::string badged = onScreen();
    log.clear();
    SimWindowServerClearCallLog();

    statusItem().setTitle("stale");
    loop.advance(0.25);
    EXPECT_EQ(statusItem().title(), "TW [En]");
    loop.advance(0.25);
    EXPECT_EQ(log.count(skippedPoll), 2u);
    EXPECT_EQ(countStartingWith(applyRequested), 0u);
    EXPECT_EQ(countStartingWith(applying), 0u);
    // Nothing reached the window server beyond reading the seed and the
    // connection.
    for (const auto& call : SimWindowServerCallLog())
        EXPECT_TRUE(call.find("Register") == std::string::npos && call.find("Set") == std::string::npos) << call;
    EXPECT_EQ(onScreen(), badged);
}

TEST_F(DelegatePipelineTest, StartUpAndTerminationRunTheirStepsInOrderAndTerminationRunsOnce)
{
    auto expectInOrder = [this](const std::vector<std::string>& prefixes) {
        for (std::size_t i = 0; i < prefixes.size(); ++i) {
            EXPECT_LT(indexOf(prefixes[i]), log.lines().size()) << "missing: " << prefixes[i];
            if (i > 0) {
                EXPECT_GT(indexOf(prefixes[i]), indexOf(prefixes[i - 1])) << "out of order: " << prefixes[i];
            }
        }
    };
    std::string plain = onScreen();
    launch();
    expectInOrder({"[INFO] Accessibility cursor override active=false",
                   "[INFO] Startup hard reset before controller init: true",
                   "[INFO] CursorCapeStore directory ready: " + capesFolder(), "[INFO] Tarnwick launch. logFile=",
                   "[INFO] Sparkle updater initialized", "[INFO] Sparkle automatic checks disabled; launch probe skipped",
                   "[WARN] Status item not shown: no system tray is available",
                   "[INFO] Input source observer installed: "
                   "com.apple.Carbon.TISNotifySelectedKeyboardInputSourceChanged",
                   "[INFO] Input source polling fallback started: interval=0.25s",
                   "[INFO] Cursor seed watchdog disabled (set ORVELLE_ENABLE_SEED_WATCHDOG=1 to enable)",
                   "[INFO] Apply requested trigger=launch"});
    loop.advance(1.1);
    log.clear();

    app->terminate();
    app->terminate();
    expectInOrder({"[INFO] Tarnwick terminating; restoring original cursors", "[INFO] Termination restoreOriginal: true"});
    EXPECT_EQ(log.count("[INFO] Tarnwick terminating; restoring original cursors"), 1u);
    EXPECT_TRUE(loop.quitRequested());
    EXPECT_EQ(onScreen(), plain);
    // No poll and no re-apply is left to decorate the cursors again.
    selectRussian();
    loop.advance(2.0);
    EXPECT_EQ(countStartingWith("[DEBUG] State detected"), 0u);
    EXPECT_EQ(onScreen(), plain);
}

TEST_F(DelegatePipelineTest, NotificationAndThePollThatFollowsSeeOneSwitchAndApplyItOnce)
{
    launchAndSettle();
    std::string english = onScreen();
    selectRussian();
    loop.runPending();
    EXPECT_TRUE(log.has("[DEBUG] Input source notification received"));
    EXPECT_TRUE(log.has("[INFO] Apply requested trigger=input-source-notification force=false languageChanged=true "
                        "sourceChanged=true prevCode=en newCode=ru prevSource=xkb:us newSource=xkb:ru applied=true"));
    loop.advance(0.25);
    EXPECT_TRUE(log.has(skippedPoll));
    EXPECT_EQ(countStartingWith(applyRequested), 1u);
    EXPECT_EQ(statusItem().title(), "TW [Ру]");
    EXPECT_NE(onScreen(), english);
    EXPECT_EQ(pipeline().lastLanguageCode(), "ru");
    EXPECT_EQ(pipeline().lastInputSourceID(), "xkb:ru");
}

TEST_F(DelegatePipelineTest, TwoLayoutsOfOneLanguageApplyAsASourceChangeOnly)
{
    launchAndSettle();
    selectEnglishUK();
    loop.advance(0.25);
    EXPECT_EQ(linesStartingWith(applyRequested),
              std::vector<std::string>{"[INFO] Apply requested trigger=input-source-notification force=false "
                                       "languageChanged=false sourceChanged=true prevCode=en newCode=en "
                                       "prevSource=xkb:us newSource=xkb:gb applied=true"});
    EXPECT_TRUE(log.has(skippedPoll));
    EXPECT_EQ(statusItem().title(), "TW [En]");
}

TEST_F(DelegatePipelineTest, ForcedRequestAppliesWithNothingChanged)
{
    launchAndSettle();
    trayMenu().forceApply();
    EXPECT_TRUE(log.has("[INFO] Manual reapply requested from tray menu"));
    EXPECT_EQ(linesStartingWith(applyRequested),
              std::vector<std::string>{"[INFO] Apply requested trigger=manual force=true languageChanged=false "
                                       "sourceChanged=false prevCode=en newCode=en prevSource=xkb:us "
                                       "newSource=xkb:us applied=true"});
    EXPECT_TRUE(log.has("[INFO] cursorController.apply result language=en style=letterBadge result=true"));
}

TEST_F(DelegatePipelineTest, FailedAppliesStillRecordTheLanguageSoLaterPollsAreSkipped)
{
    launchAndSettle();
    std::string english = onScreen();

    // A window server that refuses every cursor image.
    SimWindowServerSetFailure("RegisterCursorWithImages", SimWindowServerErrorFailure);
    SimWindowServerSetFailure("RegisterCursorWithImage", SimWindowServerErrorFailure);
    selectRussian();
    loop.runPending();
    EXPECT_TRUE(log.has("[INFO] cursorController.apply result language=ru style=letterBadge result=false"));
    EXPECT_TRUE(log.has("[INFO] Apply requested trigger=input-source-notification force=false languageChanged=true "
                        "sourceChanged=true prevCode=en newCode=ru prevSource=xkb:us newSource=xkb:ru applied=false"));
    EXPECT_EQ(pipeline().lastLanguageCode(), "ru");
    loop.advance(2.0);
    EXPECT_EQ(log.count(skippedPoll), 8u);
    EXPECT_EQ(countStartingWith(applyRequested), 1u);
    EXPECT_EQ(countStartingWith(stabilization), 0u);
    EXPECT_EQ(statusItem().title(), "TW [Ру]");
    SimWindowServerClearFailures();

    // A controller whose window-server functions were never found.
    log.clear();
    pipeline().setCursorController(std::make_shared<SystemCursorController>(unresolvedRuntime(), capeStore(), ActivationSwitches{}));
    selectEnglishUS();
    loop.runPending();
    EXPECT_TRUE(log.has("[ERROR] applyCursor aborted: runtime unavailable"));
    EXPECT_TRUE(log.has("[INFO] Apply requested trigger=input-source-notification force=false languageChanged=true "
                        "sourceChanged=true prevCode=ru newCode=en prevSource=xkb:ru newSource=xkb:us applied=false"));
    loop.advance(0.5);
    EXPECT_EQ(log.count(skippedPoll), 2u);
    EXPECT_EQ(countStartingWith(applyRequested), 1u);
    EXPECT_EQ(pipeline().lastLanguageCode(), "en");
    EXPECT_EQ(statusItem().title(), "TW [En]");

    // No controller at all.
    log.clear();
    pipeline().setCursorController(nullptr);
    selectRussian();
    loop.runPending();
    EXPECT_TRUE(log.has("[ERROR] applyCursor aborted: cursor controller is nil"));
    EXPECT_EQ(pipeline().lastInputSourceID(), "xkb:ru");
    auto requested = linesStartingWith(applyRequested);
    ASSERT_EQ(requested.size(), 1u);
    EXPECT_NE(requested[0].find("newCode=ru prevSource=xkb:us newSource=xkb:ru applied=false"), std::string::npos);
}

TEST_F(DelegatePipelineTest, StabilizationFollowsTheScheduleWhileTheScreenShowsNoChange)
{
    launch();
    // The launch apply visibly replaced the arrow: nothing to stabilize.
    loop.advance(5.0);
    EXPECT_EQ(countStartingWith(stabilization), 0u);

    // Applying the same badge again leaves the image on screen as it was.
    log.clear();
    trayMenu().forceApply();
    double start = loop.now();
    const double tolerance = 0.001;
    for (double due : {0.45, 0.45 + 1.0, 0.45 + 1.0 + 1.8}) {
        std::size_t before = countStartingWith(stabilization);
        loop.runUntil(start + due - tolerance);
        EXPECT_EQ(countStartingWith(stabilization), before) << "early at " << due;
        loop.runUntil(start + due + tolerance);
        EXPECT_EQ(countStartingWith(stabilization), before + 1) << "missing at " << due;
    }
    loop.runUntil(start + 10.0);
    EXPECT_EQ(linesStartingWith(stabilization),
              (std::vector<std::string>{
                  "[INFO] Stabilization reapply attempt=1 language=en result=true hashChanged=false",
                  "[INFO] Stabilization reapply attempt=2 language=en result=true hashChanged=false",
                  "[INFO] Stabilization reapply attempt=3 language=en result=true hashChanged=false"}));
    // Attempts talk to the controller directly.
    EXPECT_EQ(countStartingWith(applying), 1u);
}

TEST_F(DelegatePipelineTest, StabilizationStartsWhenTheScreenCannotBeReadAndStopsAtAFailedApply)
{
    launchAndSettle();
    SimWindowServerSetFailure("GetGlobalCursorData", SimWindowServerErrorFailure);
    selectRussian();
    loop.runPending();
    EXPECT_EQ(pipeline().lastLanguageCode(), "ru");
    loop.advance(0.45);
    EXPECT_TRUE(log.has("[INFO] Stabilization reapply attempt=1 language=ru result=true hashChanged=false"));

    SimWindowServerSetFailure("RegisterCursorWithImages", SimWindowServerErrorFailure);
    SimWindowServerSetFailure("RegisterCursorWithImage", SimWindowServerErrorFailure);
    loop.advance(1.0);
    EXPECT_TRUE(log.has("[INFO] Stabilization reapply attempt=2 language=ru result=false hashChanged=false"));
    loop.advance(5.0);
    EXPECT_EQ(countStartingWith(stabilization), 2u);
}

TEST_F(DelegatePipelineTest, NewSwitchCancelsThePendingStabilization)
{
    launchAndSettle();
    trayMenu().forceApply();
    loop.advance(0.3);
    selectRussian();
    loop.runPending();
    EXPECT_TRUE(log.has("[INFO] Apply requested trigger=input-source-notification force=false languageChanged=true "
                        "sourceChanged=true prevCode=en newCode=ru prevSource=xkb:us newSource=xkb:ru applied=true"));
    loop.advance(5.0);
    EXPECT_EQ(countStartingWith(stabilization), 0u);
    EXPECT_FALSE(pipeline().hasPendingStabilization());
}

class DelegateWatchdogTest : public DelegateTest {
protected:
    void launchWithWatchdog()
    {
        enableCursorSeedWatchdog = true;
        launch();
        ASSERT_TRUE(app->enableCursorSeedWatchdog());
        EXPECT_TRUE(log.has("[INFO] Cursor seed watchdog started: interval=0.20s"));
    }
};

TEST_F(DelegateWatchdogTest, AbsorbsChangesWithinTheCooldownAndReappliesOnceForALaterOne)
{
    launchWithWatchdog();
    std::string badged = onScreen();
    // The controller's own re-activations and a foreign change, all within
    // 1.0 s of the apply.
    loop.advance(0.5);
    foreignCursorChange();
    loop.advance(0.45);
    EXPECT_EQ(countStartingWith(watchdogLine), 0u);
    EXPECT_EQ(countStartingWith(applying), 1u);
    EXPECT_NE(onScreen(), badged);

    loop.advance(1.0);
    log.clear();
    foreignCursorChange();
    std::int32_t foreignSeed = SimWindowServerCurrentSeed();
    loop.advance(0.2);
    auto detected = linesStartingWith(watchdogLine);
    ASSERT_EQ(detected.size(), 1u);
    EXPECT_NE(detected[0].find(" new=" + std::to_string(foreignSeed) + "; reapplying"), std::string::npos);
    EXPECT_EQ(countStartingWith(applying), 1u);
    EXPECT_EQ(countStartingWith(applyRequested), 0u);
    EXPECT_EQ(onScreen(), badged);
    // Its own re-activations fall within its cooldown.
    loop.advance(5.0);
    EXPECT_EQ(countStartingWith(watchdogLine), 1u);
    EXPECT_EQ(countStartingWith(applying), 1u);
}

TEST_F(DelegateWatchdogTest, LeavesTheSystemStyleAlone)
{
    defaults.set("tarnwick.cursor_style.global", "system");
    launchWithWatchdog();
    EXPECT_TRUE(log.has("[INFO] Applying cursor for language=en badge=En style=system marker=system"));
    EXPECT_EQ(statusItem().title(), "TW [En]");
    loop.advance(2.0);
    log.clear();
    foreignCursorChange();
    loop.advance(3.0);
    foreignCursorChange("com.apple.cursor.2");
    loop.advance(3.0);
    EXPECT_EQ(countStartingWith(watchdogLine), 0u);
    EXPECT_EQ(countStartingWith(applying), 0u);
}

TEST_F(DelegateWatchdogTest, OurOwnStabilizationDoesNotWakeTheWatchdog)
{
    launchWithWatchdog();
    loop.advance(2.0);
    log.clear();
    // Attempts 2 and 3 come after the cooldown and activate the cursor anew.
    trayMenu().forceApply();
    loop.advance(30.0);
    EXPECT_EQ(countStartingWith(stabilization), 3u);
    EXPECT_EQ(countStartingWith(watchdogLine), 0u);
    EXPECT_EQ(countStartingWith(applying), 1u);

    // A foreign change is still noticed afterwards.
    foreignCursorChange();
    loop.advance(0.2);
    EXPECT_EQ(countStartingWith(watchdogLine), 1u);
}

}
