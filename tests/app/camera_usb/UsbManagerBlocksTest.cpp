#include <array>
#include <cstring>
#include <thread>

#include "ManualClock.h"
#include "UsbManagerFixture.h"

using corvane::CameraFormat;
using corvane::CaptureFormatInfo;
using corvane::DoaFormat;
using corvane::USBManager;
using Failure = testsupport::SimulatedCamera::Failure;
using namespace std::chrono_literals;

namespace {

std::array<uint8_t, 61> replyFrame(const std::string& text) {
  std::array<uint8_t, 61> frame{};
  frame[0] = uint8_t(text.size());
  std::memcpy(frame.data() + 1, text.data(), std::min<size_t>(text.size(), 60));
  return frame;
}

CaptureFormatInfo mjpeg(int32_t w, int32_t h) {
  return {"MJPEG", w, h, "MJPEG " + std::to_string(w) + "x" + std::to_string(h)};
}

}  // namespace

// ---- information and identity ----

TEST_F(UsbManagerTest, InfoReadsTheBlockAndTheIdentityStrings) {
  camera->setApiLevel(4);
  camera->setFirmwareText("2.1.0");
  camera->setXuid("0123456789ABCDEF");
  camera->setCommandReply("devmem 0x1e6e2150 64", "0x1A2B3C4D\n/ # ");
  camera->setCustomerVersion("2.1.0-customer");
  open();
  manager->getInfo();
  EXPECT_EQ(manager->api_version(), 4);
  EXPECT_EQ(manager->firmwareVersion(), "2.1.0-customer");
  EXPECT_EQ(manager->machineId(), "0123456789ABCDEF");
  EXPECT_EQ(manager->chipId(), "1A2B3C4D");

  auto sent = camera->requests();
  ASSERT_EQ(sent.size(), 5u);
  // information block
  EXPECT_EQ(sent[0].requestType, 0xA1);
  EXPECT_EQ(sent[0].request, 0x81);
  EXPECT_EQ(sent[0].value, 0x0100);
  EXPECT_EQ(sent[0].index, 0x0300);
  EXPECT_EQ(sent[0].length, 28);
  // xuid
  EXPECT_EQ(sent[1].value, 0x1200);
  EXPECT_EQ(sent[1].index, 0x0400);
  EXPECT_EQ(sent[1].length, 32);
  // chip id: the command frame, then its reply
  EXPECT_EQ(sent[2].requestType, 0x21);
  EXPECT_EQ(sent[2].request, 0x01);
  EXPECT_EQ(sent[2].value, 0x0200);
  EXPECT_EQ(sent[2].index, 0x0300);
  ASSERT_EQ(sent[2].length, 61);
  const std::string command = "devmem 0x1e6e2150 64";
  EXPECT_EQ(sent[2].sent[0], command.size());
  EXPECT_EQ(std::string(sent[2].sent.begin() + 1, sent[2].sent.begin() + 1 + command.size()),
            command);
  EXPECT_EQ(sent[2].sent[1 + command.size()], 0);
  EXPECT_EQ(sent[3].requestType, 0xA1);
  EXPECT_EQ(sent[3].value, 0x0200);
  EXPECT_EQ(sent[3].length, 61);
  // customer version
  EXPECT_EQ(sent[4].value, 0x0800);
  EXPECT_EQ(sent[4].index, 0x0400);
  EXPECT_EQ(sent[4].length, 32);
  for (const auto& r : sent) EXPECT_EQ(r.timeoutMs, 1000u);
}

TEST_F(UsbManagerTest, ACustomerVersionNoLongerThanTheFirmwareLeavesIt) {
  camera->setFirmwareText("2.1.0");
  camera->setCustomerVersion("9.9.9");
  open();
  manager->getInfo();
  EXPECT_EQ(manager->firmwareVersion(), "2.1.0");
  camera->setCustomerVersion("");
  manager->getInfo();
  EXPECT_EQ(manager->firmwareVersion(), "2.1.0");
}

