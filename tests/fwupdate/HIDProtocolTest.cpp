#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FwupdateTestRig.h"
#include "hid/HIDComm.h"
#include "hid/HIDDriver.h"
#include "hid/HIDInterfaceChoice.h"
#include "hid/HIDReportChannel.h"
#include "hid/Utf8.h"

namespace {

using Bytes = std::vector<uint8_t>;
using fwtest::Rig;

Bytes bytes(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// ---- output reports --------------------------------------------------------------------------

TEST(HIDProtocol, CommandReportsAreFramedByteForByte) {
  EXPECT_EQ(*qd4718::HIDComm::buildReport("get_type", {}),
            join({bytes({0x3F, 0x08}), text("get_type"), bytes({0x00})}));
  EXPECT_EQ(*qd4718::HIDComm::buildReport("start_update", text("update.swu")),
            join({bytes({0x3F, 0x0C}), text("start_update"), bytes({0x0A}), text("update.swu"),
                  bytes({0x00})}));
}

TEST(HIDProtocol, LengthsTravelInOneByte) {
  EXPECT_TRUE(qd4718::HIDComm::buildReport(std::string(255, 'a'), Bytes(255, 1)));
  EXPECT_FALSE(qd4718::HIDComm::buildReport(std::string(256, 'a'), {}));
  EXPECT_FALSE(qd4718::HIDComm::buildReport("cmd", Bytes(256, 1)));
}

TEST(HIDProtocol, ReportsOnTheWireAreTheFramedCommands) {
  Rig rig;
  rig.start();
  auto reports = rig.device.writtenReports();
  ASSERT_GE(reports.size(), 9u);
  EXPECT_EQ(reports[0], join({bytes({0x3F, 0x08}), text("get_type"), bytes({0x00})}));
  EXPECT_EQ(reports[1], join({bytes({0x3F, 0x0A}), text("get_hw_ver"), bytes({0x00})}));
  EXPECT_EQ(reports[6], join({bytes({0x3F, 0x0E}), text("get_storage_id"), bytes({0x00})}));
  EXPECT_EQ(reports[7], join({bytes({0x3F, 0x0F}), text("get_update_flag"), bytes({0x00})}));
  EXPECT_EQ(reports[8], join({bytes({0x3F, 0x08}), text("kernel_1"), bytes({0x00})}));
  rig.seconds(4);
  bool sawStart = false;
  for (const auto& r : rig.device.writtenReports()) {
    if (r.size() > 2 && std::string(r.begin() + 2, r.begin() + 2 + r[1]) == "start_update") {
      EXPECT_EQ(r, join({bytes({0x3F, 0x0C}), text("start_update"), bytes({0x0A}),
                         text("update.swu"), bytes({0x00})}));
      sawStart = true;
    }
  }
  EXPECT_TRUE(sawStart);
  EXPECT_EQ(rig.device.malformedReports(), 0);
}

TEST(HIDProtocol, CommandsAreTrimmedAndOversizedReportsStillGoOut) {
  Rig rig;
  rig.create();
  auto device = rig.updater->hidManager()->connectedDeviceNow();
  ASSERT_TRUE(device);
  qd4718::HIDComm comm(*device);
  rig.updater->hidManager()->sync([&] {
    EXPECT_TRUE(comm.sendCommad("  get_state\r\n"));
    EXPECT_TRUE(comm.sendCommad(std::string(70, 'x')));
  });
  rig.settle();
  auto reports = rig.device.writtenReports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], join({bytes({0x3F, 0x09}), text("get_state"), bytes({0x00})}));
  EXPECT_EQ(reports[1].size(), 73u);
  EXPECT_TRUE(rig.logged("Output data too large for USB report"));
}

TEST(HIDProtocol, ByteDataToString) {
  Bytes data = join({bytes({0x3F}), text("OK"), bytes({0x00, 0x0A, 0x01})});
  EXPECT_EQ(qd4718::HIDComm::convertByteDataToString(data, true, true), "OK");
  EXPECT_EQ(qd4718::HIDComm::convertByteDataToString(data, false, false).size(), data.size());
}

