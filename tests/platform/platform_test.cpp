// The clocks and message queues the threads rely on.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/media_clock.h"
#include "platform/queue_window_target.h"
#include "platform/thread_message_queue.h"

TEST(MediaClock, MillisecondsAndHundredNanosecondUnitsAgree) {
    const int64_t ms = GetMediaTimeMs();
    const int64_t hns = GetMediaTime100ns();
    const int64_t ms2 = GetMediaTimeMs();
    ASSERT_GT(ms, 0);
    EXPECT_GE(hns / 10000, ms);
    EXPECT_LE(hns / 10000, ms2);
    EXPECT_EQ(TimeGetTime() - static_cast<uint32_t>(ms2) < 1000u, true);
}

TEST(MediaClock, NeverRunsBackwards) {
    int64_t last = GetMediaTime100ns();
    for (int i = 0; i < 100000; ++i) {
        const int64_t now = GetMediaTime100ns();
        ASSERT_GE(now, last);
        last = now;
    }
}

TEST(ThreadMessageQueue, DeliversInPostingOrderOneAtATime) {
    CThreadMessageQueue q;
    q.Post(1, 10, -1);
    q.Post(2, 20, -2);
    ThreadMessage m;
    ASSERT_TRUE(q.Take(&m));
    EXPECT_EQ(m.code, 1u);
    EXPECT_EQ(m.wParam, 10u);
    EXPECT_EQ(m.lParam, -1);
    EXPECT_EQ(q.Size(), 1u);
    ASSERT_TRUE(q.Take(&m));
    EXPECT_EQ(m.code, 2u);
    EXPECT_FALSE(q.Take(&m));
}

TEST(ThreadMessageQueue, ManyProducersLoseNothingAndKeepEachProducersOrder) {
    CThreadMessageQueue q;
    constexpr int kPerThread = 5000;
    std::vector<std::thread> producers;
    for (uint32_t t = 0; t < 4; ++t)
        producers.emplace_back([&q, t] {
            for (int i = 0; i < kPerThread; ++i) q.Post(t, static_cast<uintptr_t>(i), 0);
        });
    for (auto& p : producers) p.join();
    std::vector<int> next(4, 0);
    ThreadMessage m;
    int count = 0;
    while (q.Take(&m)) {
        ASSERT_EQ(m.wParam, static_cast<uintptr_t>(next[m.code]));
        ++next[m.code];
        ++count;
    }
    EXPECT_EQ(count, 4 * kPerThread);
}

TEST(ThreadMessageQueue, DrainReturnsWhatIsLeftInOrder) {
    CThreadMessageQueue q;
    q.Post(7, 1, 0);
    q.Post(8, 2, 0);
    auto left = q.Drain();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].code, 7u);
    EXPECT_EQ(left[1].code, 8u);
    EXPECT_EQ(q.Size(), 0u);
}

TEST(QueueWindowTarget, WaitForSkipsUnrelatedMessagesAndTimesOut) {
    CQueueWindowTarget target;
    std::thread poster([&] {
        target.Post(100, 0, 0);
        target.Post(200, 5, 6);
    });
    ThreadMessage m;
    ASSERT_TRUE(target.WaitFor([](const ThreadMessage& x) { return x.code == 200; }, std::chrono::seconds(5), &m));
    poster.join();
    EXPECT_EQ(m.wParam, 5u);
    EXPECT_FALSE(target.Take(&m, std::chrono::milliseconds(20)));
    EXPECT_FALSE(PostWindowMessage(nullptr, 1, 2, 3));
    EXPECT_TRUE(PostWindowMessage(&target, 1, 2, 3));
    EXPECT_TRUE(target.Take(&m, std::chrono::milliseconds(0)));
}
