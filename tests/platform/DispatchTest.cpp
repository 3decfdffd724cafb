#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ManualClock.h"
#include "dispatch/DispatchTimer.h"
#include "dispatch/GlobalQueue.h"
#include "dispatch/LatestTask.h"
#include "dispatch/MainQueue.h"
#include "dispatch/Semaphore.h"
#include "dispatch/SerialQueue.h"

using namespace std::chrono_literals;
using platform::DispatchTimer;
using platform::MainQueue;
using platform::SerialQueue;

TEST(SerialQueue, RunsTasksInOrderOnOneThread) {
  SerialQueue queue("test.order");
  std::vector<int> seen;
  std::thread::id first;
  bool oneThread = true;
  for (int i = 0; i < 500; ++i) {
    queue.async([&, i] {
      if (i == 0) first = std::this_thread::get_id();
      oneThread = oneThread && std::this_thread::get_id() == first;
      seen.push_back(i);
    });
  }
  queue.drain();
  ASSERT_EQ(seen.size(), 500u);
  for (int i = 0; i < 500; ++i) EXPECT_EQ(seen[i], i);
  EXPECT_TRUE(oneThread);
  EXPECT_NE(first, std::this_thread::get_id());
}

TEST(SerialQueue, SyncFromItsOwnTaskRunsInline) {
  SerialQueue queue("test.sync");
  int value = 0;
  queue.sync([&] {
    queue.sync([&] { value = 1; });  // would deadlock if it queued
    EXPECT_TRUE(queue.isCurrent());
  });
  EXPECT_EQ(value, 1);
  EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueue, DestroyedWithWorkPendingRunsItAll) {
  std::atomic<int> ran{0};
  {
    // The gate outlives the queue: the queue's end waits for the task still inside gate.wait().
    platform::Semaphore gate(0);
    SerialQueue queue("test.pending");
    queue.async([&] { gate.wait(); });
    for (int i = 0; i < 100; ++i) queue.async([&] { ++ran; });
    EXPECT_GE(queue.pendingCount(), 99u);
    gate.signal();
  }
  EXPECT_EQ(ran.load(), 100);
}

TEST(SerialQueue, AQuitWithTasksWaitingRunsNoneOfThemAndWaitsOnlyForTheOneRunning) {
  platform::Semaphore entered(0), gate(0);
  std::atomic<int> ran{0};
  SerialQueue queue("test.discard");
  queue.async([&] {
    entered.signal();
    gate.wait();
  });
  ASSERT_TRUE(entered.wait(5s));
  for (int i = 0; i < 100; ++i) queue.async([&] { ++ran; });
  // Returns while the running task still holds the queue: nothing of the rest is waited for.
  EXPECT_EQ(queue.discardPending(), 100u);
  EXPECT_EQ(queue.pendingCount(), 0u);
  gate.signal();
  queue.drain();
  EXPECT_EQ(ran.load(), 0);
  queue.async([&] { ++ran; });  // the queue goes on taking work
  queue.drain();
  EXPECT_EQ(ran.load(), 1);
}

TEST(SerialQueue, AWaiterWhoseTaskIsDiscardedReturns) {
  platform::Semaphore entered(0), gate(0);
  SerialQueue queue("test.discard.sync");
  queue.async([&] {
    entered.signal();
    gate.wait();
  });
  ASSERT_TRUE(entered.wait(5s));
  bool ran = false;
  std::thread waiter([&] { queue.sync([&] { ran = true; }); });
  while (queue.pendingCount() == 0) std::this_thread::yield();
  queue.discardPending();
  waiter.join();  // would hang if the dropped task left its waiter waiting
  gate.signal();
  queue.drain();
  EXPECT_FALSE(ran);
}

TEST(SerialQueue, CanBeDestroyedByItsOwnTask) {
  auto* queue = new SerialQueue("test.self");
  platform::Semaphore done(0);
  queue->async([&] {
    delete queue;
    done.signal();
  });
  EXPECT_TRUE(done.wait(5s));
}

