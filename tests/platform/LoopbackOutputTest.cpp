#include <gtest/gtest.h>

#include "FakeSysfs.h"
#include "FakeV4l2Device.h"
#include "vcam/LoopbackOutput.h"

using platform::LoopbackOutput;
using testsupport::FakeV4l2Device;

namespace {

class LoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys.addUsbVideoNode("video0", "1-2", 0x2109, 0x0700, "Kestova Camera");
    FakeV4l2Device::Node cam;
    cam.formats = {{V4L2_PIX_FMT_MJPEG, {{1280, 720}}}};
    v4l2.addNode(sys.devicePath("video0"), cam);
    sys.addVirtualNode("video10", "Other Loopback");
    v4l2.addNode(sys.devicePath("video10"), loopback("Other Loopback"));
    sys.addVirtualNode("video11", "Corvane Virtual Camera");
    v4l2.addNode(sys.devicePath("video11"), loopback("Corvane Virtual Camera"));
  }
  static FakeV4l2Device::Node loopback(const std::string& label) {
    FakeV4l2Device::Node n;
    n.driver = "v4l2 loopback";
    n.card = label;
    n.busInfo = "platform:v4l2loopback-011";
    n.deviceCaps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING;
    n.formats = {{V4L2_PIX_FMT_YUYV, {{1280, 720}, {640, 360}}}};
    return n;
  }
  // A frame of one colour, BGRA.
  static platform::PixelBufferRef frame(uint8_t b, uint8_t g, uint8_t r, int w = 1280, int h = 720) {
    auto f = platform::PixelBuffer::create(w, h, platform::PixelFormat::BGRA);
    for (int y = 0; y < h; ++y) {
      uint8_t* row = f->baseAddress(0) + size_t(y) * f->bytesPerRow(0);
      for (int x = 0; x < w; ++x) {
        row[4 * x] = b;
        row[4 * x + 1] = g;
        row[4 * x + 2] = r;
        row[4 * x + 3] = 255;
      }
    }
    return f;
  }
  testsupport::FakeSysfs sys;
  FakeV4l2Device v4l2;
};

}  // namespace

TEST_F(LoopbackTest, FindsTheLoopbackByItsExactLabel) {
  LoopbackOutput out(v4l2, sys.sysRoot(), sys.devRoot());
  auto d = out.findDevice("Corvane Virtual Camera");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->devicePath, sys.devicePath("video11"));
  EXPECT_EQ(d->busInfo, "platform:v4l2loopback-011");
  EXPECT_FALSE(out.findDevice("corvane virtual camera"));  // letter case matters
  EXPECT_FALSE(out.findDevice("Kestova Camera"));          // a camera is no loopback
  EXPECT_EQ(v4l2.openCount(), 0);
}

TEST_F(LoopbackTest, WritesWholeYuyvFramesThroughPartialWrites) {
  LoopbackOutput out(v4l2, sys.sysRoot(), sys.devRoot());
  ASSERT_TRUE(out.start(*out.findDevice("Corvane Virtual Camera"), 1280, 720));
  EXPECT_EQ(v4l2.lastFormat().pixelformat, uint32_t(V4L2_PIX_FMT_YUYV));
  v4l2.setWriteChunk(100000);  // the driver takes a part of the frame at a time
  ASSERT_TRUE(out.enqueueFrame(frame(255, 255, 255)));
  out.drain();
  auto bytes = v4l2.writtenBytes();
  ASSERT_EQ(bytes.size(), size_t(1280 * 720 * 2));
  EXPECT_GE(bytes[0], 234);  // white: Y high, chroma neutral
  EXPECT_NEAR(bytes[1], 128, 2);
  EXPECT_EQ(out.framesWritten(), 1u);
}

TEST_F(LoopbackTest, OneFrameInFlightAndFramesOfAnotherSizeAreDropped) {
  LoopbackOutput out(v4l2, sys.sysRoot(), sys.devRoot());
  EXPECT_FALSE(out.enqueueFrame(frame(0, 0, 255)));  // before the sink is started
  ASSERT_TRUE(out.start(*out.findDevice("Corvane Virtual Camera"), 1280, 720));
  auto red = frame(0, 0, 255);
  int taken = 0;
  for (int i = 0; i < 50; ++i) taken += out.enqueueFrame(red);
  out.drain();
  EXPECT_GE(taken, 1);
  EXPECT_EQ(out.framesWritten(), uint64_t(taken));
  EXPECT_EQ(out.framesDropped(), uint64_t(1 + 50 - taken));  // the one before the start too
  EXPECT_TRUE(out.readyToEnqueue());
  EXPECT_FALSE(out.enqueueFrame(frame(0, 0, 255, 640, 360)));
  EXPECT_TRUE(out.readyToEnqueue());  // a refused frame leaves the sink ready
}

TEST_F(LoopbackTest, AGoneDeviceDisconnectsTheSink) {
  LoopbackOutput out(v4l2, sys.sysRoot(), sys.devRoot());
  ASSERT_TRUE(out.start(*out.findDevice("Corvane Virtual Camera"), 1280, 720));
  v4l2.unplug();
  out.enqueueFrame(frame(1, 2, 3));
  out.drain();
  EXPECT_FALSE(out.isConnected());
  EXPECT_FALSE(out.readyToEnqueue());
  EXPECT_NE(out.lastError().find("writing a frame failed"), std::string::npos);
}

TEST_F(LoopbackTest, ASizeTheDeviceWillNotTakeIsRefused) {
  LoopbackOutput out(v4l2, sys.sysRoot(), sys.devRoot());
  EXPECT_FALSE(out.start(*out.findDevice("Corvane Virtual Camera"), 1920, 1080));
  EXPECT_FALSE(out.isConnected());
  EXPECT_EQ(v4l2.openCount(), 0);
}
