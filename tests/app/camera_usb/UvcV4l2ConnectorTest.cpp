#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "FakeV4l2Node.h"
#include "TempDir.h"
#include "camera/UvcV4l2Connector.h"

using namespace corvane;
namespace fs = std::filesystem;

namespace {

class Recording : public UsbConnector {
 public:
  UsbOpenResult open(uint16_t vid, uint16_t pid) override {
    asked.push_back({vid, pid});
    return {0, nullptr};
  }
  std::vector<std::pair<uint16_t, uint16_t>> asked;
};

// A sysfs tree: USB devices with their interfaces, and video4linux nodes pointing at them.
class FakeSysfs {
 public:
  explicit FakeSysfs(const std::string& root) : root_(root) {
    fs::create_directories(root_ / "bus/usb/devices");
    fs::create_directories(root_ / "class/video4linux");
  }
  void addUsbDevice(const std::string& name, const std::string& vid, const std::string& pid) {
    fs::path real = root_ / "devices/pci0000:00/usb1" / name;
    fs::create_directories(real / (name + ":1.0"));
    write(real / "idVendor", vid + "\n");
    write(real / "idProduct", pid + "\n");
    fs::create_directory_symlink(real, root_ / "bus/usb/devices" / name);
  }
  void addNode(const std::string& node, const std::string& device, int index) {
    fs::path real = root_ / "devices/virtual-v4l" / node;
    fs::create_directories(real);
    write(real / "index", std::to_string(index) + "\n");
    fs::create_directory_symlink(root_ / "devices/pci0000:00/usb1" / device / (device + ":1.0"),
                                 real / "device");
    fs::create_directory_symlink(real, root_ / "class/video4linux" / node);
  }

 private:
  static void write(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }
  fs::path root_;
};

class UvcV4l2ConnectorTest : public ::testing::Test {
 protected:
  UvcV4l2Connector connector() {
    UvcV4l2Connector::Options o;
    o.sysfsRoot = dir.path();
    o.devRoot = "/dev";
    o.fallback = fallback;
    o.openNode = [this](const std::string& path) -> std::unique_ptr<V4l2Ioctl> {
      opened.push_back(path);
      return std::make_unique<FakeV4l2Node>(std::make_shared<FakeV4l2Node::State>(), path);
    };
    return UvcV4l2Connector(o);
  }

  testsupport::TempDir dir;
  FakeSysfs sysfs{dir.path()};
  std::shared_ptr<Recording> fallback = std::make_shared<Recording>();
  std::vector<std::string> opened;
};

}  // namespace

TEST_F(UvcV4l2ConnectorTest, OpensTheCaptureNodeOfTheSameDevice) {
  sysfs.addUsbDevice("1-1", "046d", "0825");
  sysfs.addUsbDevice("1-2", "2e8b", "0402");
  sysfs.addNode("video0", "1-1", 0);
  sysfs.addNode("video2", "1-2", 0);
  sysfs.addNode("video3", "1-2", 1);  // the metadata node
  UsbOpenResult r = connector().open(0x2e8b, 0x0402);
  EXPECT_EQ(r.code, 0);
  ASSERT_NE(r.handle, nullptr);
  EXPECT_EQ(opened, std::vector<std::string>{"/dev/video2"});
  EXPECT_EQ(r.handle->description(), "uvcvideo /dev/video2");
  EXPECT_TRUE(fallback->asked.empty());
}

TEST_F(UvcV4l2ConnectorTest, IdsAreMatchedAsHexadecimalInAnyCase) {
  sysfs.addUsbDevice("2-1", "2E8B", "0A0B");
  sysfs.addNode("video5", "2-1", 0);
  EXPECT_NE(connector().open(0x2e8b, 0x0a0b).handle, nullptr);
}

TEST_F(UvcV4l2ConnectorTest, ADeviceWithoutCaptureNodeGoesToLibusb) {
  sysfs.addUsbDevice("1-2", "2e8b", "0402");
  sysfs.addNode("video3", "1-2", 1);  // only a metadata node
  UsbOpenResult r = connector().open(0x2e8b, 0x0402);
  EXPECT_EQ(r.handle, nullptr);
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(fallback->asked, (std::vector<std::pair<uint16_t, uint16_t>>{{0x2e8b, 0x0402}}));
}

TEST_F(UvcV4l2ConnectorTest, AnAbsentDeviceGoesToLibusb) {
  sysfs.addUsbDevice("1-1", "046d", "0825");
  sysfs.addNode("video0", "1-1", 0);
  EXPECT_EQ(connector().open(0x2e8b, 0x0402).handle, nullptr);
  EXPECT_EQ(fallback->asked.size(), 1u);
  EXPECT_TRUE(opened.empty());
}

TEST_F(UvcV4l2ConnectorTest, TwoCamerasOfOneModelOpenTheOneAtTheGivenPath) {
  sysfs.addUsbDevice("1-2", "2e8b", "0402");
  sysfs.addUsbDevice("1-3", "2e8b", "0402");
  sysfs.addNode("video0", "1-2", 0);
  sysfs.addNode("video2", "1-3", 0);
  auto c = connector();
  std::string second = fs::canonical(fs::path(dir.path()) / "bus/usb/devices/1-3").string();
  EXPECT_TRUE(c.openDevice(0x2e8b, 0x0402, second).handle);
  EXPECT_TRUE(c.open(0x2e8b, 0x0402).handle);
  // A path of another model is not taken: the ids decide.
  EXPECT_TRUE(c.openDevice(0x2e8b, 0x0499, second).handle == nullptr);
  EXPECT_EQ(opened, (std::vector<std::string>{"/dev/video2", "/dev/video0"}));
}
