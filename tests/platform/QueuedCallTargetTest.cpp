#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "qt/QueuedCallTarget.h"

using platform::QueuedCallTarget;

namespace {

struct App {
  int argc = 1;
  char name[16] = "platform_tests";
  char* argv[2] = {name, nullptr};
  QCoreApplication app{argc, argv};
};

// A target living on a thread of its own, as the network client keeps one.
struct WorkerTarget {
  QThread thread;
  QueuedCallTarget* target = new QueuedCallTarget();
  WorkerTarget() {
    target->moveToThread(&thread);
    thread.start();
  }
  ~WorkerTarget() {
    target->postAndWait([this] { target->deleteLater(); });
    thread.quit();
    thread.wait();
  }
};

}  // namespace

// Plain (unsynchronised) data crosses both ways: written before the post, read and written by
// the task, read again after the wait. The sanitizer build of the suite checks the hand-over.
TEST(QueuedCallTarget, AWaitingCallRunsOnTheTargetsThreadAndHandsTheDataBothWays) {
  App app;
  WorkerTarget worker;
  std::string message = "ping";
  std::string answer;
  std::thread::id ranOn;
  worker.target->postAndWait([&] {
    ranOn = std::this_thread::get_id();
    answer = message + " pong";
  });
  EXPECT_EQ(answer, "ping pong");
  EXPECT_NE(ranOn, std::this_thread::get_id());
  // Posted calls run in order on the worker; the last one is waited for.
  std::vector<int> order;
  for (int i = 0; i < 5; ++i) worker.target->post([&order, i] { order.push_back(i); });
  worker.target->postAndWait([] {});
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(QueuedCallTarget, CallsFromOtherThreadsRunOnTheMainThreadWhenItsEventsAreProcessed) {
  App app;
  QueuedCallTarget target;
  std::vector<int> seen;
  std::vector<std::thread> posters;
  for (int i = 0; i < 4; ++i)
    posters.emplace_back([&, i] { target.post([&seen, i] { seen.push_back(i); }); });
  for (auto& t : posters) t.join();
  EXPECT_TRUE(seen.empty());  // nothing runs until the main thread takes its events
  QCoreApplication::processEvents();
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3}));
}

// Calls still queued when their target goes are dropped, never run; what they hold (written by
// the posting thread) is freed on the target's thread. The sanitizer build checks that hand-over:
// the posting threads are still running then, so nothing but the queue orders the two sides.
TEST(QueuedCallTarget, CallsQueuedWhenTheTargetGoesAreDroppedUnrun) {
  App app;
  auto* target = new QueuedCallTarget;
  int ran = 0;
  // Relaxed on purpose: they give the sanitizer no ordering of their own.
  std::atomic<int> posted{0};
  std::atomic<bool> finished{false};
  std::vector<std::thread> posters;
  for (int i = 0; i < 4; ++i) {
    posters.emplace_back([&, i] {
      std::string held = "from poster " + std::to_string(i);
      target->post([&ran, held] { ran += int(held.size()); });
      posted.fetch_add(1, std::memory_order_relaxed);
      while (!finished.load(std::memory_order_relaxed)) std::this_thread::yield();
    });
  }
  while (posted.load(std::memory_order_relaxed) < 4) std::this_thread::yield();
  delete target;
  QCoreApplication::processEvents();
  finished.store(true, std::memory_order_relaxed);
  for (auto& t : posters) t.join();
  EXPECT_EQ(ran, 0);
}
