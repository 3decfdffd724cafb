#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <vector>

#include "FakeSysfs.h"
#include "FakeV4l2Device.h"
#include "TestPictures.h"
#include "capture/CaptureDeviceDiscovery.h"
#include "capture/CaptureSession.h"
#include "capture/MjpegDecoderPool.h"
#include "capture/StreamFailureRule.h"
#include "dispatch/Semaphore.h"

using namespace std::chrono_literals;
using platform::CaptureDevice;
using platform::CaptureDeviceDiscovery;
using platform::CaptureSession;
using testsupport::FakeV4l2Device;

namespace {

FakeV4l2Device::Node uvcCamera(const std::string& card) {
  FakeV4l2Device::Node n;
  n.card = card;
  n.formats = {{V4L2_PIX_FMT_MJPEG, {{1280, 720}, {3840, 1080}}, {30, 15}},
               {V4L2_PIX_FMT_YUYV, {{640, 480}}, {30}}};
  return n;
}

// Collects the frames a session hands over and wakes the test on each.
class Collector : public platform::SampleBufferDelegate {
 public:
  bool wantsFrame() override {
    asked.fetch_add(1);
    if (queue && queue->isCurrent()) askedOnQueue = true;
    return wants ? wants() : true;
  }
  void captureOutput(const platform::PixelBufferRef& frame, int64_t ts) override {
    {
      std::lock_guard lock(mutex);
      frames.push_back(frame);
      stamps.push_back(ts);
      threadOk = threadOk && queue->isCurrent();
    }
    got.signal();
  }
  void captureSessionEnded(int error) override {
    endedWith = error;
    ended.signal();
  }
  platform::SerialQueue* queue = nullptr;
  std::function<bool()> wants;  // every frame, when unset
  std::atomic<int> asked{0};
  std::atomic<bool> askedOnQueue{false};
  std::mutex mutex;
  std::vector<platform::PixelBufferRef> frames;
  std::vector<int64_t> stamps;
  bool threadOk = true;
  platform::Semaphore got, ended;
  int endedWith = 0;
};

}  // namespace

class CaptureDiscoveryTest : public ::testing::Test {
 protected:
  testsupport::FakeSysfs sys;
  FakeV4l2Device v4l2;
};

TEST_F(CaptureDiscoveryTest, UsbCamerasGetNameIdentityAndModelIdFromSysfs) {
  std::string usb = sys.addUsbVideoNode("video0", "1-2", 0x2109, 0x0700, "Kestova Camera");
  v4l2.addNode(sys.devicePath("video0"), uvcCamera("UVC camera card"));
  auto devices = CaptureDeviceDiscovery(v4l2, sys.sysRoot(), sys.devRoot()).devices();
  ASSERT_EQ(devices.size(), 1u);
  const CaptureDevice& d = devices[0];
  EXPECT_EQ(d.localizedName, "Kestova Camera");
  EXPECT_EQ(d.modelID, "UVC Camera VendorID_8457 ProductID_1792");
  EXPECT_EQ(d.uniqueID, usb);
  ASSERT_EQ(d.formats.size(), 3u);
  EXPECT_EQ(d.formats[0].name, "MJPEG");
  EXPECT_EQ(d.formats[1].width, 3840);
  EXPECT_EQ(d.formats[1].maxFrameRate(), 30);
  EXPECT_EQ(d.formats[2].name, "YUYV");
  EXPECT_EQ(v4l2.openCount(), 0);  // every node closed again
}

