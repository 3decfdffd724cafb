#include <gtest/gtest.h>

#include <QCoreApplication>
#include <vector>

#include "FakeDeviceEventSource.h"
#include "dispatch/MainQueue.h"
#include "qt/DeviceMonitor.h"

using platform::DeviceEvent;
using platform::DeviceMonitor;
using platform::MainQueue;

namespace {

struct Monitor {
  testsupport::FakeDeviceEventSource* source;
  std::unique_ptr<DeviceMonitor> monitor;
};

Monitor makeMonitor() {
  auto source = std::make_unique<testsupport::FakeDeviceEventSource>();
  auto* raw = source.get();
  return {raw, std::make_unique<DeviceMonitor>(std::move(source))};
}

}  // namespace

TEST(DeviceMonitor, DeliversMatchingEventsOnTheMainQueueOnly) {
  MainQueue::shared().drain();
  Monitor m = makeMonitor();
  std::vector<std::string> adds, any;
  m.monitor->subscribe("video4linux", "add",
                       [&](const DeviceEvent& e) { adds.push_back(e.devnode); });
  m.monitor->subscribe("video4linux", "", [&](const DeviceEvent& e) { any.push_back(e.action); });
  m.source->plugVideo("video3");
  m.source->push({"remove", "video4linux", "/dev/video3", ""});
  m.source->push({"add", "usb", "", "/sys/bus/usb/devices/1-2"});
  m.monitor->readPending();
  // Nothing runs on the reading call itself.
  EXPECT_TRUE(adds.empty());
  MainQueue::shared().drain();
  EXPECT_EQ(adds, (std::vector<std::string>{"/dev/video3"}));
  EXPECT_EQ(any, (std::vector<std::string>{"add", "remove"}));
}

TEST(DeviceMonitor, UnsubscribedOrDestroyedMonitorsDeliverNothing) {
  MainQueue::shared().drain();
  int calls = 0;
  {
    Monitor m = makeMonitor();
    auto id = m.monitor->subscribe("video4linux", "add", [&](const DeviceEvent&) { ++calls; });
    m.source->plugVideo();
    m.monitor->readPending();
    m.monitor->unsubscribe(id);
    MainQueue::shared().drain();
    EXPECT_EQ(calls, 0);
    m.monitor->subscribe("video4linux", "add", [&](const DeviceEvent&) { ++calls; });
    m.source->plugVideo();
    m.monitor->readPending();
  }
  MainQueue::shared().drain();
  EXPECT_EQ(calls, 0);
}

TEST(DeviceMonitor, AHandlerMayUnsubscribeItself) {
  MainQueue::shared().drain();
  Monitor m = makeMonitor();
  int calls = 0;
  DeviceMonitor::SubscriptionId id = 0;
  id = m.monitor->subscribe("video4linux", "add", [&](const DeviceEvent&) {
    ++calls;
    m.monitor->unsubscribe(id);
  });
  m.source->plugVideo();
  m.source->plugVideo();
  m.monitor->readPending();
  MainQueue::shared().drain();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(m.monitor->subscriberCount(), 0u);
}

TEST(DeviceMonitor, TheEventLoopReadsWhenTheSourceBecomesReadable) {
  int argc = 1;
  char name[] = "platform_tests";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  MainQueue::shared().drain();
  Monitor m = makeMonitor();
  int calls = 0;
  m.monitor->subscribe("video4linux", "add", [&](const DeviceEvent&) { ++calls; });
  m.source->plugVideo();
  QCoreApplication::processEvents();
  MainQueue::shared().drain();
  EXPECT_EQ(calls, 1);
}

TEST(DeviceMonitor, WithoutASourceItNeverDelivers) {
  DeviceMonitor monitor(nullptr);
  EXPECT_FALSE(monitor.isMonitoring());
  monitor.subscribe("video4linux", "add", [](const DeviceEvent&) { FAIL(); });
  monitor.readPending();
  MainQueue::shared().drain();
}
