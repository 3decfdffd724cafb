#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "ManualClock.h"
#include "SimulatedCamera.h"
#include "USBManager.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"

using namespace std::chrono_literals;
using Camera = testsupport::SimulatedCamera;

namespace {

constexpr const char* kSafeMode = "ast_param g camera:safe:mode";
constexpr const char* kProgress = "ipc q @kl_server kl_status_get";
constexpr const char* kChipId = "devmem 0x1e6e2150 64";

class UpdaterUsbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    camera = std::make_shared<Camera>();
    manager = std::make_unique<updater::USBManager>(camera->connector(), &requests,
                                                    &platform::MainQueue::shared());
  }
  void TearDown() override {
    requests.drain();
    platform::MainQueue::shared().drain();
    manager.reset();
  }
  void open() {
    ASSERT_EQ(manager->openUSBFromVID(Camera::kVendorId, Camera::kProductId), 0);
    camera->clearRequests();
  }
  // The text commands the camera was sent, in order.
  std::vector<std::string> commands() const {
    std::vector<std::string> out;
    for (const auto& r : camera->requests())
      if (r.index == 0x0300 && r.value == 0x0200 && r.request == 0x01 && r.sent.size() == 61)
        out.emplace_back(reinterpret_cast<const char*>(r.sent.data() + 1), r.sent[0]);
    return out;
  }

  platform::SerialQueue requests{"updater-usb-test"};
  std::shared_ptr<Camera> camera;
  std::unique_ptr<updater::USBManager> manager;
};

}  // namespace

TEST(UpdaterUsbParsing, SafeModeIsOffOnlyForAFirstLineOfZero) {
  EXPECT_FALSE(updater::USBManager::parseSafeMode("0"));
  EXPECT_FALSE(updater::USBManager::parseSafeMode("0\n1\nmore"));
  EXPECT_FALSE(updater::USBManager::parseSafeMode("0\r\n"));
  EXPECT_TRUE(updater::USBManager::parseSafeMode("1"));
  EXPECT_TRUE(updater::USBManager::parseSafeMode(""));
  EXPECT_TRUE(updater::USBManager::parseSafeMode("00"));
  EXPECT_TRUE(updater::USBManager::parseSafeMode(" 0"));
}

TEST(UpdaterUsbParsing, ProgressRepliesGiveStatusAndPercent) {
  struct Case {
    const char* reply;
    int64_t status;
    int32_t progress;
  };
  const Case cases[] = {
      {"[reply]42", 4, 42},
      {"[reply]100", 5, 100},
      {"[reply]-[update PASS]-100", 5, 100},
      {"kl-[update PASS]-97", 5, 97},
      {"kl-[reset fail]-3", 6, 3},
      {"kl-[update scpu fail]-0", 6, 0},
      {"kl-[update ncpu fail]-12", 6, 12},
      {"kl-[update model fail]-7", 6, 7},
      {"kl-[updating]-55", 4, 55},
      {"kl-[update PASS]-", 5, 0},
      {"[reply]abc", 4, 0},
      {"", 4, 0},
      {"[reply]1-2-3-4", 4, 1},
      {"[reply]99999999999999999999", 5, INT32_MAX},
  };
  for (const Case& c : cases) {
    auto p = updater::USBManager::parseProgress(c.reply);
    EXPECT_EQ(p.status, c.status) << c.reply;
    EXPECT_EQ(p.progress, c.progress) << c.reply;
  }
}

TEST_F(UpdaterUsbTest, InformationEndsWithTheSafeModeAndReadsTheChipId) {
  camera->setFirmwareText("1.2.0");
  camera->setCommandReply(kChipId, "0x1a2b3c4d\n");
  camera->setCommandReply(kSafeMode, "1\n");
  open();
  manager->getInfo();
  EXPECT_EQ(manager->firmwareVersion(), "1.2.0");
  EXPECT_EQ(manager->chipId(), "1a2b3c4d");
  EXPECT_TRUE(manager->isSafeMode());
  ASSERT_FALSE(commands().empty());
  EXPECT_EQ(commands().back(), kSafeMode);

  camera->setCommandReply(kSafeMode, "0\nrest");
  EXPECT_FALSE(manager->checkSafeMode());
  EXPECT_FALSE(manager->isSafeMode());
}