TEST_F(UsbManagerTest, TextsEndAtTheirZeroOrAtTheirBlock) {
  // 26 text bytes with no zero, and a 32-byte xuid with none: the block's end ends them.
  camera->setFirmwareText(std::string(40, 'F'));
  camera->setXuid(std::string(40, 'X'));
  open();
  manager->getInfo();
  EXPECT_EQ(manager->firmwareVersion(), std::string(26, 'F'));
  EXPECT_EQ(manager->machineId(), std::string(32, 'X'));

  std::array<uint8_t, 28> info{};
  info[0] = 5;
  const char text[] = "1.2\0garbage";
  std::memcpy(info.data() + 2, text, sizeof text);
  camera->setInfoBlock(info);
  manager->getInfo();
  EXPECT_EQ(manager->api_version(), 5);
  EXPECT_EQ(manager->firmwareVersion(), "1.2");
}

TEST_F(UsbManagerTest, TextsThatAreNotTheirEncodingReadAsEmpty) {
  camera->setFirmwareText("1.\xC3(");  // broken UTF-8
  camera->setXuid("AB\xE9");           // not ASCII
  open();
  manager->getInfo();
  EXPECT_EQ(manager->firmwareVersion(), "");
  EXPECT_EQ(manager->machineId(), "");
  camera->setFirmwareText("v\xC3\xA9");  // valid UTF-8
  manager->getInfo();
  EXPECT_EQ(manager->firmwareVersion(), "v\xC3\xA9");
}

TEST_F(UsbManagerTest, AFailedIdentityReadLeavesItEmpty) {
  camera->setCommandReply("devmem 0x1e6e2150 64", "0xDEADBEEF");
  open();
  manager->getInfo();
  EXPECT_EQ(manager->chipId(), "DEADBEEF");
  camera->failNext(Failure::timeout, 0x0400, 0x12);
  camera->failNext(Failure::stall, 0x0300, 0x02);
  manager->getInfo();
  EXPECT_EQ(manager->machineId(), "");
  EXPECT_EQ(manager->chipId(), "");
  // A truncated xuid block is no xuid.
  camera->failNext(Failure::shortReply, 0x0400, 0x12);
  EXPECT_EQ(manager->getXuid(), "");
  EXPECT_EQ(manager->getXuid(), "A1B2C3D4E5F6");
}

// ---- text-command channel ----

TEST_F(UsbManagerTest, CommandRepliesAreTheirFirstLineWithout0x) {
  camera->setCommandReply("devmem 0x1e6e2150 64", "0x0000ABCD\n0x1\n");
  camera->setCommandReply("echo", "a0xb0xc");
  open();
  std::string reply;
  manager->cmd("devmem 0x1e6e2150 64", [&](const std::string& r) { reply = r; });
  EXPECT_EQ(reply, "0000ABCD");
  manager->cmd("echo", [&](const std::string& r) { reply = r; });
  EXPECT_EQ(reply, "abc");
  manager->cmd("unknown", [&](const std::string& r) { reply = r; });
  EXPECT_EQ(reply, "");
}

TEST_F(UsbManagerTest, CommandFramesKeepEarlierBytesAfterTheirZero) {
  open();
  manager->cmd("abcdef", nullptr);
  manager->cmd("xy", nullptr);
  auto frames = requestsTo(0x0300, 0x02);
  ASSERT_EQ(frames.size(), 4u);
  const auto& second = frames[2].sent;
  EXPECT_EQ(second[0], 2);
  EXPECT_EQ(std::string(second.begin() + 1, second.begin() + 8), std::string("xy\0def\0", 7));
}

TEST_F(UsbManagerTest, CommandLengthLimits) {
  open();
  std::optional<std::string> reply;
  manager->cmd(std::string(60, 'a'), [&](const std::string& r) { reply = r; });
  EXPECT_EQ(reply, "");
  EXPECT_TRUE(camera->requests().empty());  // too long: nothing sent

  camera->setCommandReply(std::string(59, 'b'), "ok");
  manager->cmd(std::string(59, 'b'), [&](const std::string& r) { reply = r; });
  EXPECT_EQ(reply, "ok");
  auto frames = requestsTo(0x0300, 0x02);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].sent[0], 59);
  EXPECT_EQ(frames[0].sent[60], 0);
}

