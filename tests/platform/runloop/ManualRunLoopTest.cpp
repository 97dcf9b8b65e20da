#include "platform/runloop/ManualRunLoop.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

TEST(ManualRunLoop, FiresDueWorkInTimeOrderAndTiesInScheduleOrder)
{
    ManualRunLoop loop;
    std::vector<std::string> fired;
    loop.after(0.3, [&] { fired.push_back("c@" + std::to_string(loop.now())); });
    loop.after(0.1, [&] { fired.push_back("a"); });
    loop.after(0.1, [&] { fired.push_back("b"); });
    loop.advance(0.05);
    EXPECT_TRUE(fired.empty());
    loop.advance(0.25);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[0], "a");
    EXPECT_EQ(fired[1], "b");
    EXPECT_EQ(fired[2], "c@" + std::to_string(0.3));
    EXPECT_DOUBLE_EQ(loop.now(), 0.3);
}

TEST(ManualRunLoop, CancelledWorkNeverRunsAndTimersRepeatUntilCancelled)
{
    ManualRunLoop loop;
    int delayed = 0, ticks = 0;
    auto handle = loop.after(1.0, [&] { ++delayed; });
    handle->cancel();
    auto timer = loop.every(0.25, [&] { ++ticks; });
    loop.advance(1.0);
    EXPECT_EQ(delayed, 0);
    EXPECT_EQ(ticks, 4);
    timer->cancel();
    loop.advance(1.0);
    EXPECT_EQ(ticks, 4);
    EXPECT_EQ(loop.scheduledCount(), 0u);
}

TEST(ManualRunLoop, WorkScheduledWhileFiringRunsWhenItFallsDueInsideTheWindow)
{
    ManualRunLoop loop;
    std::vector<double> times;
    loop.after(0.1, [&] {
        times.push_back(loop.now());
        loop.after(0.2, [&] { times.push_back(loop.now()); });
    });
    loop.post([&] { times.push_back(-1); });
    loop.advance(0.25);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(times[0], -1);
    EXPECT_DOUBLE_EQ(times[1], 0.1);
    loop.advance(0.1);
    ASSERT_EQ(times.size(), 3u);
    EXPECT_NEAR(times[2], 0.3, 1e-12);
}

TEST(ManualRunLoop, TaskCancellingItsOwnTimerStopsIt)
{
    ManualRunLoop loop;
    int ticks = 0;
    std::shared_ptr<RunLoop::Handle> timer;
    timer = loop.every(0.2, [&] {
        if (++ticks == 2)
            timer->cancel();
    });
    loop.advance(2.0);
    EXPECT_EQ(ticks, 2);
}

TEST(ManualRunLoop, RunsWatchOfReadableDescriptorAndQuitEndsRun)
{
    ManualRunLoop loop;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string received;
    auto watch = loop.watchReadable(fds[0], [&] {
        char c;
        if (read(fds[0], &c, 1) == 1)
            received += c;
        loop.quit(7);
    });
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    EXPECT_EQ(loop.run(), 7);
    EXPECT_EQ(received, "x");
    watch->cancel();
    ASSERT_EQ(write(fds[1], "y", 1), 1);
    loop.runPending();
    EXPECT_EQ(received, "x");
    close(fds[0]);
    close(fds[1]);
}