TEST_F(CaptureDiscoveryTest, SkipsMetadataAndLoopbackNodesAndFallsBackToTheCardName) {
  sys.addUsbVideoNode("video0", "1-2", 0x2109, 0x0700, "");
  sys.addUsbVideoNode("video1", "1-2", 0x2109, 0x0700, "");
  sys.addVirtualNode("video10", "Corvane Virtual Camera");
  sys.addUsbVideoNode("video2", "1-3", 0x046d, 0x082c, "HD Webcam");
  v4l2.addNode(sys.devicePath("video0"), uvcCamera("USB Camera: card"));
  auto meta = uvcCamera("USB Camera: card");
  meta.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
  v4l2.addNode(sys.devicePath("video1"), meta);
  auto loop = uvcCamera("Corvane Virtual Camera");
  loop.driver = "v4l2 loopback";
  loop.deviceCaps |= V4L2_CAP_VIDEO_OUTPUT;
  v4l2.addNode(sys.devicePath("video10"), loop);
  v4l2.addNode(sys.devicePath("video2"), uvcCamera("HD Webcam card"));
  auto devices = CaptureDeviceDiscovery(v4l2, sys.sysRoot(), sys.devRoot()).devices();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].localizedName, "USB Camera: card");  // no product string in sysfs
  EXPECT_EQ(devices[1].localizedName, "HD Webcam");
  EXPECT_EQ(devices[1].modelID, "UVC Camera VendorID_1133 ProductID_2092");
}

class CaptureSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys.addUsbVideoNode("video0", "1-2", 0x2109, 0x0700, "Kestova Camera");
    v4l2.addNode(sys.devicePath("video0"), uvcCamera("cam"));
    device = CaptureDeviceDiscovery(v4l2, sys.sysRoot(), sys.devRoot()).devices().at(0);
    collector.queue = &queue;
  }
  platform::CaptureFormat format(int w, int h, uint32_t fourcc = V4L2_PIX_FMT_MJPEG) {
    for (const auto& f : device.formats)
      if (f.width == w && f.height == h && f.fourcc == fourcc) return f;
    return {};
  }
  bool waitFrames(size_t n) {
    while (true) {
      {
        std::lock_guard lock(collector.mutex);
        if (collector.frames.size() >= n) return true;
      }
      if (!collector.got.wait(5s)) return false;
    }
  }

  testsupport::FakeSysfs sys;
  FakeV4l2Device v4l2;
  CaptureDevice device;
  platform::SerialQueue queue{"sample buffer delegate"};
  Collector collector;
};

TEST_F(CaptureSessionTest, StreamsMjpegFramesAsFullRangeNv12InOrder) {
  CaptureSession session(v4l2, {4, 3});
  ASSERT_TRUE(session.canAddInput(device));
  session.addInput(device);
  session.setActiveFormat(format(1280, 720));
  session.setSampleBufferDelegate(&collector, &queue);
  ASSERT_TRUE(session.startRunning()) << session.lastError();
  EXPECT_EQ(session.acceptedFormat()->width, 1280);

  auto frame = testsupport::mjpegFrame(1, 1280, 720);
  ASSERT_FALSE(frame.empty());
  // One at a time, so none is late: every one arrives, in order.
  for (int i = 0; i < 5; ++i) {
    v4l2.pushFrame(frame);
    ASSERT_TRUE(waitFrames(size_t(i + 1)));
    queue.drain();  // the delegate is done with it: the next frame is not late
  }
  session.stopRunning();
  std::lock_guard lock(collector.mutex);
  ASSERT_EQ(collector.frames.size(), 5u);
  for (size_t i = 1; i < collector.stamps.size(); ++i)
    EXPECT_GT(collector.stamps[i], collector.stamps[i - 1]);
  const auto& f = collector.frames[0];
  EXPECT_EQ(f->format(), platform::PixelFormat::NV12FullRange);
  EXPECT_EQ(f->bytesPerRow(0), 1280u);  // packed rows
  EXPECT_TRUE(collector.threadOk);
  // The photo is not flat: the luma varies across the frame.
  int lo = 255, hi = 0;
  for (int x = 0; x < 1280; x += 7) {
    lo = std::min<int>(lo, f->baseAddress(0)[360 * 1280 + x]);
    hi = std::max<int>(hi, f->baseAddress(0)[360 * 1280 + x]);
  }
  EXPECT_GT(hi - lo, 60);
  auto calls = v4l2.calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "STREAMOFF"), calls.end());
  EXPECT_EQ(v4l2.openCount(), 0);
}