TEST_F(UpdaterUsbTest, AFailedTransferLeavesSafeModeOffAndTheChipIdEmpty) {
  camera->setCommandReply(kChipId, "0x1a2b3c4d\n");
  camera->setCommandReply(kSafeMode, "1");
  open();
  manager->setIsSafeMode(true);
  camera->failNext(Camera::Failure::stall, 0x0300, 0x02, 1);
  EXPECT_FALSE(manager->checkSafeMode());
  EXPECT_FALSE(manager->isSafeMode());
  camera->failNext(Camera::Failure::timeout, 0x0300, 0x02, 1);
  EXPECT_EQ(manager->getChipId(), "");

  // Not open: nothing is sent at all.
  updater::USBManager closed(camera->connector(), &requests, &platform::MainQueue::shared());
  camera->clearRequests();
  EXPECT_FALSE(closed.checkSafeMode());
  bool called = false;
  closed.getProgress([&](int64_t, int32_t) { called = true; });
  EXPECT_FALSE(called);
  std::optional<bool> rebooted;
  closed.reboot([&](bool ok) { rebooted = ok; });
  EXPECT_EQ(rebooted, false);
  EXPECT_TRUE(camera->requests().empty());
}

TEST_F(UpdaterUsbTest, ProgressIsReadThroughTheTextChannelOnTheCallersThread) {
  camera->setCommandReply(kProgress, "kl-[update PASS]-100");
  open();
  std::optional<std::pair<int64_t, int32_t>> seen;
  manager->getProgress([&](int64_t s, int32_t p) { seen = {s, p}; });
  EXPECT_EQ(seen, std::make_pair(int64_t(5), 100));
  EXPECT_EQ(commands(), std::vector<std::string>{kProgress});

  seen.reset();
  camera->failNext(Camera::Failure::stall, 0x0300, 0x02, 1);
  manager->getProgress([&](int64_t s, int32_t p) { seen = {s, p}; });
  EXPECT_FALSE(seen);
}

TEST_F(UpdaterUsbTest, RebootWritesOneByteTwoToTheInformationControl) {
  open();
  std::optional<bool> ok;
  manager->reboot([&](bool r) { ok = r; });
  EXPECT_EQ(ok, true);
  EXPECT_EQ(camera->rebootCount(), 1);
  auto all = camera->requests();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].requestType, 0x21);
  EXPECT_EQ(all[0].request, 0x01);
  EXPECT_EQ(all[0].value, 0x0100);
  EXPECT_EQ(all[0].index, 0x0300);
  EXPECT_EQ(all[0].sent, std::vector<uint8_t>{2});
  EXPECT_EQ(all[0].timeoutMs, 1000u);

  camera->failNext(Camera::Failure::stall, 0x0300, 0x01, 1);
  manager->reboot([&](bool r) { ok = r; });
  EXPECT_EQ(ok, false);
}

TEST_F(UpdaterUsbTest, TheProgressLoopDeliversTheTerminalPollAndStops) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  camera->setCommandReply(kProgress, "[reply]42");
  open();
  std::vector<std::pair<int64_t, int32_t>> seen;
  manager->startCheckProgressLoop([&](int64_t s, int32_t p) { seen.push_back({s, p}); });

  while (clock.pendingTimers() == 0) std::this_thread::yield();
  platform::MainQueue::shared().drain();
  EXPECT_TRUE(seen.empty());  // delivered a second after its poll
  camera->setCommandReply(kProgress, "kl-[reset fail]-80");
  clock.advance(1s);

  while (clock.pendingTimers() == 0) std::this_thread::yield();
  clock.advance(1s);
  requests.drain();
  platform::MainQueue::shared().drain();
  EXPECT_EQ(seen, (std::vector<std::pair<int64_t, int32_t>>{{4, 42}, {6, 80}}));
  EXPECT_EQ(commands().size(), 2u);
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST_F(UpdaterUsbTest, AFailingPollIsRetriedASecondLaterNotAtOnce) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  camera->setCommandReply(kProgress, "[reply]100");
  open();
  camera->failAll(Camera::Failure::stall);
  std::vector<std::pair<int64_t, int32_t>> seen;
  manager->startCheckProgressLoop([&](int64_t s, int32_t p) { seen.push_back({s, p}); });
  for (int i = 0; i < 3; ++i) {
    while (clock.pendingTimers() == 0) std::this_thread::yield();
    EXPECT_EQ(camera->requests().size(), size_t(i + 1));  // one poll per second, no spinning
    if (i == 2) camera->failAll(std::nullopt);            // the poll after this second succeeds
    clock.advance(1s);
  }
  while (clock.pendingTimers() == 0) std::this_thread::yield();
  clock.advance(1s);
  requests.drain();
  platform::MainQueue::shared().drain();
  EXPECT_EQ(seen, (std::vector<std::pair<int64_t, int32_t>>{{5, 100}}));
}

TEST_F(UpdaterUsbTest, TheProgressLoopEndsWhenTheCameraIsNotOpen) {
  std::vector<std::pair<int64_t, int32_t>> seen;
  manager->startCheckProgressLoop([&](int64_t s, int32_t p) { seen.push_back({s, p}); });
  requests.drain();
  platform::MainQueue::shared().drain();
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(camera->requests().empty());
}
