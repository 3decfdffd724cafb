#include <gtest/gtest.h>
#include <libyuv.h>

#include <mutex>

#include "FakeSysfs.h"
#include "FakeV4l2Device.h"
#include "ManualClock.h"
#include "TempDir.h"
#include "ipc/MachManager.h"
#include "main/VirtualCameraSink.h"

using corvane::VirtualCameraSink;
using platform::LoopbackOutput;
using testsupport::FakeV4l2Device;

namespace {

class StateRecorder : public platform::MachManagerDelegate {
 public:
  void streamStateChanged(bool streaming) override {
    std::lock_guard lock(mutex);
    states.push_back(streaming);
  }
  std::vector<bool> seen() {
    std::lock_guard lock(mutex);
    return states;
  }
  std::mutex mutex;
  std::vector<bool> states;
};

// The program's road: the sink on a fake loopback, its reader counts going to a link without an
// assistant, whose delegate is the window.
class SinkTest : public ::testing::Test {
 protected:
  SinkTest()
      : link(linkEnvironment()),
        output(v4l2, sys.sysRoot(), sys.devRoot(), &clock),
        sink(output, [this](bool streaming) { link.streamStateChanged(streaming); }) {
    link.setDelegate(&window);
  }
  ~SinkTest() override { link.setDelegate(nullptr); }

  platform::MachManager::Environment linkEnvironment() {
    platform::MachManager::Environment env;
    env.socketPath = dir.file("no-assistant");
    env.systemLog = [](const std::string&) {};
    env.standardOutput = [](const std::string&) {};
    return env;
  }
  void plugLoopback(const std::string& node = "video7") {
    sys.addVirtualNode(node, VirtualCameraSink::kCardLabel);
    v4l2.addNode(sys.devicePath(node),
                 FakeV4l2Device::loopbackNode(VirtualCameraSink::kCardLabel, 7,
                                              LoopbackOutput::kClientUsageEvent));
  }
  static platform::PixelBufferRef composed(int w, int h, uint8_t shade) {
    auto f = platform::PixelBuffer::create(w, h, platform::PixelFormat::BGRA);
    for (int y = 0; y < h; ++y) {
      uint8_t* row = f->baseAddress(0) + size_t(y) * f->bytesPerRow(0);
      for (int x = 0; x < w; ++x) {
        row[4 * x] = shade;
        row[4 * x + 1] = uint8_t(255 - shade);
        row[4 * x + 2] = uint8_t(y * 255 / h);
        row[4 * x + 3] = 255;
      }
    }
    return f;
  }

  testsupport::TempDir dir;
  testsupport::ManualClock clock;  // still: no repeated frames
  testsupport::FakeSysfs sys;
  FakeV4l2Device v4l2;
  StateRecorder window;
  platform::MachManager link;
  LoopbackOutput output;
  VirtualCameraSink sink;
};

constexpr size_t kFrame = 1280 * 720 * 2;

}  // namespace

TEST_F(SinkTest, WithoutOurDeviceNothingConnectsAndFramesAreDropped) {
  EXPECT_FALSE(sink.connectCameraExtension());
  EXPECT_FALSE(sink.isConnected());
  sink.enqueueFrame(composed(1280, 720, 10));
  EXPECT_EQ(output.framesWritten(), 0u);
  EXPECT_EQ(v4l2.openCount(), 0);
}

TEST_F(SinkTest, ComposedFramesReachTheDeviceAsYuyvAfterTheBlackFrame) {
  plugLoopback();
  ASSERT_TRUE(sink.connectCameraExtension());
  EXPECT_TRUE(sink.readyToEnqueue());
  auto frame = composed(1280, 720, 60);
  sink.enqueueFrame(frame);
  output.drain();
  auto bytes = v4l2.writtenBytes();
  ASSERT_EQ(bytes.size(), 2 * kFrame);
  EXPECT_EQ(bytes[0], 16);
  std::vector<uint8_t> expected(kFrame);
  libyuv::ARGBToYUY2(frame->baseAddress(0), int(frame->bytesPerRow(0)), expected.data(), 2560, 1280,
                     720);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + kFrame));
  EXPECT_TRUE(sink.connectCameraExtension());  // already connected: nothing more is opened
  EXPECT_EQ(v4l2.openCount(), 1);
}

TEST_F(SinkTest, AnUnpluggedDeviceIsConnectedAgainOnTheNextArrival) {
  plugLoopback();
  ASSERT_TRUE(sink.connectCameraExtension());
  v4l2.unplug();
  sink.enqueueFrame(composed(1280, 720, 1));
  output.drain();
  EXPECT_FALSE(sink.isConnected());
  sink.deviceArrived("/dev/video3");  // still gone
  EXPECT_FALSE(sink.isConnected());
  v4l2.replug();
  sink.deviceArrived("/dev/video7");
  ASSERT_TRUE(sink.isConnected());
  sink.enqueueFrame(composed(640, 360, 200));  // the preview's size: scaled, not dropped
  output.drain();
  EXPECT_EQ(output.framesWritten(), 3u);  // two black frames and the scaled one
}

TEST_F(SinkTest, ReadersReachTheWindowThroughTheLink) {
  plugLoopback();
  v4l2.setClientCount(1);  // a conferencing program is already watching
  ASSERT_TRUE(sink.connectCameraExtension());
  output.drain();
  EXPECT_TRUE(link.isStreaming());
  v4l2.setClientCount(0);
  output.drain();
  EXPECT_FALSE(link.isStreaming());
  EXPECT_EQ(window.seen(), (std::vector<bool>{true, false}));
  // The device going away while watched ends the streaming state too.
  v4l2.setClientCount(3);
  output.drain();
  v4l2.unplug();
  output.drain();
  EXPECT_EQ(window.seen(), (std::vector<bool>{true, false, true, false}));
}
