#include <gtest/gtest.h>

#include "FwupdateTestRig.h"

namespace {

using fwtest::Rig;
using qd4718::NotificationCenter;
using qd4718::NotificationDictionary;
using Strings = std::vector<std::string>;

TEST(QD4718Updater, ConnectionIsSeenFromTheMainQueue) {
  Rig rig;
  rig.updater = std::make_unique<qd4718::QD4718Updater>(
      testsupport::SimulatedHidDevice::kVendorId, testsupport::SimulatedHidDevice::kProductId,
      rig.firmware, qd4718::HIDManager::Backends{rig.device.hidBackend(), rig.device.volumes()});
  rig.updater->hidManager()->drain();
  // The device is found at once; the news comes from the main queue.
  EXPECT_FALSE(rig.updater->isUacConnected());
  platform::MainQueue::shared().drain();
  EXPECT_TRUE(rig.updater->isUacConnected());
  EXPECT_TRUE(rig.logged("HIDConnect: Kestova Audio QD4718-0001"));
  EXPECT_EQ(rig.updater->filePath(), rig.firmware);
}

TEST(QD4718Updater, StaysConnectedOnceSeen) {
  Rig rig;
  rig.create();
  rig.registerCallbacks();
  rig.settle();
  rig.device.unplug();
  rig.seconds(1);
  EXPECT_TRUE(rig.updater->isUacConnected());
}

TEST(QD4718Updater, CallbacksComeInOrderWithStepNumbers) {
  Rig rig;
  rig.start();
  rig.seconds(15);
  auto events = rig.eventsNow();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), "progress 1");
  EXPECT_EQ(events.back(), "complete");
  // The progress view comes after step 13 (the start of the update) and before step 14.
  auto view = std::find(events.begin(), events.end(), "view");
  ASSERT_NE(view, events.end());
  EXPECT_EQ(*(view - 1), "progress 13");
  EXPECT_EQ(*(view + 1), "progress 14");
  // Step numbers never go back, and the last one is 18.
  int last = 0;
  for (const auto& e : events) {
    if (e.rfind("progress ", 0) != 0) continue;
    int p = std::stoi(e.substr(9));
    EXPECT_GE(p, last);
    last = p;
  }
  EXPECT_EQ(last, 18);
}

TEST(QD4718Updater, OnlyTheFirstRegistrationCounts) {
  Rig rig;
  rig.create();
  rig.registerCallbacks();
  int second = 0;
  rig.updater->RegisterDeviceCB([&] { ++second; }, [&](int) { ++second; }, [&] { ++second; },
                                [&] { ++second; }, [&] { ++second; });
  rig.updater->FirmwareUpdate();
  rig.settle();
  rig.seconds(15);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "complete"}));
}

TEST(QD4718Updater, ErrorsChooseTheirView) {
  Rig rig;
  rig.create();
  rig.registerCallbacks();
  auto* sender = rig.updater->hidManager();
  auto error = [&](const std::string& text) {
    NotificationCenter::shared().post(
        qd4718::HIDManagerError, sender,
        NotificationDictionary{{"error", text}, {"id", "1"}, {"name", "n"}});
  };
  error("Can not save file!!");
  error("Can not get storage!!");
  error("Communication error!!");
  EXPECT_EQ(rig.outcomes(), (Strings{"privacy", "error", "error"}));
}