TEST(MainQueue, PumpRunsTasksInOrderIncludingOnesQueuedWhileDraining) {
  MainQueue queue;
  std::vector<int> seen;
  queue.async([&] {
    seen.push_back(1);
    queue.async([&] { seen.push_back(3); });
  });
  queue.async([&] { seen.push_back(2); });
  EXPECT_EQ(queue.drain(), 3u);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(MainQueue, PosterReceivesTasksAndWaitingOnesMoveToIt) {
  MainQueue queue;
  int ran = 0;
  queue.async([&] { ++ran; });
  std::vector<platform::Task> posted;
  queue.setPoster([&](platform::Task t) { posted.push_back(std::move(t)); });
  queue.async([&] { ++ran; });
  EXPECT_EQ(queue.pendingCount(), 0u);
  ASSERT_EQ(posted.size(), 2u);
  for (auto& t : posted) t();
  EXPECT_EQ(ran, 2);
}

TEST(MainQueue, SyncFromAnotherThreadWaitsForTheMainThread) {
  MainQueue queue;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    queue.sync([&] { EXPECT_TRUE(queue.isMainThread()); });
    done = true;
  });
  while (!done) queue.drain();
  worker.join();
}

TEST(Semaphore, ZeroTimeOutOnlyTries) {
  platform::Semaphore s(1);
  EXPECT_TRUE(s.tryWait());
  EXPECT_FALSE(s.tryWait());
  s.signal();
  EXPECT_TRUE(s.wait(0ns));
}

TEST(GlobalQueue, RunsWorkOffTheCallingThread) {
  platform::GlobalQueue pool(3);
  std::atomic<int> n{0};
  std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> elsewhere{true};
  for (int i = 0; i < 50; ++i)
    pool.async([&] {
      if (std::this_thread::get_id() == caller) elsewhere = false;
      ++n;
    });
  pool.sync([] {});
  while (n < 50) std::this_thread::yield();
  EXPECT_TRUE(elsewhere);
}

class TimerTest : public ::testing::Test {
 protected:
  testsupport::ManualClock clock;
  MainQueue queue;
};

TEST_F(TimerTest, RepeatsAtItsIntervalWithoutDrift) {
  DispatchTimer timer(queue, clock);
  std::vector<platform::Clock::TimePoint> fired;
  auto start = clock.now();
  timer.setEventHandler([&] { fired.push_back(clock.now()); });
  timer.schedule(200ms, 200ms, 100ms);
  timer.resume();
  EXPECT_EQ(timer.leeway(), 100ms);
  for (int i = 0; i < 5; ++i) {
    clock.advance(200ms);
    queue.drain();
  }
  ASSERT_EQ(fired.size(), 5u);
  for (size_t i = 0; i < fired.size(); ++i) EXPECT_EQ(fired[i] - start, 200ms * (i + 1));
}

TEST_F(TimerTest, FiringsWhileTheHandlerWaitsAreCoalesced) {
  DispatchTimer timer(queue, clock);
  int fired = 0;
  timer.setEventHandler([&] { ++fired; });
  timer.schedule(10ms, 10ms);
  timer.resume();
  clock.advance(100ms);  // ten firings, the main queue busy all along
  queue.drain();
  EXPECT_EQ(fired, 1);
}

TEST_F(TimerTest, OneShotFiresOnceAndCancelStopsAQueuedHandler) {
  DispatchTimer once(queue, clock);
  int n = 0;
  once.setEventHandler([&] { ++n; });
  once.schedule(50ms, 0ms);
  once.resume();
  clock.advance(49ms);
  queue.drain();
  EXPECT_EQ(n, 0);
  clock.advance(1s);
  queue.drain();
  EXPECT_EQ(n, 1);
  EXPECT_FALSE(once.isRunning());

  DispatchTimer timer(queue, clock);
  int m = 0;
  timer.setEventHandler([&] { ++m; });
  timer.schedule(10ms, 10ms);
  timer.resume();
  clock.advance(10ms);  // handler now waits on the queue
  timer.cancel();
  queue.drain();
  clock.advance(1s);
  queue.drain();
  EXPECT_EQ(m, 0);
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST_F(TimerTest, DestroyedTimerLeavesNothingBehind) {
  int n = 0;
  {
    DispatchTimer timer(queue, clock);
    timer.setEventHandler([&] { ++n; });
    timer.schedule(10ms, 10ms);
    timer.resume();
    clock.advance(10ms);
  }
  queue.drain();
  clock.advance(1s);
  queue.drain();
  EXPECT_EQ(n, 0);
}

TEST(SystemClock, TimerOnASerialQueueFiresForReal) {
  SerialQueue queue("test.timer");
  DispatchTimer timer(queue);
  platform::Semaphore fired(0);
  timer.setEventHandler([&] { fired.signal(); });
  timer.schedule(1ms, 1ms);
  timer.resume();
  EXPECT_TRUE(fired.wait(5s));
  EXPECT_TRUE(fired.wait(5s));
  timer.cancel();
}
