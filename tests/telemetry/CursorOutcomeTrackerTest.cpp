#include "telemetry/CursorOutcomeTracker.h"
#include "telemetry/LayoutActivityTracker.h"

#include <gtest/gtest.h>

using Events = std::optional<std::string>;

TEST(CursorOutcomeTrackerTest, FirstOutcomeThenChangesWithAFirstSuccessAtOnceAndOthersAtMostEveryThirtySeconds)
{
    CursorOutcomeTracker tracker;
    EXPECT_EQ(tracker.observe("failure", true, 0), "initialization_result");
    EXPECT_EQ(tracker.observe("failure", true, 1), std::nullopt);
    EXPECT_EQ(tracker.observe("success", true, 2), "feature_state_changed") << "a first success is reported at once";
    EXPECT_EQ(tracker.observe("failure", true, 12), std::nullopt) << "only 10 s after the last event";
    EXPECT_EQ(tracker.observe("failure", true, 42), "feature_state_changed") << "40 s after the last event";
    EXPECT_EQ(tracker.observe("success", true, 43), std::nullopt) << "success was already reported once";
    EXPECT_EQ(tracker.observe("success", true, 72), "feature_state_changed");
    EXPECT_EQ(tracker.observe("suppressed", false, 72.5), std::nullopt);
    EXPECT_EQ(tracker.observe("success", false, 102), "feature_state_changed") << "the enabled flag alone is a change";
}

TEST(CursorOutcomeTrackerTest, AnOutcomeHeldBackIsNotRemembered)
{
    CursorOutcomeTracker tracker;
    EXPECT_EQ(tracker.observe("success", true, 0), "initialization_result");
    EXPECT_EQ(tracker.observe("failure", true, 5), std::nullopt);
    // Still compared with the last emitted "success", and timed from it.
    EXPECT_EQ(tracker.observe("success", true, 20), std::nullopt);
    EXPECT_EQ(tracker.observe("failure", true, 29.9), std::nullopt);
    EXPECT_EQ(tracker.observe("failure", true, 30), "feature_state_changed");

    CursorOutcomeTracker startsWithSuccess;
    EXPECT_EQ(startsWithSuccess.observe("success", true, 0), "initialization_result");
    EXPECT_EQ(startsWithSuccess.observe("failure", true, 31), "feature_state_changed");
    EXPECT_EQ(startsWithSuccess.observe("success", true, 32), std::nullopt) << "the first success came with the start";
}

TEST(LayoutActivityTrackerTest, SwitchingAToBToBToACountsTwoChanges)
{
    LayoutActivityTracker tracker;
    EXPECT_FALSE(tracker.observe("en"));
    EXPECT_TRUE(tracker.observe("de"));
    EXPECT_FALSE(tracker.observe("de"));
    EXPECT_TRUE(tracker.observe("en"));
    EXPECT_TRUE(tracker.observe(""));
}
