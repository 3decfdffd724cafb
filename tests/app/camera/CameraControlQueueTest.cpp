#include <thread>

#include "CameraManagerFixture.h"

using corvane::UVCEvent;
using corvane::UVCMode;
using namespace std::chrono_literals;

namespace {
constexpr uint8_t kBrightness = 0x02, kFlicker = 0x05, kContrast = 0x03, kSaturation = 0x07,
                  kSharpness = 0x08, kGamma = 0x09;
}

class CameraControlQueueTest : public CameraManagerTest {
 protected:
  void SetUp() override {
    CameraManagerTest::SetUp();
    plugCamera();
    makeManager();
    connect();
  }
};

TEST_F(CameraControlQueueTest, ChangeQueuedWhileTheSameControlIsInFlightIsNotLost) {
  manager->enqueueUVCEvent(UVCMode::contrast, 0.3f);
  ASSERT_TRUE(manager->inCheckUVCProcess());
  manager->enqueueUVCEvent(UVCMode::contrast, 0.6f);
  EXPECT_EQ(manager->uvcQueue(),
            (std::vector<UVCEvent>{{UVCMode::contrast, 0.3f}, {UVCMode::contrast, 0.6f}}));
  settle();
  EXPECT_TRUE(manager->uvcQueue().empty());
  EXPECT_FALSE(manager->inCheckUVCProcess());
  EXPECT_FLOAT_EQ(manager->contrast().value, 0.6f);
  EXPECT_EQ(usbCamera->control(kContrast).cur, 153);
}

TEST_F(CameraControlQueueTest, WaitingChangesCoalesceAndRunInOrder) {
  usbCamera->clearRequests();
  manager->enqueueUVCEvent(UVCMode::contrast, 0.3f);  // in flight
  manager->enqueueUVCEvent(UVCMode::brightness, 0.5f);
  manager->enqueueUVCEvent(UVCMode::saturation, 0.2f);
  manager->enqueueUVCEvent(UVCMode::brightness, 0.5f);  // the same value: nothing changes
  EXPECT_EQ(manager->uvcQueue().size(), 3u);
  manager->enqueueUVCEvent(UVCMode::brightness, 0.7f);  // replaces 0.5, at the end
  EXPECT_EQ(manager->uvcQueue(), (std::vector<UVCEvent>{{UVCMode::contrast, 0.3f},
                                                        {UVCMode::saturation, 0.2f},
                                                        {UVCMode::brightness, 0.7f}}));
  settle();
  std::vector<uint8_t> order;
  for (const auto& r : usbCamera->requests())
    if (r.requestType == 0x21) order.push_back(uint8_t(r.value >> 8));
  EXPECT_EQ(order, (std::vector<uint8_t>{kContrast, kSaturation, kBrightness}));
  EXPECT_EQ(usbCamera->control(kBrightness).cur, 25);  // -64 + trunc(128 x 0.7)
  EXPECT_FLOAT_EQ(manager->brightness().value, 0.7f);
  EXPECT_FLOAT_EQ(manager->saturation().value, 0.2f);
}

TEST_F(CameraControlQueueTest, FailedWriteKeepsTheRecordAndTheQueueGoesOn) {
  float before = manager->contrast().value;
  usbCamera->failNext(Camera::Failure::stall, 0x0200, kContrast);
  manager->enqueueUVCEvent(UVCMode::contrast, 0.9f);
  manager->enqueueUVCEvent(UVCMode::gamma, 0.25f);
  settle();
  EXPECT_EQ(manager->contrast().value, before);
  EXPECT_FLOAT_EQ(manager->gamma().value, 0.25f);
  EXPECT_EQ(usbCamera->control(kGamma).cur, 150);
  EXPECT_TRUE(manager->uvcQueue().empty());
}

