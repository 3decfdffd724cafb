// Threads that the system will not give: every owner goes on without them or says it cannot,
// and nothing throws, waits forever or aborts.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "RefusedThreadStarts.h"
#include "capture/MjpegDecoderPool.h"
#include "dispatch/GlobalQueue.h"
#include "dispatch/SerialQueue.h"
#include "dispatch/SystemClock.h"
#include "dispatch/ThreadStart.h"

using platform::SerialQueue;
using platform::ThreadStart;
using testsupport::RefusedThreadStarts;

TEST(ThreadStart, AStartTheSystemRefusesIsAReasonNotAnException) {
  std::thread thread;
  {
    RefusedThreadStarts refused;
    std::atomic<bool> ran{false};
    auto why = ThreadStart::start(thread, [&] { ran = true; });
    ASSERT_TRUE(why);
    EXPECT_EQ(*why, "Resource temporarily unavailable");
    EXPECT_FALSE(thread.joinable());
    EXPECT_FALSE(ran.load());
  }
  std::atomic<bool> ran{false};
  EXPECT_FALSE(ThreadStart::start(thread, [&] { ran = true; }));
  ASSERT_TRUE(thread.joinable());
  thread.join();
  EXPECT_TRUE(ran.load());
}

TEST(ThreadStart, ASerialQueueWithoutItsThreadRunsNothingAndNoOneWaitsOnIt) {
  RefusedThreadStarts refused;
  std::atomic<int> ran{0};
  {
    SerialQueue queue("no room");
    EXPECT_FALSE(queue.running());
    EXPECT_EQ(refused.cannotGoOn(), 1);
    EXPECT_EQ(refused.lastCannotGoOn(), "no room");
    queue.async([&] { ++ran; });
    queue.sync([&] { ++ran; });  // returns: nothing would ever run it
    queue.drain();
    EXPECT_EQ(queue.pendingCount(), 0u);
    EXPECT_FALSE(queue.isCurrent());
  }
  EXPECT_EQ(ran.load(), 0);
}

TEST(ThreadStart, QueuesAndPoolsGoOnWithTheThreadsThereAre) {
  {
    // Two of four: the queue still serves every task.
    RefusedThreadStarts refused(2);
    platform::GlobalQueue queue(4);
    std::atomic<int> ran{0};
    for (int i = 0; i < 20; ++i) queue.sync([&] { ++ran; });
    EXPECT_EQ(ran.load(), 20);
    EXPECT_EQ(refused.cannotGoOn(), 0);
  }
  {
    // None: the owner cannot go on and says so.
    RefusedThreadStarts refused;
    platform::GlobalQueue queue(2);
    EXPECT_EQ(refused.cannotGoOn(), 1);
    EXPECT_EQ(refused.lastCannotGoOn(), "the global queue");
  }
  {
    RefusedThreadStarts refused;
    platform::SystemClock clock;
    EXPECT_EQ(refused.cannotGoOn(), 1);
    EXPECT_EQ(refused.lastCannotGoOn(), "the clock's timers");
  }
  {
    // No MJPEG decoder: the frames are dropped and counted, a drain does not wait.
    RefusedThreadStarts refused;
    std::vector<std::string> lines;
    platform::MjpegDecoderPool pool(
        3, 64, 32, [](const platform::PixelBufferRef&, int64_t) {},
        [&](const std::string& line) { lines.push_back(line); });
    const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_FALSE(pool.submit(jpeg, sizeof jpeg, 0));
    pool.drain();
    EXPECT_EQ(pool.dropped(), 1u);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("0 of 3 threads"), std::string::npos) << lines[0];
  }
}