TEST(QD4718Updater, MalformedNotificationsAreIgnored) {
  Rig rig;
  rig.create();
  rig.registerCallbacks();
  auto* sender = rig.updater->hidManager();
  auto& center = NotificationCenter::shared();
  center.post(qd4718::HIDManagerError, sender, std::string("Can not save file!!"));
  center.post(qd4718::HIDManagerError, sender, NotificationDictionary{{"error", "x"}});
  center.post(qd4718::HIDManagerError, sender,
              NotificationDictionary{{"error", int64_t(3)}, {"id", ""}, {"name", ""}});
  center.post(qd4718::HIDManagerUpdating, sender, NotificationDictionary{{"progress", "5"}});
  center.post(qd4718::HIDManagerUpdating, sender, 5);
  center.post(qd4718::HIDManagerCompleteUpdate, sender, std::any());
  center.post(qd4718::HIDManagerStartUpdate, sender, NotificationDictionary{{"id", "1"}});
  center.post(qd4718::HIDManagerConnected, sender, NotificationDictionary{{"id", "1"}});
  EXPECT_TRUE(rig.eventsNow().empty());
  center.post(qd4718::HIDManagerUpdating, sender, NotificationDictionary{{"progress", int64_t(7)}});
  EXPECT_EQ(rig.eventsNow(), (Strings{"progress 7"}));
}

TEST(QD4718Updater, UnregisteredCallbacksAreSkipped) {
  Rig rig;
  rig.create();
  rig.updater->RegisterDeviceCB(nullptr, nullptr, nullptr, nullptr, nullptr);
  rig.updater->FirmwareUpdate();
  rig.settle();
  rig.seconds(15);
  EXPECT_EQ(rig.state(), qd4718::HIDUPDATE_FLOW::UAC_UPDATE_FLOW_FINISH);
}

TEST(QD4718Updater, TwoUpdatersDoNotHearEachOther) {
  Rig rig;
  rig.create();
  rig.registerCallbacks();
  testsupport::SimulatedHidDevice absent;  // never plugged in
  std::vector<std::string> other;
  {
    qd4718::QD4718Updater second(
        0x2E8B, 0x5003, rig.firmware,
        qd4718::HIDManager::Backends{absent.hidBackend(), absent.volumes()});
    second.RegisterDeviceCB(
        nullptr, nullptr, nullptr, [&] { other.push_back("error"); }, nullptr);
    second.FirmwareUpdate();  // no device: fails at once
    second.hidManager()->drain();
    platform::MainQueue::shared().drain();
  }
  EXPECT_EQ(other, (Strings{"error"}));
  EXPECT_TRUE(rig.eventsNow().empty());
}

TEST(QD4718Updater, DestroyedMidRunStopsCleanly) {
  Rig rig;
  rig.device.setProcessingPolls(1000);
  rig.start();
  rig.seconds(5);
  rig.updater.reset();
  size_t before = rig.device.commands().size();
  rig.clock.advance(std::chrono::seconds(5));
  platform::MainQueue::shared().drain();
  EXPECT_EQ(rig.device.commands().size(), before);
  EXPECT_EQ(rig.clock.pendingTimers(), 0u);
}

// ---- the notification centre -----------------------------------------------------------------

TEST(NotificationCenter, DeliversByNameAndSender) {
  NotificationCenter center;
  int fromA = 0, fromAny = 0;
  int a = 0, b = 0;
  auto t1 = center.addObserver("n", &a, [&](const qd4718::Notification&) { ++fromA; });
  auto t2 = center.addObserver("n", nullptr, [&](const qd4718::Notification&) { ++fromAny; });
  center.post("n", &a, {});
  center.post("n", &b, {});
  center.post("other", &a, {});
  EXPECT_EQ(fromA, 1);
  EXPECT_EQ(fromAny, 2);
  center.removeObserver(t1);
  center.post("n", &a, {});
  EXPECT_EQ(fromA, 1);
  center.removeObserver(t2);
}

TEST(NotificationCenter, AnObserverMayRemoveItselfWhileBeingCalled) {
  NotificationCenter center;
  int calls = 0;
  NotificationCenter::Token token = 0;
  token = center.addObserver("n", nullptr, [&](const qd4718::Notification&) {
    ++calls;
    center.removeObserver(token);
  });
  center.post("n", nullptr, {});
  center.post("n", nullptr, {});
  EXPECT_EQ(calls, 1);
}

}  // namespace
