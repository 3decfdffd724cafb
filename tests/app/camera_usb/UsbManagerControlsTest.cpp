#include <cmath>
#include <cstring>

#include "UsbManagerFixture.h"

using corvane::CameraFormat;
using corvane::CaptureFormatInfo;
using corvane::DoaFormat;
using corvane::USBManager;
using Failure = testsupport::SimulatedCamera::Failure;

namespace {

struct ControlCase {
  const char* name;
  uint8_t selector;
  uint16_t length;
  void (USBManager::*get)(const USBManager::ValuesCompletion&);
  double (USBManager::*max)() const;
  double (USBManager::*min)() const;
  double (USBManager::*cur)() const;
};

const ControlCase kControls[] = {
    {"brightness", 0x02, 2, &USBManager::getBrightness, &USBManager::brightness_max,
     &USBManager::brightness_min, &USBManager::brightness_cur},
    {"flicker", 0x05, 1, &USBManager::getFlicker, &USBManager::flicker_max,
     &USBManager::flicker_min, &USBManager::flicker_cur},
    {"contrast", 0x03, 2, &USBManager::getContrast, &USBManager::contrast_max,
     &USBManager::contrast_min, &USBManager::contrast_cur},
    {"saturation", 0x07, 2, &USBManager::getSaturation, &USBManager::saturation_max,
     &USBManager::saturation_min, &USBManager::saturation_cur},
    {"sharpness", 0x08, 2, &USBManager::getSharpness, &USBManager::sharpness_max,
     &USBManager::sharpness_min, &USBManager::sharpness_cur},
    {"gamma", 0x09, 2, &USBManager::getGamma, &USBManager::gamma_max, &USBManager::gamma_min,
     &USBManager::gamma_cur},
};

}  // namespace

// ---- opening ----

TEST_F(UsbManagerTest, OpenFormatsTheIdsAndHoldsTheHandle) {
  EXPECT_EQ(manager->status(), 2u);
  EXPECT_FALSE(manager->isConnect());
  EXPECT_EQ(manager->openUSBFromVID(Camera::kVendorId, Camera::kProductId), 0);
  EXPECT_TRUE(manager->isConnect());
  EXPECT_NE(manager->camera_device(), nullptr);
  EXPECT_EQ(manager->vendor_id(), "0x2e8b");
  EXPECT_EQ(manager->product_id(), "0x0402");
  EXPECT_TRUE(camera->requests().empty());  // opening sends nothing
}

TEST_F(UsbManagerTest, NoMatchingDeviceLeavesEveryRequestWithoutATransfer) {
  EXPECT_EQ(manager->openUSBFromVID(0x1234, 0x5678), 0);
  EXPECT_FALSE(manager->isConnect());

  std::vector<double> values;
  manager->getBrightness([&](double c, double mn, double mx) { values = {c, mn, mx}; });
  EXPECT_EQ(values, (std::vector<double>{0, 0, 0}));
  bool formatCalled = false;
  manager->getCameraFormat({{"MJPEG", 3840, 1080, ""}},
                           [&](CameraFormat f, std::optional<CaptureFormatInfo> chosen) {
                             formatCalled = true;
                             EXPECT_EQ(f, CameraFormat{});
                             EXPECT_FALSE(chosen);
                           });
  EXPECT_TRUE(formatCalled);
  std::vector<int32_t> projection;
  manager->getProjectionInfo([&](int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f,
                                 int32_t g) { projection = {a, b, c, d, e, f, g}; });
  EXPECT_EQ(projection, std::vector<int32_t>(7, 0));
  std::optional<std::string> reply;
  manager->cmd("version", [&](const std::string& r) { reply = r; });
  EXPECT_EQ(reply, "");
  std::optional<bool> written;
  manager->setBrightness(0.5, [&](bool ok) { written = ok; });
  settle();
  EXPECT_EQ(written, false);
  EXPECT_TRUE(camera->requests().empty());
}

TEST_F(UsbManagerTest, OpenResultCodesPassThrough) {
  camera->setOpenCode(1);
  EXPECT_EQ(manager->openUSBFromVID(Camera::kVendorId, Camera::kProductId), 1);
  EXPECT_FALSE(manager->isConnect());
  camera->setOpenCode(2);
  EXPECT_EQ(manager->openUSBFromVID(Camera::kVendorId, Camera::kProductId), 2);
  EXPECT_FALSE(manager->isConnect());
}