TEST(HIDProtocol, Utf8Validation) {
  EXPECT_TRUE(qd4718::isValidUtf8(text("plain")));
  EXPECT_TRUE(qd4718::isValidUtf8(text("\xE5\xBC\x80")));        // a CJK character
  EXPECT_FALSE(qd4718::isValidUtf8(bytes({0xC3})));              // cut short
  EXPECT_FALSE(qd4718::isValidUtf8(bytes({0xC0, 0xAF})));        // overlong
  EXPECT_FALSE(qd4718::isValidUtf8(bytes({0xED, 0xA0, 0x80})));  // a surrogate
  EXPECT_FALSE(qd4718::isValidUtf8(bytes({0xFF})));
}

// ---- the driver ------------------------------------------------------------------------------

// A bus with nodes the test lists; every report written is kept.
class FakeBus : public qd4718::HidBackend {
 public:
  std::vector<DeviceInfo> nodes;
  std::set<std::string> refuse;
  int opens = 0;
  std::vector<std::string> opened;
  std::vector<DeviceInfo> enumerate() override { return nodes; }
  std::unique_ptr<qd4718::HidConnection> open(const std::string& path) override {
    ++opens;
    opened.push_back(path);
    if (refuse.count(path)) return nullptr;
    struct Quiet : qd4718::HidConnection {
      bool writeOutputReport(const Bytes&) override { return true; }
      int readInputReport(Bytes&, size_t, int) override { return 0; }
    };
    return std::make_unique<Quiet>();
  }
};

TEST(HIDDriver, MatchesTheTargetAndTheUpdateEnumerationOnly) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  auto bus = std::make_shared<FakeBus>();
  bus->nodes = {{"/dev/hidraw1", 0x2E8B, 0x5003, "A", "Audio", 0xFF00, 1},
                {"/dev/hidraw2", 0x2E8B, 0x5FFF, "B", "Audio update", 0xFF00, 1},
                {"/dev/hidraw3", 0x2E8B, 0x0402, "C", "Camera", 0x0C, 1},
                {"/dev/hidraw4", 0x046D, 0x5003, "D", "Someone else", 1, 6}};
  qd4718::HIDManager manager(0x2E8B, 0x5003, "", {bus, nullptr});
  manager.start();
  manager.drain();
  EXPECT_EQ(manager.deviceIdsNow(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(manager.connectedDeviceNow()->id, "A");  // the first one found is used
  platform::MainQueue::shared().drain();
}

TEST(HIDDriver, UsageIsMatchedWhereGiven) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  platform::SerialQueue thread("test.hid");
  qd4718::TrackedQueue queue(thread);
  auto bus = std::make_shared<FakeBus>();
  bus->nodes = {{"/dev/hidraw1", 0x2E8B, 0x5003, "A", "Keys", 0x0C, 1},
                {"/dev/hidraw2", 0x2E8B, 0x5003, "B", "Update", 0xFF00, 1}};
  struct Seen : qd4718::HIDDriverDelegate {
    std::vector<std::string> connected, disconnected;
    void delegateConnect(const qd4718::HIDDevice& d) override { connected.push_back(d.id); }
    void delegateDisconnect(const std::string& id) override { disconnected.push_back(id); }
    void delegateDataReceive(int, const Bytes&) override {}
    void delegateErrorState(int32_t, const std::string&) override {}
    void delegateUpdateDevicde(int32_t) override {}
    void delegateUploadDone() override {}
    bool hasConnectedDevice() const override { return false; }
  } seen;
  qd4718::HIDDriver driver({{0x2E8B, 0x5003, 0xFF00, 1}}, 64, bus, queue);
  driver.delegate = &seen;
  queue.async([&] { driver.start(); });
  queue.waitIdle();
  EXPECT_EQ(seen.connected, (std::vector<std::string>{"B"}));

  // Removal and arrival are seen at the next look, half a second on.
  queue.sync([&] { bus->nodes.pop_back(); });
  clock.advance(std::chrono::milliseconds(499));
  queue.waitIdle();
  EXPECT_TRUE(seen.disconnected.empty());
  clock.advance(std::chrono::milliseconds(1));
  queue.waitIdle();
  EXPECT_EQ(seen.disconnected, (std::vector<std::string>{"B"}));
  queue.sync([&] { driver.close(); });
}

