#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "SimulatedCamera.h"
#include "camera/USBManager.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"

// A USBManager over the simulated camera, its requests on a queue the test drains.
class UsbManagerTest : public ::testing::Test {
 protected:
  using Camera = testsupport::SimulatedCamera;
  using Request = Camera::Request;

  void SetUp() override {
    camera = std::make_shared<Camera>();
    manager = std::make_unique<corvane::USBManager>(camera->connector(), &requests,
                                                    &platform::MainQueue::shared());
  }
  void TearDown() override {
    settle();
    manager.reset();
  }

  // Runs the queued requests, then their completions.
  void settle() {
    requests.drain();
    platform::MainQueue::shared().drain();
  }

  void open() {
    ASSERT_EQ(manager->openUSBFromVID(Camera::kVendorId, Camera::kProductId), 0);
    ASSERT_TRUE(manager->isConnect());
    camera->clearRequests();
  }

  // The requests to one selector of one unit.
  std::vector<Request> requestsTo(uint16_t index, uint8_t selector) const {
    std::vector<Request> out;
    for (const auto& r : camera->requests())
      if (r.index == index && (r.value >> 8) == selector) out.push_back(r);
    return out;
  }

  platform::SerialQueue requests{"usb-test-requests"};
  std::shared_ptr<Camera> camera;
  std::unique_ptr<corvane::USBManager> manager;
};