TEST_F(UsbManagerTest, OverlongAndMalformedReplies) {
  open();
  std::string reply;
  auto frame = replyFrame(std::string(60, 'z'));  // no zero anywhere in the text bytes
  camera->setRawCommandReply(frame);
  manager->cmd("x", [&](const std::string& r) { reply = r; });
  EXPECT_EQ(reply, std::string(60, 'z'));
  frame = replyFrame("ab\xff");
  camera->setRawCommandReply(frame);
  manager->cmd("x", [&](const std::string& r) { reply = r; });
  EXPECT_EQ(reply, "");
}

TEST_F(UsbManagerTest, CommandFailuresGiveAnEmptyReply) {
  camera->setCommandReply("x", "yes");
  open();
  for (Failure f : {Failure::timeout, Failure::stall, Failure::shortReply}) {
    std::optional<std::string> reply;
    // The SET of the frame fails (a short reply only shortens reads: fail the read then).
    camera->failNext(f, 0x0300, 0x02, f == Failure::shortReply ? 2 : 1);
    manager->cmd("x", [&](const std::string& r) { reply = r; });
    EXPECT_EQ(reply, "");
  }
}

// ---- capture format ----

TEST_F(UsbManagerTest, ApiLevelZeroChoosesNothingAndSendsNoResolution) {
  camera->setApiLevel(0);
  open();
  bool called = false;
  manager->getCameraFormat({mjpeg(3840, 1080)},
                           [&](CameraFormat f, std::optional<CaptureFormatInfo> chosen) {
                             called = true;
                             EXPECT_EQ(f, CameraFormat{});
                             EXPECT_FALSE(chosen);
                           });
  EXPECT_TRUE(called);
  EXPECT_TRUE(requestsTo(0x0300, 0x04).empty());
}

// A refusing extension unit: every failed read says which request failed and why, and the format
// choice names the request it could not make.
TEST_F(UsbManagerTest, RefusedRequestsAreNamedWithTheirReason) {
  camera->setApiLevel(4);
  camera->addMode(3840, 1080, {360, 101, 360, 120, 1});
  open();
  EXPECT_EQ(manager->lastFailure(), "");
  camera->failAll(Camera::Failure::stall);
  manager->getBrightness(nullptr);
  EXPECT_EQ(manager->lastFailure(),
            "GET_CUR of selector 0x0200 on unit 0x0200: stalled by the camera");
  manager->getCameraFormat({mjpeg(3840, 1080)}, nullptr);
  EXPECT_EQ(manager->formatFailure(),
            "the information request failed: GET_CUR of selector 0x0100 on unit 0x0300: stalled by "
            "the camera");
  camera->failAll(std::nullopt);
  camera->failNext(Camera::Failure::timeout, 0x0300, 0x04);
  manager->getCameraFormat({mjpeg(3840, 1080)}, nullptr);
  EXPECT_EQ(manager->formatFailure(),
            "the format request failed: SET_CUR of selector 0x0400 on unit 0x0300: timed out");
  manager->getCameraFormat({mjpeg(1920, 1080)}, nullptr);
  EXPECT_EQ(manager->formatFailure(), "the camera offers no MJPEG format 3840 or 4992 wide");
  manager->getCameraFormat({mjpeg(3840, 1080)}, nullptr);
  EXPECT_EQ(manager->formatFailure(), "");
}