TEST(HIDDriver, ANodeThatCannotBeOpenedIsReportedOnceAndTriedAgain) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  std::vector<std::string> logs;
  std::mutex logMutex;
  qd4718::QD4718Log::setSink([&](qd4718::QD4718Log::Level, const std::string& line) {
    std::lock_guard lock(logMutex);
    logs.push_back(line);
  });
  auto bus = std::make_shared<FakeBus>();
  bus->nodes = {{"/dev/hidraw1", 0x2E8B, 0x5003, "A", "Audio", 0xFF00, 1}};
  bus->refuse = {"/dev/hidraw1"};
  {
    qd4718::HIDManager manager(0x2E8B, 0x5003, "", {bus, nullptr});
    manager.start();
    manager.drain();
    for (int i = 0; i < 4; ++i) {
      clock.advance(std::chrono::milliseconds(500));
      manager.drain();
    }
    EXPECT_TRUE(manager.deviceIdsNow().empty());
    manager.sync([&] { bus->refuse.clear(); });
    clock.advance(std::chrono::milliseconds(500));
    manager.drain();
    EXPECT_EQ(manager.deviceIdsNow(), (std::vector<std::string>{"A"}));
  }
  qd4718::QD4718Log::setSink(nullptr);
  platform::MainQueue::shared().drain();
  int reported = 0;
  for (const auto& l : logs) reported += l.find("cannot be opened") != std::string::npos;
  EXPECT_EQ(reported, 1);
  EXPECT_EQ(bus->opens, 6);
}

