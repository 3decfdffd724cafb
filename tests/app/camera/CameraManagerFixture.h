#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "FakeSysfs.h"
#include "FakeV4l2Device.h"
#include "ManualClock.h"
#include "RecordingAnalysisFacade.h"
#include "RecordingCameraSettings.h"
#include "SimulatedCamera.h"
#include "TempDir.h"
#include "TestPictures.h"
#include "camera/CameraManager.h"
#include "camera/USBManager.h"
#include "dispatch/MainQueue.h"
#include "qt/UserDefaults.h"

// A camera manager over the fake V4L2 driver, the fake sysfs tree and the simulated camera's
// control side, with a manual clock and the main queue drained by the test.
class CameraManagerTest : public ::testing::Test {
 protected:
  using Camera = testsupport::SimulatedCamera;
  using Facade = testsupport::RecordingAnalysisFacade;

  void SetUp() override {
    usbCamera = std::make_shared<Camera>();
    usbCamera->setApiLevel(4);
    usbCamera->addMode(3840, 1080, {360, 101, 360, 120, 1});
    usbCamera->setControl(0x02, {-64, 64, 0});     // brightness
    usbCamera->setControl(0x05, {0, 2, 1});        // power line
    usbCamera->setControl(0x03, {0, 255, 128});    // contrast
    usbCamera->setControl(0x07, {0, 10, 3});       // saturation
    usbCamera->setControl(0x08, {0, 10, 3});       // sharpness
    usbCamera->setControl(0x09, {100, 300, 200});  // gamma
    usb = std::make_unique<corvane::USBManager>(usbCamera->connector(), &usbRequests,
                                                &platform::MainQueue::shared());
    defaults = std::make_unique<platform::UserDefaults>(
        QString::fromStdString(home.path() + "/defaults.conf"));
  }

  void TearDown() override {
    if (manager) {
      settle();
      manager.reset();
    }
    usbRequests.drain();
    platform::MainQueue::shared().drain();
    usb.reset();
  }

  // Plugs the camera: a USB video node in sysfs answered by the fake driver.
  void plugCamera(const std::string& name = "Kestova Camera", int width = 3840, int height = 1080,
                  const std::string& node = "video0") {
    sys.addUsbVideoNode(node, "1-2", Camera::kVendorId, Camera::kProductId, name);
    testsupport::FakeV4l2Device::Node n;
    n.card = name;
    n.formats = {{V4L2_PIX_FMT_MJPEG, {{1280, 720}, {width, height}}, {30}}};
    v4l2.addNode(sys.devicePath(node), n);
  }

  corvane::CameraManager::Environment environment() {
    corvane::CameraManager::Environment env;
    env.v4l2 = &v4l2;
    env.sysRoot = sys.sysRoot();
    env.devRoot = sys.devRoot();
    env.sessionOptions.decodeWorkers = 2;
    env.usb = usb.get();
    env.settings = &settings;
    env.makeFacade = Facade::factory(facades);
    env.defaults = defaults.get();
    env.cachesFolder = [this] { return std::optional<std::string>(home.path() + "/caches"); };
    env.executableName = [] { return std::optional<std::string>("corvane-studio"); };
    env.usageMonitor = &monitor;
    return env;
  }

  void makeManager() {
    manager = std::make_unique<corvane::CameraManager>(environment());
    manager->setMenuItemsUpdater([this] { ++menuUpdates; });
  }

  // Runs the device queue, the USB requests and the main queue until all are quiet.
  void settle() {
    for (int i = 0; i < 50; ++i) {
      manager->deviceQueue().drain();
      usbRequests.drain();
      size_t ran = platform::MainQueue::shared().drain();
      if (ran == 0 && manager->deviceQueue().pendingCount() == 0 && usbRequests.pendingCount() == 0)
        return;
    }
  }

  void advance(std::chrono::milliseconds by) {
    clock.advance(by);
    settle();
  }

  // A fresh run that connects (the connected state comes two seconds after the result).
  void connect() {
    manager->startConnection();
    settle();
    advance(std::chrono::seconds(2));
    ASSERT_EQ(manager->connectMode->value(), corvane::ConnectMode::connected);
  }

  // One camera frame through the driver into the facade; completed at once.
  void deliverFrame(size_t total) {
    v4l2.pushFrame(testsupport::mjpegFrame(1, 3840, 1080));
    ASSERT_TRUE(facades->last()->waitForFrames(total));
    facades->last()->completeFrames();
    platform::MainQueue::shared().drain();
  }

  testsupport::ManualClock clock;
  testsupport::ScopedClock scopedClock{clock};
  // A monitor that never gets a sample: the load stays at level 0.
  corvane::CpuUsageMonitor monitor{[] { return std::optional<platform::SystemInfo::CpuTimes>(); },
                                   clock};
  testsupport::TempDir home;
  testsupport::FakeSysfs sys;
  testsupport::FakeV4l2Device v4l2;
  std::shared_ptr<Camera> usbCamera;
  platform::SerialQueue usbRequests{"usb-test-requests"};
  std::unique_ptr<corvane::USBManager> usb;
  std::unique_ptr<platform::UserDefaults> defaults;
  testsupport::RecordingCameraSettings settings;
  std::shared_ptr<Facade::Registry> facades = std::make_shared<Facade::Registry>();
  std::unique_ptr<corvane::CameraManager> manager;
  int menuUpdates = 0;
};
