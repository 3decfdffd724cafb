#include <algorithm>
#include <cerrno>

#include "CameraManagerFixture.h"

using corvane::ConnectMode;
using platform::CaptureDevice;

namespace {

CaptureDevice device(const std::string& name, const std::string& modelID) {
  CaptureDevice d;
  d.localizedName = name;
  d.modelID = modelID;
  return d;
}

}  // namespace

TEST_F(CameraManagerTest, CheckCameraByNameConfiguredNamesAndIds) {
  makeManager();
  const std::string ids10and11 = "UVC Camera VendorID_10 ProductID_11";
  // The product name alone, wherever it stands in the name, whatever the settings hold.
  EXPECT_TRUE(manager->checkCamera(device("Kestova Camera", "garbage")));
  EXPECT_TRUE(manager->checkCamera(device("USB Kestova Camera 2", "garbage")));
  EXPECT_FALSE(manager->checkCamera(device("kestova camera", "garbage")));

  settings.names = {"", "C920"};
  EXPECT_TRUE(manager->checkCamera(device("HD Pro Webcam C920", "garbage")));
  // An empty configured name matches nothing, and ids are then looked at.
  EXPECT_FALSE(manager->checkCamera(device("Some Webcam", "garbage")));

  settings.vendorIds = {"0x000a"};
  settings.productIds = {"0x000b"};
  EXPECT_TRUE(manager->checkCamera(device("Some Webcam", ids10and11)));
  settings.vendorIds = {"0x0A"};
  EXPECT_FALSE(manager->checkCamera(device("Some Webcam", ids10and11)));
  settings.vendorIds = {"0x000a"};
  settings.productIds = {"0x000B"};
  EXPECT_FALSE(manager->checkCamera(device("Some Webcam", ids10and11)));
  settings.productIds = {"0x000b"};
  EXPECT_FALSE(manager->checkCamera(device("Some Webcam", "UVC Camera VendorID_10")));
}

TEST_F(CameraManagerTest, FindCameraSkipsMetadataAndLoopbackNodes) {
  plugCamera("Kestova Camera", 3840, 1080, "video2");
  // The same camera's metadata node, and our own loopback output under the camera's name.
  sys.addUsbVideoNode("video3", "1-2", Camera::kVendorId, Camera::kProductId, "Kestova Camera");
  testsupport::FakeV4l2Device::Node meta;
  meta.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
  v4l2.addNode(sys.devicePath("video3"), meta);
  sys.addVirtualNode("video0", "Kestova Camera");
  testsupport::FakeV4l2Device::Node loop;
  loop.driver = "v4l2 loopback";
  loop.card = "Kestova Camera";
  loop.formats = {{V4L2_PIX_FMT_YUYV, {{1280, 720}}, {30}}};
  v4l2.addNode(sys.devicePath("video0"), loop);
  makeManager();

  std::optional<CaptureDevice> found = manager->findCamera();
  ASSERT_TRUE(found);
  EXPECT_EQ(found->devicePath, sys.devicePath("video2"));
  platform::MainQueue::shared().drain();
  ASSERT_EQ(manager->cameraDevices->value().size(), 1u);
}

TEST_F(CameraManagerTest, NoCameraAfterEveryPassDisconnects) {
  settings.retryTime = 2;
  makeManager();
  int passes = 0;
  manager->cameraDevices->bind([&](auto) { ++passes; });
  manager->startConnection();
  settle();
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::searching);
  EXPECT_EQ(passes, 1);
  advance(std::chrono::seconds(1));
  EXPECT_EQ(passes, 2);
  advance(std::chrono::seconds(1));
  EXPECT_EQ(passes, 3);
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  advance(std::chrono::seconds(5));
  EXPECT_EQ(passes, 3);  // nothing restarts by itself
  EXPECT_EQ(settings.saves, 1);
}

TEST_F(CameraManagerTest, RetryTimeZeroMakesOnePass) {
  makeManager();
  int passes = 0;
  manager->cameraDevices->bind([&](auto) { ++passes; });
  manager->startConnection();
  settle();
  EXPECT_EQ(passes, 1);
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
}

TEST_F(CameraManagerTest, CameraPluggedDuringTheSearchIsFoundOnALaterPass) {
  settings.retryTime = 3;
  makeManager();
  manager->startConnection();
  settle();
  plugCamera();
  advance(std::chrono::seconds(1));
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::searching);
  advance(std::chrono::seconds(2));
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::connected);
  EXPECT_TRUE(manager->isCapturing());
}

TEST_F(CameraManagerTest, ModelIdThatDoesNotParseFailsThePreparation) {
  plugCamera();
  auto env = environment();
  env.parseModelId = [](const std::string&, std::string* error) {
    *error = "no ids";
    return std::optional<corvane::CameraManager::VendorProduct>();
  };
  manager = std::make_unique<corvane::CameraManager>(env);
  manager->startConnection();
  settle();
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  EXPECT_EQ(usbCamera->openCount(), 0);  // the USB side is not opened
  EXPECT_FALSE(manager->isCapturing());
}

TEST_F(CameraManagerTest, ProgramsOwnModelIdParsingIsTheDefault) {
  auto env = environment();
  env.parseModelId = nullptr;
  manager = std::make_unique<corvane::CameraManager>(env);
  settings.vendorIds = {"0x2e8b"};
  settings.productIds = {"0x0402"};
  EXPECT_TRUE(manager->checkCamera(device("Webcam", "UVC Camera VendorID_11915 ProductID_1026")));
  EXPECT_FALSE(manager->checkCamera(device("Webcam", "UVC  Camera VendorID_11915")));
}

// A camera that is found but whose capture will not start is no connection: the state ends
// disconnected, never connected, and says why.
TEST_F(CameraManagerTest, ACaptureThatWillNotStartIsAFailedConnectionWithItsReason) {
  struct Row {
    const char* request;
    int error;
    const char* reason;
  } rows[] = {{"S_FMT", EBUSY, "error_msg_camera_busy"},
              {"STREAMON", EBUSY, "error_msg_camera_busy"},
              {"S_FMT", EACCES, "error_msg_camera_permission"},
              {"S_FMT", EINVAL, "error_msg_camera_format"},
              {"STREAMON", EIO, "error_msg_camera_start"}};
  plugCamera();
  makeManager();
  std::vector<ConnectMode> modes;
  manager->connectMode->bind([&](ConnectMode m) { modes.push_back(m); });
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.request) + " " + row.reason);
    v4l2.failRequest("S_FMT", 0);
    v4l2.failRequest("STREAMON", 0);
    v4l2.failRequest(row.request, row.error);
    modes.clear();
    manager->startConnection();
    settle();
    advance(std::chrono::seconds(6));
    EXPECT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
    EXPECT_EQ(std::count(modes.begin(), modes.end(), ConnectMode::connected), 0);
    EXPECT_EQ(manager->connectError->value(), row.reason);
    EXPECT_FALSE(manager->isCapturing());
  }

  // Once the other program lets go, a retry connects and the reason is gone.
  v4l2.failRequest("S_FMT", 0);
  v4l2.failRequest("STREAMON", 0);
  connect();
  EXPECT_EQ(manager->connectError->value(), "");
  EXPECT_TRUE(manager->isCapturing());
}