TEST(HIDInterfaceChoice, TheVendorDefinedInterfaceOfEachDeviceIsTaken) {
  using Info = qd4718::HidBackend::DeviceInfo;
  auto node = [](const char* path, uint16_t product, const char* serial, uint16_t page) {
    return Info{path, 0x2E8B, product, serial, "Audio", page, 1};
  };
  const Info vendor = node("/dev/hidraw1", 0x5003, "A", 0xFF00);
  const Info vendorHigh = node("/dev/hidraw5", 0x5003, "A", 0xFFA0);
  const Info keys = node("/dev/hidraw2", 0x5003, "A", 0x000C);
  const Info unknown = node("/dev/hidraw3", 0x5003, "A", 0);
  const Info desktop = node("/dev/hidraw4", 0x5003, "A", 0x0001);
  const Info otherSerial = node("/dev/hidraw6", 0x5003, "B", 0x000C);
  const Info updateMode = node("/dev/hidraw7", 0x5FFF, "A", 0x000C);
  struct Row {
    const char* what;
    std::vector<Info> nodes;
    std::set<std::string> inUse;
    std::vector<std::string> chosen;
  };
  const Row rows[] = {
      {"one interface", {vendor}, {}, {"/dev/hidraw1"}},
      {"consumer control listed after", {vendor, keys}, {}, {"/dev/hidraw1"}},
      {"consumer control listed before", {keys, vendor}, {}, {"/dev/hidraw1"}},
      {"the one in use is left for a standard page",
       {keys, vendor},
       {"/dev/hidraw2"},
       {"/dev/hidraw1"}},
      {"the whole vendor range counts", {desktop, vendorHigh}, {}, {"/dev/hidraw5"}},
      {"an unknown page before a standard one", {keys, unknown, desktop}, {}, {"/dev/hidraw3"}},
      {"a lone consumer-control node is still the device", {keys}, {}, {"/dev/hidraw2"}},
      {"two vendor nodes: the first listed", {vendorHigh, vendor}, {}, {"/dev/hidraw5"}},
      {"two vendor nodes: the one in use",
       {vendorHigh, vendor},
       {"/dev/hidraw1"},
       {"/dev/hidraw1"}},
      {"other serial numbers are other devices",
       {keys, otherSerial, vendor},
       {},
       {"/dev/hidraw1", "/dev/hidraw6"}},
      {"the update mode's product is another enumeration",
       {vendor, updateMode},
       {},
       {"/dev/hidraw1", "/dev/hidraw7"}},
      {"one node listed once per collection", {vendor, vendor}, {}, {"/dev/hidraw1"}},
      {"nothing", {}, {}, {}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> paths;
    for (const auto& info : qd4718::HIDInterfaceChoice::choose(row.nodes, row.inUse))
      paths.push_back(info.path);
    EXPECT_EQ(paths, row.chosen) << row.what;
  }
}

// The vendor interface showing up a moment after the consumer-control one takes its place.
TEST(HIDDriver, AVendorInterfaceThatAppearsLaterTakesTheDevicesPlace) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  auto bus = std::make_shared<FakeBus>();
  bus->nodes = {{"/dev/hidraw2", 0x2E8B, 0x5003, "A", "Audio", 0x000C, 1}};
  qd4718::HIDManager manager(0x2E8B, 0x5003, "", {bus, nullptr});
  manager.start();
  manager.drain();
  ASSERT_TRUE(manager.connectedDeviceNow());
  manager.sync([&] {
    bus->nodes.push_back({"/dev/hidraw1", 0x2E8B, 0x5003, "A", "Audio", 0xFF00, 1});
  });
  clock.advance(std::chrono::milliseconds(500));
  manager.drain();
  EXPECT_EQ(manager.deviceIdsNow(), (std::vector<std::string>{"A"}));
  auto device = manager.connectedDeviceNow();
  ASSERT_TRUE(device && device->device);
  EXPECT_TRUE(device->device->isOpen());
  EXPECT_EQ(bus->opened, (std::vector<std::string>{"/dev/hidraw2", "/dev/hidraw1"}));
  // The consumer-control node going changes nothing: it is no longer the device's.
  manager.sync([&] { bus->nodes.erase(bus->nodes.begin()); });
  clock.advance(std::chrono::milliseconds(500));
  manager.drain();
  auto still = manager.connectedDeviceNow();
  ASSERT_TRUE(still);
  EXPECT_EQ(still->device, device->device);
  EXPECT_EQ(bus->opens, 2);
  platform::MainQueue::shared().drain();
}

TEST(HIDDriver, ASecondNodeWithTheSameSerialReplacesTheFirst) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  auto bus = std::make_shared<FakeBus>();
  bus->nodes = {{"/dev/hidraw1", 0x2E8B, 0x5003, "A", "Audio", 0xFF00, 1}};
  qd4718::HIDManager manager(0x2E8B, 0x5003, "", {bus, nullptr});
  manager.start();
  manager.drain();
  auto first = manager.connectedDeviceNow();
  manager.sync([&] { bus->nodes.push_back({"/dev/hidraw7", 0x2E8B, 0x5FFF, "A", "Audio", 0, 0}); });
  clock.advance(std::chrono::milliseconds(500));
  manager.drain();
  EXPECT_EQ(manager.deviceIdsNow(), (std::vector<std::string>{"A"}));
  auto second = manager.connectedDeviceNow();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(second->productId, 0x5FFF);
  EXPECT_NE(first->device, second->device);
  platform::MainQueue::shared().drain();
}

TEST(HIDDriver, RepliesWithNothingWaitingForThemAreDropped) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  auto bus = std::make_shared<FakeBus>();
  qd4718::HIDManager manager(0x2E8B, 0x5003, "", {bus, nullptr});
  manager.start();
  manager.sync([&] {
    auto& driver = *manager.rfDeviceDriver;
    EXPECT_EQ(driver.AnalysisResponce(join({bytes({0x3F, 0x02}), text("OK")})), 0);
    driver.waitCommand = "get_state";
    // No device connected: nothing reaches the flow.
    EXPECT_EQ(driver.AnalysisResponce(join({bytes({0x3F, 0x01}), text("8")})), 0);
  });
}

}  // namespace