// The delegate is asked for each frame on the capture thread, before the decode: a frame it does
// not want is never decoded (here the unwanted ones would not even decode) nor handed over.
TEST_F(CaptureSessionTest, AFrameTheDelegateDoesNotWantIsDroppedBeforeItIsDecoded) {
  CaptureSession session(v4l2, {4, 2});
  session.addInput(device);
  session.setActiveFormat(format(1280, 720));
  int call = 0;
  collector.wants = [&] { return call++ % 2 == 1; };
  session.setSampleBufferDelegate(&collector, &queue);
  ASSERT_TRUE(session.startRunning());
  auto good = testsupport::mjpegFrame(3, 1280, 720);
  for (int i = 0; i < 3; ++i) {
    v4l2.pushFrame(std::vector<uint8_t>(5000, 0x42));
    v4l2.pushFrame(good);
    ASSERT_TRUE(waitFrames(size_t(i + 1)));
    queue.drain();
  }
  session.stopRunning();
  EXPECT_EQ(collector.asked.load(), 6);
  EXPECT_FALSE(collector.askedOnQueue.load());
  EXPECT_EQ(session.framesThinned(), 3u);
  EXPECT_EQ(session.framesDiscarded(), 0u);
  std::lock_guard lock(collector.mutex);
  EXPECT_EQ(collector.frames.size(), 3u);
}

TEST_F(CaptureSessionTest, ACorruptJpegIsDroppedAndTheStreamGoesOn) {
  CaptureSession session(v4l2, {4, 2});
  session.addInput(device);
  session.setActiveFormat(format(1280, 720));
  session.setSampleBufferDelegate(&collector, &queue);
  ASSERT_TRUE(session.startRunning());
  auto good = testsupport::mjpegFrame(2, 1280, 720);
  std::vector<uint8_t> cut(good.begin(), good.begin() + good.size() / 2);
  v4l2.pushFrame(cut);
  v4l2.pushFrame(std::vector<uint8_t>(5000, 0x42));
  int goodSent = 0;
  for (; goodSent < 20; ++goodSent) {
    v4l2.pushFrame(good);
    if (collector.got.wait(500ms)) break;
  }
  session.stopRunning();
  std::lock_guard lock(collector.mutex);
  ASSERT_EQ(collector.frames.size(), 1u);
  // The frame is the whole picture: its bottom rows are not the grey of a cut-off decode.
  const auto& f = collector.frames[0];
  int grey = 0;
  for (int x = 0; x < 1280; ++x) grey += f->baseAddress(0)[715 * 1280 + x] == 128;
  EXPECT_LT(grey, 1000);
}

TEST_F(CaptureSessionTest, DriverAdjustedFormatIsReadBack) {
  CaptureSession session(v4l2);
  session.addInput(device);
  platform::CaptureFormat odd = format(1280, 720);
  odd.width = 1000;  // not offered: the driver answers with its first size
  session.setActiveFormat(odd);
  session.setSampleBufferDelegate(&collector, &queue);
  ASSERT_TRUE(session.startRunning());
  EXPECT_EQ(session.acceptedFormat()->width, 1280);
  EXPECT_EQ(v4l2.lastFormat().width, 1280u);
}

TEST_F(CaptureSessionTest, YuyvIsConvertedAndStretchedToFullRange) {
  CaptureSession session(v4l2);
  session.addInput(device);
  session.setActiveFormat(format(640, 480, V4L2_PIX_FMT_YUYV));
  session.setSampleBufferDelegate(&collector, &queue);
  ASSERT_TRUE(session.startRunning());
  std::vector<uint8_t> yuyv(640 * 480 * 2);
  for (size_t i = 0; i < yuyv.size(); i += 4) {
    yuyv[i] = 16;  // video-range black
    yuyv[i + 1] = 128;
    yuyv[i + 2] = 235;  // video-range white
    yuyv[i + 3] = 128;
  }
  v4l2.pushFrame(yuyv);
  v4l2.pushFrame(std::vector<uint8_t>(100, 0));  // short: dropped
  ASSERT_TRUE(waitFrames(1));
  session.stopRunning();
  std::lock_guard lock(collector.mutex);
  const auto& f = collector.frames.at(0);
  EXPECT_EQ(f->baseAddress(0)[0], 0);
  EXPECT_EQ(f->baseAddress(0)[1], 255);
  EXPECT_EQ(f->baseAddress(1)[0], 128);
}