TEST_F(UsbManagerTest, AFailedReopenDropsTheOldHandleAndDisconnects) {
  open();
  camera->unplug();
  EXPECT_EQ(manager->openUSBFromVID(Camera::kVendorId, Camera::kProductId), 0);
  EXPECT_FALSE(manager->isConnect());
  EXPECT_EQ(manager->camera_device(), nullptr);
  camera->plugIn();
  manager->getInfo();
  EXPECT_TRUE(camera->requests().empty());
  // Plugged in again, the next open connects again.
  EXPECT_EQ(manager->openUSBFromVID(Camera::kVendorId, Camera::kProductId), 0);
  EXPECT_TRUE(manager->isConnect());
}

// ---- picture-control reads ----

TEST_F(UsbManagerTest, ControlReadsSendMaxMinCurWithTheControlsLength) {
  open();
  camera->setControl(0x02, {-64, 64, -3});
  for (const ControlCase& c : kControls) {
    SCOPED_TRACE(c.name);
    camera->clearRequests();
    auto expected = camera->control(c.selector);
    std::vector<double> got;
    (manager.get()->*c.get)([&](double cur, double mn, double mx) { got = {cur, mn, mx}; });
    EXPECT_EQ(got, (std::vector<double>{double(expected.cur), double(expected.min),
                                        double(expected.max)}));
    EXPECT_EQ((manager.get()->*c.max)(), expected.max);
    EXPECT_EQ((manager.get()->*c.min)(), expected.min);
    EXPECT_EQ((manager.get()->*c.cur)(), expected.cur);
    auto sent = camera->requests();
    ASSERT_EQ(sent.size(), 3u);
    const uint8_t order[3] = {0x83, 0x82, 0x81};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(sent[i].requestType, 0xA1);
      EXPECT_EQ(sent[i].request, order[i]);
      EXPECT_EQ(sent[i].value, c.selector << 8);
      EXPECT_EQ(sent[i].index, 0x0200);
      EXPECT_EQ(sent[i].length, c.length);
      EXPECT_EQ(sent[i].timeoutMs, 1000u);
    }
  }
}

TEST_F(UsbManagerTest, AFailedReadKeepsTheValueLastRead) {
  open();
  manager->getBrightness(nullptr);
  camera->setControl(0x02, {-64, 64, 20});
  camera->failNext(Failure::stall, 0x0200, 0x02, 3);
  std::vector<double> got;
  manager->getBrightness([&](double c, double mn, double mx) { got = {c, mn, mx}; });
  EXPECT_EQ(got, (std::vector<double>{0, -64, 64}));
  // A short reply is a failed read too: no half-updated value.
  camera->failNext(Failure::shortReply, 0x0200, 0x02, 3);
  manager->getBrightness([&](double c, double mn, double mx) { got = {c, mn, mx}; });
  EXPECT_EQ(got, (std::vector<double>{0, -64, 64}));
  manager->getBrightness([&](double c, double, double) { got = {c}; });
  EXPECT_EQ(got, std::vector<double>{20});
}

// ---- picture-control writes ----

TEST_F(UsbManagerTest, WritesSendTheFractionOfTheRangeAndCompleteOnTheMainQueue) {
  open();
  manager->getBrightness(nullptr);
  camera->clearRequests();
  struct {
    double fraction;
    int16_t raw;
  } cases[] = {{0.5, 0}, {1.0, 64}, {0.0, -64}, {0.25, -32}};
  for (auto c : cases) {
    SCOPED_TRACE(c.fraction);
    camera->clearRequests();
    std::optional<bool> done;
    manager->setBrightness(c.fraction, [&](bool ok) { done = ok; });
    requests.drain();
    EXPECT_FALSE(done);  // only the main queue completes
    platform::MainQueue::shared().drain();
    EXPECT_EQ(done, true);
    auto sent = camera->requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].requestType, 0x21);
    EXPECT_EQ(sent[0].request, 0x01);
    EXPECT_EQ(sent[0].value, 0x0200);
    EXPECT_EQ(sent[0].index, 0x0200);
    EXPECT_EQ(sent[0].sent, (std::vector<uint8_t>{uint8_t(c.raw), uint8_t(uint16_t(c.raw) >> 8)}));
    EXPECT_EQ(manager->brightness_cur(), c.raw);
    EXPECT_EQ(camera->control(0x02).cur, c.raw);
  }
}