TEST_F(CameraControlQueueTest, FieldOfViewAndFlicker) {
  usbCamera->setApiLevel(5);  // the field of view needs level 5: connect again
  manager->stopConnection();
  settle();
  connect();
  manager->verticalFov->setValue(corvane::VerticalFovMode::top);
  settle();
  EXPECT_EQ(usbCamera->verticalFov(), settings.fov[0]);
  EXPECT_EQ(defaults->integer("VerticalFov", -1), 0);
  manager->enqueueUVCEvent(UVCMode::flicker, 2.0f);
  settle();
  EXPECT_EQ(manager->flicker().value, 2);
  EXPECT_EQ(usbCamera->control(kFlicker).cur, 2);
}

TEST_F(CameraControlQueueTest, QueueIfChangedOnlyForEnabledControlsWithANewValue) {
  float current = manager->brightness().value;
  manager->queueIfChanged(UVCMode::brightness, current);
  EXPECT_TRUE(manager->uvcQueue().empty());
  manager->queueFlickerIfChanged(manager->flicker().value);
  EXPECT_TRUE(manager->uvcQueue().empty());
  manager->queueIfChanged(UVCMode::brightness, current + 0.1f);
  EXPECT_EQ(manager->uvcQueue().size(), 1u);
  settle();
}

TEST_F(CameraControlQueueTest, EventsFromAnotherThreadArePostedToTheMainThread) {
  std::thread([this] { manager->enqueueUVCEvent(UVCMode::sharpness, 0.4f); }).join();
  EXPECT_TRUE(manager->uvcQueue().empty());
  settle();
  EXPECT_FLOAT_EQ(manager->sharpness().value, 0.4f);
}

TEST_F(CameraManagerTest, ResetSendsTheRawDefaultsApartInTime) {
  plugCamera();
  usbCamera->setControl(kBrightness, {-64, 64, 51});
  usbCamera->setControl(kContrast, {0, 255, 20});
  float denoise = -1;
  auto env = environment();
  env.setDenoise = [&](float d) { denoise = d; };
  manager = std::make_unique<corvane::CameraManager>(env);
  connect();
  manager->enqueueUVCEvent(UVCMode::gamma, 0.9f);
  manager->enqueueUVCEvent(UVCMode::saturation, 0.9f);
  settle();
  ASSERT_EQ(usbCamera->control(kGamma).cur, 279);  // 100 + trunc(200 x 0.9f)

  manager->resetCameraFunction();
  advance(0ms);
  // Brightness at once; the others follow 0.15 s apart.
  EXPECT_EQ(usbCamera->control(kBrightness).cur, 0);
  EXPECT_EQ(usbCamera->control(kContrast).cur, 20);
  advance(150ms);
  EXPECT_EQ(usbCamera->control(kFlicker).cur, 1);  // already the default preset's choice
  advance(150ms);
  EXPECT_EQ(usbCamera->control(kContrast).cur, 128);  // the raw default itself, not 130
  EXPECT_EQ(usbCamera->control(kSaturation).cur, 8);  // trunc(10 x 0.9f)
  advance(150ms);
  EXPECT_EQ(usbCamera->control(kSaturation).cur, 3);
  advance(300ms);
  EXPECT_EQ(usbCamera->control(kSharpness).cur, 3);
  EXPECT_EQ(usbCamera->control(kGamma).cur, 200);  // the gamma read at connection
  EXPECT_FLOAT_EQ(manager->nr().value, 0.03f);
  EXPECT_FLOAT_EQ(denoise, 0.0f);  // 0.03 of the range is level round(0.18) = 0 of 0..6
}

TEST(CameraControlFraction, FractionsMapBackToTheRawValue) {
  for (int raw = 0; raw <= 255; ++raw)
    EXPECT_EQ(corvane::USBManager::rawValueForFraction(
                  0, 255, corvane::CameraManager::fractionForRaw(raw, 0, 255)),
              raw);
  for (int raw = -64; raw <= 64; ++raw)
    EXPECT_EQ(corvane::USBManager::rawValueForFraction(
                  -64, 64, corvane::CameraManager::fractionForRaw(raw, -64, 64)),
              raw);
  EXPECT_EQ(corvane::CameraManager::fractionForRaw(5, 3, 3), 0.0f);
}