TEST_F(CaptureSessionTest, UnplugEndsTheSessionCleanly) {
  CaptureSession session(v4l2);
  session.addInput(device);
  session.setActiveFormat(format(1280, 720));
  session.setSampleBufferDelegate(&collector, &queue);
  ASSERT_TRUE(session.startRunning());
  v4l2.pushFrame(testsupport::mjpegFrame(3, 1280, 720));
  ASSERT_TRUE(waitFrames(1));
  v4l2.unplug();
  ASSERT_TRUE(collector.ended.wait(5s));
  EXPECT_EQ(collector.endedWith, ENODEV);
  EXPECT_FALSE(session.isRunning());
  session.stopRunning();
  EXPECT_EQ(v4l2.openCount(), 0);
}

// A transient USB error costs a frame, not the stream; a run of them ends it with the error
// named, and only a node that went away is an unplug.
TEST_F(CaptureSessionTest, AFailedOrFlaggedBufferIsSkippedAndOnlyAGoneNodeIsAnUnplug) {
  CaptureSession session(v4l2);
  session.addInput(device);
  session.setActiveFormat(format(1280, 720));
  session.setSampleBufferDelegate(&collector, &queue);
  ASSERT_TRUE(session.startRunning());
  const auto frame = testsupport::mjpegFrame(3, 1280, 720);
  v4l2.failDequeues(EIO, 1);
  v4l2.pushFrame(frame);
  ASSERT_TRUE(waitFrames(1));  // the frame the failed dequeue left queued
  v4l2.flagErrorBuffers(1);
  v4l2.pushFrame(frame);
  v4l2.pushFrame(frame);
  ASSERT_TRUE(waitFrames(2));  // the flagged one skipped, the next delivered
  EXPECT_TRUE(session.isRunning());
  EXPECT_FALSE(collector.ended.wait(0ms));

  // The driver keeps failing: the stream ends, naming the error, not an unplug.
  v4l2.failDequeues(EIO, 1000);
  v4l2.pushFrame(frame);
  ASSERT_TRUE(collector.ended.wait(5s));
  EXPECT_EQ(collector.endedWith, EIO);
  session.stopRunning();

  // The same error once the node has gone is the camera going away.
  CaptureSession again(v4l2);
  again.addInput(device);
  again.setActiveFormat(format(1280, 720));
  again.setSampleBufferDelegate(&collector, &queue);
  v4l2.failDequeues(EIO, 0);
  ASSERT_TRUE(again.startRunning()) << again.lastError();
  v4l2.pushFrame(frame);
  ASSERT_TRUE(waitFrames(3));
  sys.removeUsbDevice("1-2");
  v4l2.failDequeues(EIO, 1000);
  v4l2.pushFrame(frame);
  ASSERT_TRUE(collector.ended.wait(5s));
  EXPECT_EQ(collector.endedWith, ENODEV);
  again.stopRunning();
}

TEST_F(CaptureSessionTest, RefusedBuffersNameTheDriversError) {
  v4l2.failRequest("REQBUFS", ENOMEM);
  CaptureSession session(v4l2);
  session.addInput(device);
  session.setActiveFormat(format(1280, 720));
  session.setSampleBufferDelegate(&collector, &queue);
  EXPECT_FALSE(session.startRunning());
  EXPECT_EQ(session.lastError(),
            "the device gave no capture buffers: " + std::string(std::strerror(ENOMEM)));
  EXPECT_EQ(v4l2.openCount(), 0);
}