TEST_F(UsbManagerTest, FormatChoiceAmongQualifyingFormats) {
  camera->setApiLevel(4);
  camera->addMode(3840, 1080, {360, 101, 360, 120, 1});
  camera->addMode(3840, 960, {360, 90, 360, 120, 1});
  camera->addMode(4992, 1404, {360, 101, 360, 120, 1});
  camera->addMode(3840, 720, {360, 68, 360, 120, 1});
  open();
  std::vector<CaptureFormatInfo> formats = {
      {"YUYV 4:2:2", 3840, 1080, "yuyv"},  // not MJPEG: skipped
      mjpeg(1920, 1080),                   // width not taken: skipped
      mjpeg(3840, 1080),
      mjpeg(3840, 960),   // same width, lower: chosen
      mjpeg(4992, 1404),  // wider but taller: raises the best width only
      mjpeg(3840, 720),   // narrower than the best width now: skipped
  };
  CameraFormat got;
  std::optional<CaptureFormatInfo> chosen;
  manager->getCameraFormat(formats, [&](CameraFormat f, std::optional<CaptureFormatInfo> c) {
    got = f;
    chosen = c;
  });
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, formats[3]);
  EXPECT_EQ(got, (CameraFormat{3840, 960, 360, 90, true}));

  // Each qualifying size was told in turn (SET then GET), then the chosen one once more.
  auto sent = requestsTo(0x0300, 0x04);
  ASSERT_EQ(sent.size(), 10u);
  std::vector<std::pair<int, int>> sizes;
  for (const auto& r : sent) {
    EXPECT_EQ(r.length, 14);
    if (r.requestType == 0x21)
      sizes.push_back({r.sent[0] | r.sent[1] << 8, r.sent[2] | r.sent[3] << 8});
  }
  EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{
                       {3840, 1080}, {3840, 960}, {4992, 1404}, {3840, 720}, {3840, 960}}));
  // The camera ends on the chosen size.
  EXPECT_EQ(camera->formatBlock()[1], 960);

  std::vector<int32_t> p;
  manager->getProjectionInfo([&](int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f,
                                 int32_t g) { p = {a, b, c, d, e, f, g}; });
  EXPECT_EQ(p, (std::vector<int32_t>{1, 360, 120, 360, 90, 3840, 960}));
}

TEST_F(UsbManagerTest, EqualSizesChooseTheLaterFormat) {
  camera->setApiLevel(4);
  camera->addMode(3840, 1080, {360, 101, 360, 101, 0});
  open();
  std::vector<CaptureFormatInfo> formats = {mjpeg(3840, 1080), {"MJPEG", 3840, 1080, "second"}};
  std::optional<CaptureFormatInfo> chosen;
  CameraFormat got;
  manager->getCameraFormat(formats, [&](CameraFormat f, std::optional<CaptureFormatInfo> c) {
    got = f;
    chosen = c;
  });
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->description, "second");
  EXPECT_FALSE(got.enableVFov);  // max_vfov not above vfov
}

TEST_F(UsbManagerTest, ApiLevelThreeUsesTheShortBlock) {
  camera->setApiLevel(3);
  camera->addMode(4992, 1404, {360, 101, 360, 180, 2});
  open();
  CameraFormat got;
  manager->getCameraFormat({mjpeg(4992, 1404)},
                           [&](CameraFormat f, std::optional<CaptureFormatInfo>) { got = f; });
  EXPECT_EQ(got, (CameraFormat{4992, 1404, 360, 101, false}));
  for (const auto& r : requestsTo(0x0300, 0x04)) EXPECT_EQ(r.length, 8);
  std::vector<int32_t> p;
  manager->getProjectionInfo([&](int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f,
                                 int32_t g) { p = {a, b, c, d, e, f, g}; });
  EXPECT_EQ(p, (std::vector<int32_t>{0, 0, 0, 360, 101, 4992, 1404}));
}

TEST_F(UsbManagerTest, ARefusedResolutionChoosesNothing) {
  camera->setApiLevel(4);
  open();  // no modes: the camera stalls every size
  bool called = false;
  manager->getCameraFormat({mjpeg(3840, 1080)},
                           [&](CameraFormat f, std::optional<CaptureFormatInfo> chosen) {
                             called = true;
                             EXPECT_EQ(f.width, 0);
                             EXPECT_EQ(f.height, 0);
                             EXPECT_FALSE(chosen);
                           });
  EXPECT_TRUE(called);
  EXPECT_EQ(requestsTo(0x0300, 0x04).size(), 1u);  // the SET failed: no GET, no re-send
}

