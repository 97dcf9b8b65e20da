#include "base/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

TEST(SerialQueue, RunsTasksOneAtATimeInSubmissionOrderOffTheCaller)
{
    // Lingering an hour: sync() and destruction must still not wait for it.
    for (auto linger : {std::chrono::milliseconds(0), std::chrono::milliseconds(3600 * 1000)}) {
        SerialQueue queue("com.tarnwick.test", linger);
        EXPECT_EQ(queue.label(), "com.tarnwick.test");
        std::vector<int> order;
        std::atomic<int> running{0};
        bool overlapped = false, onCaller = false;
        auto caller = std::this_thread::get_id();
        for (int i = 0; i < 200; ++i) {
            queue.async([&, i] {
                if (running.fetch_add(1) != 0)
                    overlapped = true;
                onCaller = onCaller || std::this_thread::get_id() == caller;
                order.push_back(i);
                running.fetch_sub(1);
            });
        }
        queue.sync([] {});
        ASSERT_EQ(order.size(), 200u);
        for (int i = 0; i < 200; ++i)
            EXPECT_EQ(order[i], i);
        EXPECT_FALSE(overlapped);
        EXPECT_FALSE(onCaller);
        queue.async([&] { order.push_back(200); });
        queue.sync([] {});
        EXPECT_EQ(order.size(), 201u);
    }
}

TEST(SerialQueue, SyncFromTheQueueItselfRunsInPlace)
{
    SerialQueue queue("nested");
    bool inner = false;
    queue.sync([&] {
        EXPECT_TRUE(queue.isCurrent());
        queue.sync([&] { inner = true; });
    });
    EXPECT_TRUE(inner);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueue, DelayedWorkRunsAfterLaterImmediateWorkAndDestructionDrainsQueuedWork)
{
    std::vector<std::string> seen;
    {
        SerialQueue queue("delays");
        std::atomic<bool> delayedRan{false};
        queue.after(0.02, [&] {
            seen.push_back("delayed");
            delayedRan = true;
        });
        queue.async([&] { seen.push_back("now"); });
        while (!delayedRan) {
            queue.sync([] {});
        }
        queue.after(3600, [&] { seen.push_back("never"); });
        queue.async([&] { seen.push_back("drained"); });
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"now", "delayed", "drained"}));
}