TEST(StreamFailureRule, WhichFailuresEndAStream) {
  using Verdict = platform::StreamFailureRule::Verdict;
  struct Case {
    int error;
    bool nodePresent;
    Verdict verdict;
  } cases[] = {
      {EAGAIN, true, Verdict::retry},    {EINTR, true, Verdict::retry},
      {EIO, true, Verdict::skip},        {EPROTO, true, Verdict::skip},
      {EPIPE, true, Verdict::skip},      {ENODEV, true, Verdict::unplugged},
      {ENXIO, true, Verdict::unplugged}, {EIO, false, Verdict::unplugged},
      {EAGAIN, false, Verdict::retry},
  };
  for (const Case& c : cases) {
    platform::StreamFailureRule rule;
    EXPECT_EQ(rule.onFailure(c.error, c.nodePresent), c.verdict)
        << std::strerror(c.error) << (c.nodePresent ? "" : ", node gone");
  }
  // A run of failures is bounded; a good frame in between starts the count again, and waiting
  // (EAGAIN) is no failure.
  platform::StreamFailureRule rule;
  for (int i = 1; i < platform::StreamFailureRule::kMaxFailureRun; ++i) {
    EXPECT_EQ(rule.onFailure(EIO, true), Verdict::skip) << i;
    EXPECT_EQ(rule.onFailure(EAGAIN, true), Verdict::retry);
  }
  rule.onFrame();
  EXPECT_EQ(rule.run(), 0);
  for (int i = 1; i < platform::StreamFailureRule::kMaxFailureRun; ++i)
    EXPECT_EQ(rule.onFailure(EIO, true), Verdict::skip);
  EXPECT_EQ(rule.onFailure(EPROTO, true), Verdict::ended);
  EXPECT_EQ(rule.lastError(), EPROTO);
}

TEST_F(CaptureSessionTest, ADeviceThatWillNotOpenFailsWithAReason) {
  CaptureSession session(v4l2);
  CaptureDevice gone = device;
  gone.devicePath = sys.devicePath("video7");
  session.addInput(gone);
  session.setSampleBufferDelegate(&collector, &queue);
  EXPECT_FALSE(session.startRunning());
  EXPECT_NE(session.lastError().find("cannot open"), std::string::npos);
}

TEST(MjpegDecoderPool, KeepsOrderAndDropsTheNewestWhenEveryWorkerIsBusy) {
  auto a = testsupport::mjpegFrame(1, 640, 360);
  auto b = testsupport::mjpegFrame(4, 640, 360);
  std::mutex m;
  std::vector<int64_t> order;
  platform::MjpegDecoderPool pool(2, 640, 360, [&](const platform::PixelBufferRef& f, int64_t ts) {
    EXPECT_TRUE(f);
    std::lock_guard lock(m);
    order.push_back(ts);
  });
  int accepted = 0;
  for (int i = 0; i < 40; ++i) {
    const auto& jpeg = i % 2 ? a : b;
    accepted += pool.submit(jpeg.data(), jpeg.size(), i);
  }
  pool.drain();
  EXPECT_EQ(uint64_t(accepted), pool.decoded());
  EXPECT_EQ(uint64_t(40 - accepted), pool.dropped());
  EXPECT_GE(accepted, 2);
  std::lock_guard lock(m);
  for (size_t i = 1; i < order.size(); ++i) EXPECT_LT(order[i - 1], order[i]);
}

TEST(MjpegDecoderPool, FramesOfAnotherSizeAreRefused) {
  auto big = testsupport::mjpegFrame(1, 1280, 720);
  int out = 0;
  std::vector<std::string> logs;
  platform::MjpegDecoderPool pool(
      1, 640, 360, [&](const platform::PixelBufferRef&, int64_t) { ++out; },
      [&](const std::string& l) { logs.push_back(l); });
  pool.submit(big.data(), big.size(), 0);
  pool.drain();
  EXPECT_EQ(out, 0);
  EXPECT_EQ(pool.corrupt(), 1u);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_NE(logs[0].find("1280x720"), std::string::npos);
}
