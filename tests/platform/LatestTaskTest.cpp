// A slot of which only the newest task runs: however fast tasks come, its queue holds at most
// one of them waiting.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "HeldQueue.h"
#include "dispatch/LatestTask.h"
#include "dispatch/Semaphore.h"
#include "dispatch/SerialQueue.h"

using namespace std::chrono_literals;
using platform::LatestTask;
using testsupport::HeldQueue;

TEST(LatestTask, OnlyTheNewestOfTheWaitingTasksRuns) {
  struct Case {
    const char* name;
    std::vector<std::string> steps;  // "s<N>": submit task N; "r": the queue runs what it holds
    std::string ran;
    int replaced;
  };
  const Case cases[] = {
      {"one task", {"s1", "r"}, "1", 0},
      {"the newest of a burst", {"s1", "s2", "s3", "r"}, "3", 2},
      {"each after the last ran", {"s1", "r", "s2", "r", "s3", "r"}, "123", 0},
      {"bursts between runs", {"s1", "s2", "r", "s3", "s4", "s5", "r"}, "25", 3},
      {"nothing submitted", {"r"}, "", 0},
  };
  for (const auto& c : cases) {
    HeldQueue queue;
    LatestTask slot;
    std::string ran;
    int replaced = 0;
    size_t mostHeld = 0;
    for (const auto& step : c.steps) {
      if (step == "r") {
        queue.runAll();
        continue;
      }
      char id = step[1];
      replaced += slot.submit(queue, [&ran, id] { ran += id; });
      mostHeld = std::max(mostHeld, queue.tasks.size());
    }
    EXPECT_EQ(ran, c.ran) << c.name;
    EXPECT_EQ(replaced, c.replaced) << c.name;
    EXPECT_LE(mostHeld, 1u) << c.name;
    EXPECT_FALSE(slot.waiting()) << c.name;
  }
}

TEST(LatestTask, ATaskSubmittedWhileTheLastRunsWaitsForItsOwnTurn) {
  HeldQueue queue;
  LatestTask slot;
  std::string ran;
  slot.submit(queue, [&] {
    ran += "1";
    slot.submit(queue, [&] { ran += "2"; });  // the first has started: not a replacement
  });
  queue.runAll();
  EXPECT_EQ(ran, "12");
}

TEST(LatestTask, DiscardedOrDroppedByItsQueueTheSlotTakesWorkAgain) {
  HeldQueue queue;
  LatestTask slot;
  int ran = 0;
  slot.submit(queue, [&] { ++ran; });
  EXPECT_TRUE(slot.discard());
  EXPECT_FALSE(slot.discard());
  queue.runAll();
  EXPECT_EQ(ran, 0);
  // The queue drops the runner unrun (a quit): the next task is queued anew, not lost.
  slot.submit(queue, [&] { ++ran; });
  queue.tasks.clear();
  EXPECT_FALSE(slot.waiting());
  slot.submit(queue, [&] { ++ran; });
  ASSERT_EQ(queue.tasks.size(), 1u);
  queue.runAll();
  EXPECT_EQ(ran, 1);
}

TEST(LatestTask, ASerialQueueFedFasterThanItRunsHoldsOneTaskOfTheSlot) {
  platform::Semaphore entered(0), gate(0);
  platform::SerialQueue queue("test.latest");
  queue.async([&] {
    entered.signal();
    gate.wait();
  });
  ASSERT_TRUE(entered.wait(5s));
  LatestTask slot;
  std::atomic<int> ran{0}, last{0};
  for (int i = 1; i <= 1000; ++i) {
    slot.submit(queue, [&, i] {
      ++ran;
      last = i;
    });
    EXPECT_LE(queue.pendingCount(), 1u);
  }
  gate.signal();
  queue.drain();
  EXPECT_EQ(ran.load(), 1);
  EXPECT_EQ(last.load(), 1000);
}