TEST_F(UsbManagerTest, AFailedFormatReadZeroesTheSize) {
  camera->setApiLevel(4);
  camera->addMode(3840, 1080, {360, 101, 360, 120, 0});
  open();
  manager->getInfo();
  camera->failNext(Failure::timeout, 0x0300, 0x04);  // the SET
  EXPECT_EQ(manager->setResolution(3840, 1080).width, 0);
  camera->addMode(3840, 1080, {360, 101, 360, 120, 0});
  manager->setResolution(3840, 1080);  // SET ok
  camera->failNext(Failure::shortReply, 0x0300, 0x04);
  camera->failNext(Failure::shortReply, 0x0300, 0x04);
  // SET succeeds (short replies only touch reads), the GET comes back short.
  CameraFormat f = manager->setResolution(3840, 1080);
  EXPECT_EQ(f.width, 0);
  EXPECT_EQ(f.height, 0);
}

// ---- vertical field of view ----

TEST_F(UsbManagerTest, VerticalFovNeedsApiLevelFive) {
  camera->setApiLevel(4);
  open();
  manager->getInfo();
  camera->clearRequests();
  std::optional<bool> done;
  manager->setVerticalFov(40, [&](bool ok) { done = ok; });
  EXPECT_EQ(done, false);  // at once, on the caller's thread
  EXPECT_TRUE(camera->requests().empty());
}

TEST_F(UsbManagerTest, VerticalFovSendsZeroThenTheValue) {
  camera->setApiLevel(5);
  open();
  manager->getInfo();
  camera->clearRequests();
  std::optional<bool> done;
  manager->setVerticalFov(0x12345, [&](bool ok) { done = ok; });
  requests.drain();
  EXPECT_FALSE(done);
  platform::MainQueue::shared().drain();
  EXPECT_EQ(done, true);
  auto sent = camera->requests();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].requestType, 0x21);
  EXPECT_EQ(sent[0].value, 0x0800);
  EXPECT_EQ(sent[0].index, 0x0300);
  EXPECT_EQ(sent[0].sent, (std::vector<uint8_t>{0, 0, 0x45, 0x23}));
  EXPECT_EQ(sent[1].requestType, 0xA1);
  EXPECT_EQ(sent[1].length, 4);
  EXPECT_EQ(camera->verticalFov(), 0x2345);

  camera->failNext(Failure::stall, 0x0300, 0x08);
  manager->setVerticalFov(10, [&](bool ok) { done = ok; });
  settle();
  EXPECT_EQ(done, false);
}

// ---- voice direction ----

TEST_F(UsbManagerTest, DoaBeforeApiLevelFiveIsTheDefaultAtOnce) {
  camera->setApiLevel(4);
  open();
  manager->getInfo();
  camera->clearRequests();
  std::optional<DoaFormat> doa;
  manager->getDoaFormat([&](DoaFormat d) { doa = d; });
  EXPECT_EQ(doa, (DoaFormat{4, false, 0}));
  EXPECT_TRUE(camera->requests().empty());
}

TEST_F(UsbManagerTest, DoaRecordIsReadByteForByte) {
  camera->setApiLevel(5);
  camera->setDoaBlock({1, 0, 0, 0, 1, 0xAA, 0xBB, 0xCC, 0x0E, 0x01, 0, 0});
  open();
  manager->getInfo();
  camera->clearRequests();
  std::optional<DoaFormat> doa;
  manager->getDoaFormat([&](DoaFormat d) { doa = d; });
  settle();
  EXPECT_EQ(doa, (DoaFormat{1, true, 270}));
  auto sent = camera->requests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].requestType, 0xA1);
  EXPECT_EQ(sent[0].request, 0x81);
  EXPECT_EQ(sent[0].value, 0x0B00);
  EXPECT_EQ(sent[0].index, 0x0300);
  EXPECT_EQ(sent[0].length, 12);

  camera->setDoaBlock({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
  manager->getDoaFormat([&](DoaFormat d) { doa = d; });
  settle();
  EXPECT_EQ(doa, (DoaFormat{-1, false, -1}));
}

TEST_F(UsbManagerTest, AFailedDoaReadGivesTheDefault) {
  camera->setApiLevel(5);
  camera->setDoaBlock({2, 0, 0, 0, 1, 0, 0, 0, 90, 0, 0, 0});
  open();
  manager->getInfo();
  for (Failure f : {Failure::timeout, Failure::stall, Failure::shortReply}) {
    std::optional<DoaFormat> doa;
    camera->failNext(f, 0x0300, 0x0B);
    manager->getDoaFormat([&](DoaFormat d) { doa = d; });
    settle();
    EXPECT_EQ(doa, DoaFormat::defaultFormat());
  }
}

// ---- update status ----

TEST_F(UsbManagerTest, CheckStatusReadsTheStatusBlock) {
  camera->queueStatus(4, 37);
  open();
  std::optional<std::pair<int, int>> status;
  manager->checkStatus([&](uint8_t a, uint8_t b) { status = {a, b}; });
  settle();
  EXPECT_EQ(status, (std::pair<int, int>{4, 37}));
  auto sent = camera->requests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].value, 0x0600);
  EXPECT_EQ(sent[0].length, 60);
  camera->failNext(Failure::stall, 0x0300, 0x06);
  manager->checkStatus([&](uint8_t a, uint8_t b) { status = {a, b}; });
  settle();
  EXPECT_EQ(status, (std::pair<int, int>{0, 0}));
}

