#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "dispatch/MainQueue.h"
#include "util/Observable.h"

using corvane::Observable;
using platform::MainQueue;

class ObservableTest : public ::testing::Test {
 protected:
  void TearDown() override { MainQueue::shared().drain(); }
};

TEST_F(ObservableTest, EveryStoreNotifiesEvenTheSameValue) {
  auto flag = Observable<bool>::make(false);
  std::vector<bool> seen;
  flag->bind([&](bool v) { seen.push_back(v); });
  flag->setValue(true);
  flag->setValue(true);
  EXPECT_TRUE(seen.empty());  // deliveries are always queued
  MainQueue::shared().drain();
  EXPECT_EQ(seen, (std::vector<bool>{true, true}));
}

TEST_F(ObservableTest, QuickStoresDeliverEachAssignedValueInOrder) {
  auto n = Observable<int64_t>::make(0);
  std::vector<int64_t> seen;
  n->bind([&](int64_t v) { seen.push_back(v); });
  std::thread t([&] {
    n->setValue(1);
    n->setValue(2);
  });
  t.join();
  MainQueue::shared().drain();
  EXPECT_EQ(seen, (std::vector<int64_t>{1, 2}));
  EXPECT_EQ(n->value(), 2);
}

TEST_F(ObservableTest, BindAndNotifyCallsAtOnceOnTheCallersThread) {
  auto flag = Observable<bool>::make(false);
  std::vector<bool> seen;
  flag->bindAndNotify([&](bool v) { seen.push_back(v); });
  EXPECT_EQ(seen, (std::vector<bool>{false}));
  flag->setValue(true);
  MainQueue::shared().drain();
  EXPECT_EQ(seen, (std::vector<bool>{false, true}));
}

TEST_F(ObservableTest, ListenersRunInOrderEmptyOnesSkippedAndAStoreInADeliveryComesNext) {
  auto s = Observable<std::string>::make("a");
  std::vector<std::string> seen;
  s->bind([&](std::string v) {
    seen.push_back("1:" + v);
    if (v == "b") s->setValue("c");  // delivered after this delivery ends
  });
  s->bind(nullptr);
  s->bind([&](std::string v) { seen.push_back("3:" + v); });
  s->setValue("b");
  MainQueue::shared().drain();
  EXPECT_EQ(seen, (std::vector<std::string>{"1:b", "3:b", "1:c", "3:c"}));
}

TEST_F(ObservableTest, ListenersAddedDuringADeliveryWaitForTheNextOne) {
  auto n = Observable<int64_t>::make(0);
  int late = 0;
  n->bind([&](int64_t) { n->bind([&](int64_t) { ++late; }); });
  n->setValue(1);
  MainQueue::shared().drain();
  EXPECT_EQ(late, 0);
}

TEST_F(ObservableTest, ConcurrentStoresOfAStringAreSafe) {
  auto s = Observable<std::string>::make("");
  s->bind([](std::string v) { EXPECT_TRUE(v.empty() || v.size() == 64); });
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w)
    writers.emplace_back([&, w] {
      for (int i = 0; i < 200; ++i) s->setValue(std::string(64, char('a' + w)));
    });
  for (int i = 0; i < 50; ++i) MainQueue::shared().drain();
  for (auto& t : writers) t.join();
  MainQueue::shared().drain();
  EXPECT_EQ(s->value().size(), 64u);
}

TEST_F(ObservableTest, ModifyDeliversTheValueItMade) {
  auto n = Observable<int64_t>::make(1);
  std::vector<int64_t> seen;
  n->bind([&](int64_t v) { seen.push_back(v); });
  n->modify([](int64_t& v) { v += 10; });
  n->setValue(0);
  MainQueue::shared().drain();
  EXPECT_EQ(seen, (std::vector<int64_t>{11, 0}));
}