TEST_F(UsbManagerTest, EachWriteGoesToItsOwnSelector) {
  open();
  for (auto get : {&USBManager::getContrast, &USBManager::getSaturation, &USBManager::getSharpness,
                   &USBManager::getGamma})
    (manager.get()->*get)(nullptr);
  camera->clearRequests();
  manager->setContrast(1.0, nullptr);
  manager->setSaturation(0.5, nullptr);
  manager->setSharpness(0.0, nullptr);
  manager->setGamma(0.5, nullptr);
  settle();
  auto sent = camera->requests();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].value, 0x0300);
  EXPECT_EQ(sent[0].sent, (std::vector<uint8_t>{100, 0}));
  EXPECT_EQ(sent[1].value, 0x0700);
  EXPECT_EQ(sent[1].sent, (std::vector<uint8_t>{50, 0}));
  EXPECT_EQ(sent[2].value, 0x0800);
  EXPECT_EQ(sent[2].sent, (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(sent[3].value, 0x0900);
  EXPECT_EQ(sent[3].sent, (std::vector<uint8_t>{0x2C, 0x01}));  // 100 + 400 / 2 = 300
}

TEST_F(UsbManagerTest, AFailedWriteCompletesFalseAndKeepsTheCurrentValue) {
  open();
  manager->getBrightness(nullptr);
  camera->failNext(Failure::timeout, 0x0200, 0x02);
  std::optional<bool> done;
  manager->setBrightness(1.0, [&](bool ok) { done = ok; });
  settle();
  EXPECT_EQ(done, false);
  EXPECT_EQ(manager->brightness_cur(), 0);
}

TEST_F(UsbManagerTest, FlickerIsWrittenAsEightBytes) {
  open();
  std::optional<bool> done;
  manager->setFlicker(2, [&](bool ok) { done = ok; });
  settle();
  EXPECT_EQ(done, true);
  auto sent = camera->requests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].value, 0x0500);
  EXPECT_EQ(sent[0].index, 0x0200);
  EXPECT_EQ(sent[0].length, 8);
  EXPECT_EQ(sent[0].sent, (std::vector<uint8_t>{2, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(manager->flicker_cur(), 2);
  // A value the camera refuses fails and leaves the value as it was.
  manager->setFlicker(9, [&](bool ok) { done = ok; });
  settle();
  EXPECT_EQ(done, false);
  EXPECT_EQ(manager->flicker_cur(), 2);
}

TEST(UsbManagerRawValue, FractionsWrapAsTheCameraTakesThem) {
  EXPECT_EQ(USBManager::rawValueForFraction(-64, 64, 0.5), 0);
  EXPECT_EQ(USBManager::rawValueForFraction(-64, 64, 1), 64);
  EXPECT_EQ(USBManager::rawValueForFraction(0, 255, 0.999), 254);  // toward zero
  EXPECT_EQ(USBManager::rawValueForFraction(0, 70000, 1), int16_t(70000 & 0xFFFF));
  // Nonsense in, a defined value out.
  EXPECT_EQ(USBManager::rawValueForFraction(0, 100, std::nan("")), 0);
  EXPECT_EQ(USBManager::rawValueForFraction(0, 100, 1e300), 0);
}

// ---- unplugged camera ----

TEST_F(UsbManagerTest, AnUnpluggedCameraGivesTheFallbacks) {
  camera->setApiLevel(5);
  open();
  manager->getInfo();
  camera->unplug();
  std::optional<DoaFormat> doa;
  manager->getDoaFormat([&](DoaFormat d) { doa = d; });
  std::optional<bool> fov, bright;
  manager->setVerticalFov(30, [&](bool ok) { fov = ok; });
  manager->setBrightness(0.5, [&](bool ok) { bright = ok; });
  std::optional<std::string> reply;
  manager->cmd("version", [&](const std::string& r) { reply = r; });
  settle();
  EXPECT_EQ(doa, DoaFormat::defaultFormat());
  EXPECT_EQ(fov, false);
  EXPECT_EQ(bright, false);
  EXPECT_EQ(reply, "");
  EXPECT_EQ(manager->getXuid(), "");
}