TEST_F(UsbManagerTest, StatusLoopDeliversUntilDoneOncePerSecond) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  camera->queueStatus(4, 10);
  camera->queueStatus(4, 60);
  camera->queueStatus(5, 100);
  open();
  std::vector<std::pair<int, int>> seen;
  manager->startCheckStatusLoop([&](uint8_t a, uint8_t b) { seen.push_back({a, b}); });
  for (int pass = 0; pass < 3; ++pass) {
    while (clock.pendingTimers() == 0) std::this_thread::yield();
    platform::MainQueue::shared().drain();
    EXPECT_EQ(seen.size(), size_t(pass));  // each pass is delivered once its second is over
    clock.advance(1s);
  }
  requests.drain();
  platform::MainQueue::shared().drain();
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{4, 10}, {4, 60}, {5, 100}}));
  EXPECT_EQ(requestsTo(0x0300, 0x06).size(), 3u);
}

TEST_F(UsbManagerTest, StatusLoopDeliversNoFailedReadAndEndsAfterAMinuteOfThem) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  camera->queueStatus(4, 10);
  open();
  camera->failAll(Failure::stall);  // the camera went from the bus mid-install
  std::vector<std::pair<int, int>> seen;
  manager->startCheckStatusLoop([&](uint8_t a, uint8_t b) { seen.push_back({a, b}); });
  for (int second = 1; second < USBManager::kStatusLoopSilentReads; ++second) {
    while (clock.pendingTimers() == 0) std::this_thread::yield();
    clock.advance(1s);
  }
  requests.drain();  // the loop has ended by itself
  platform::MainQueue::shared().drain();
  EXPECT_TRUE(seen.empty());  // no stale status repeated
  EXPECT_EQ(requestsTo(0x0300, 0x06).size(), size_t(USBManager::kStatusLoopSilentReads));
}

TEST_F(UsbManagerTest, UpdateModeAndTriggerWriteOneByteAndWait) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  open();
  std::optional<bool> entered, triggered;
  std::thread caller([&] {
    manager->setUpdateMode([&](bool ok) { entered = ok; });
    manager->triggerUpdate([&](bool ok) { triggered = ok; });
  });
  while (clock.pendingTimers() == 0) std::this_thread::yield();
  clock.advance(9s);
  EXPECT_EQ(clock.pendingTimers(), 1u);  // still waiting out the ten seconds
  clock.advance(1s);
  while (clock.pendingTimers() == 0) std::this_thread::yield();
  clock.advance(5s);
  caller.join();
  EXPECT_EQ(entered, true);
  EXPECT_EQ(triggered, true);
  EXPECT_EQ(camera->updateModes(), (std::vector<uint8_t>{1, 2}));
  for (const auto& r : requestsTo(0x0300, 0x06)) {
    EXPECT_EQ(r.requestType, 0x21);
    EXPECT_EQ(r.length, 1);
  }
}
