#include <fcntl.h>
#include <gtest/gtest.h>
#include <libyuv.h>

#include <atomic>
#include <mutex>

#include "FakeSysfs.h"
#include "FakeV4l2Device.h"
#include "ManualClock.h"
#include "vcam/LoopbackOutput.h"

using platform::LoopbackOutput;
using testsupport::FakeV4l2Device;

namespace {

constexpr const char* kLabel = "Kestova Virtual Camera";
constexpr size_t kFrameBytes = 1280 * 720 * 2;

class LoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A camera that carries our label as its product name, another program's loopback and ours.
    sys.addUsbVideoNode("video0", "1-2", 0x2109, 0x0700, kLabel);
    FakeV4l2Device::Node cam;
    cam.card = kLabel;
    cam.formats = {{V4L2_PIX_FMT_MJPEG, {{1280, 720}}}};
    v4l2.addNode(sys.devicePath("video0"), cam);
    sys.addVirtualNode("video10", "OBS Virtual Camera");
    v4l2.addNode(sys.devicePath("video10"), loopback("OBS Virtual Camera", 10));
    sys.addVirtualNode("video11", kLabel);
    v4l2.addNode(sys.devicePath("video11"), loopback(kLabel, 11));
  }
  static FakeV4l2Device::Node loopback(const std::string& label, int n,
                                       uint32_t event = LoopbackOutput::kClientUsageEvent) {
    return FakeV4l2Device::loopbackNode(label, n, event);
  }
  // A picture with a different colour in each quarter, BGRA, rows padded.
  static platform::PixelBufferRef frame(int w = 1280, int h = 720, size_t pad = 0) {
    platform::PixelBuffer::Options o;
    o.extraRowBytes = pad;
    auto f = platform::PixelBuffer::create(w, h, platform::PixelFormat::BGRA, o);
    for (int y = 0; y < h; ++y) {
      uint8_t* row = f->baseAddress(0) + size_t(y) * f->bytesPerRow(0);
      for (int x = 0; x < w; ++x) {
        row[4 * x] = x < w / 2 ? 200 : 10;
        row[4 * x + 1] = y < h / 2 ? 30 : 220;
        row[4 * x + 2] = uint8_t(x * 255 / w);
        row[4 * x + 3] = 255;
      }
    }
    return f;
  }
  std::unique_ptr<LoopbackOutput> started() {
    auto out = std::make_unique<LoopbackOutput>(v4l2, sys.sysRoot(), sys.devRoot(), &clock);
    out->setHandlers({[this](bool s) {
                        std::lock_guard lock(mutex);
                        states.push_back(s);
                      },
                      [this](const std::string&) { ++disconnects; }});
    auto d = out->findDevice(kLabel);
    EXPECT_TRUE(d);
    if (d) {
      EXPECT_TRUE(out->start(*d, 1280, 720, 30));
    }
    return out;
  }
  // One frame period at 30 frames a second.
  static platform::Clock::Duration period() {
    return std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::seconds(1)) / 30;
  }
  // `n` frame periods pass, the sink's work done after each.
  void periods(LoopbackOutput& out, int n) {
    for (int i = 0; i < n; ++i) {
      clock.advance(period());
      out.drain();
    }
  }
  // Our loopback alone on a sysfs and a device of its own, as `node` describes the module (its
  // reader events, its streaming); a second call starts afresh.
  LoopbackOutput& lone(FakeV4l2Device::Node node) {
    loneOut.reset();
    loneSys = std::make_unique<testsupport::FakeSysfs>();
    loneDevice = std::make_unique<FakeV4l2Device>();
    loneSys->addVirtualNode("video5", kLabel);
    loneDevice->addNode(loneSys->devicePath("video5"), std::move(node));
    loneOut = std::make_unique<LoopbackOutput>(*loneDevice, loneSys->sysRoot(), loneSys->devRoot(),
                                               &clock);
    return *loneOut;
  }
  std::vector<bool> seenStates() {
    std::lock_guard lock(mutex);
    return states;
  }
  // Time passes only when a test moves it: the repeat of the last frame keeps still.
  testsupport::ManualClock clock;
  testsupport::ScopedClock scopedClock{clock};
  testsupport::FakeSysfs sys;
  FakeV4l2Device v4l2;
  std::mutex mutex;
  std::vector<bool> states;
  std::atomic<int> disconnects{0};
  // The lone module's, the output last so that it goes first.
  std::unique_ptr<testsupport::FakeSysfs> loneSys;
  std::unique_ptr<FakeV4l2Device> loneDevice;
  std::unique_ptr<LoopbackOutput> loneOut;
};

}  // namespace

TEST_F(LoopbackTest, FindsOurLoopbackByItsExactSysfsNameDriverAndBus) {
  LoopbackOutput out(v4l2, sys.sysRoot(), sys.devRoot(), &clock);
  auto d = out.findDevice(kLabel);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->devicePath, sys.devicePath("video11"));  // not the camera of the same name
  EXPECT_EQ(d->busInfo, "platform:v4l2loopback-011");
  EXPECT_FALSE(out.findDevice("kestova virtual camera"));  // letter case matters
  EXPECT_FALSE(out.findDevice("Kestova Virtual"));         // the whole name
  EXPECT_TRUE(out.findDevice("OBS Virtual Camera"));
  EXPECT_EQ(v4l2.openCount(), 0);
  EXPECT_TRUE(LoopbackOutput::hasNodeNamed(sys.sysRoot(), kLabel));
  EXPECT_EQ(LoopbackOutput::loopbackDevices(v4l2, sys.sysRoot(), sys.devRoot()).size(), 2u);

  // A node named like ours whose driver or bus is another's is refused.
  testsupport::FakeSysfs other;
  FakeV4l2Device dev;
  other.addVirtualNode("video3", kLabel);
  auto wrongBus = loopback(kLabel, 3);
  wrongBus.busInfo = "platform:vivid-000";
  dev.addNode(other.devicePath("video3"), wrongBus);
  LoopbackOutput o2(dev, other.sysRoot(), other.devRoot(), &clock);
  EXPECT_FALSE(o2.findDevice(kLabel));
}

TEST_F(LoopbackTest, LabelsTheModuleCannotCarryAreRefused) {
  EXPECT_TRUE(LoopbackOutput::isUsableLabel(kLabel));
  EXPECT_TRUE(LoopbackOutput::isUsableLabel(std::string(31, 'a')));
  EXPECT_FALSE(LoopbackOutput::isUsableLabel(std::string(32, 'a')));
  EXPECT_FALSE(LoopbackOutput::isUsableLabel("Kestova,Camera"));
  EXPECT_FALSE(LoopbackOutput::isUsableLabel(""));
  LoopbackOutput out(v4l2, sys.sysRoot(), sys.devRoot(), &clock);
  EXPECT_FALSE(out.findDevice("Kestova,Virtual Camera"));
}

TEST_F(LoopbackTest, StartSetsTheFormatAndRateAndWritesOneBlackFrame) {
  auto out = started();
  EXPECT_EQ(v4l2.lastOpenFlags() & O_ACCMODE, O_RDWR);  // the buffers are mapped for writing
  EXPECT_TRUE(v4l2.lastOpenFlags() & O_NONBLOCK);
  EXPECT_EQ(v4l2.lastFormat().pixelformat, uint32_t(V4L2_PIX_FMT_YUYV));
  EXPECT_EQ(v4l2.lastFormat().width, 1280u);
  EXPECT_EQ(v4l2.lastTimePerFrame().numerator, 1u);
  EXPECT_EQ(v4l2.lastTimePerFrame().denominator, 30u);
  auto bytes = v4l2.writtenBytes();
  ASSERT_EQ(bytes.size(), kFrameBytes);
  EXPECT_EQ(bytes[0], 16);  // black: Y 16, chroma neutral
  EXPECT_EQ(bytes[1], 128);
  EXPECT_EQ(bytes[kFrameBytes - 2], 16);
  EXPECT_TRUE(out->isConnected());
  EXPECT_TRUE(out->readyToEnqueue());
  EXPECT_EQ(out->clientUsage(), LoopbackOutput::ClientUsage::Current);
}

TEST_F(LoopbackTest, FramesAreYuyvAsLibyuvMakesThemWhateverTheSourceRowPadding) {
  auto out = started();
  v4l2.setWriteChunk(100000);  // the driver takes a part of the frame at a time
  auto f = frame(1280, 720, 96);
  ASSERT_TRUE(out->enqueueFrame(f));
  out->drain();
  auto bytes = v4l2.writtenBytes();
  ASSERT_EQ(bytes.size(), 2 * kFrameBytes);
  std::vector<uint8_t> expected(kFrameBytes);
  libyuv::ARGBToYUY2(f->baseAddress(0), int(f->bytesPerRow(0)), expected.data(), 1280 * 2, 1280,
                     720);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + kFrameBytes));
  EXPECT_EQ(out->framesWritten(), 2u);  // the black one and ours
}

TEST_F(LoopbackTest, AnotherSizeIsScaledNotDropped) {
  auto out = started();
  auto small = frame(640, 360);
  ASSERT_TRUE(out->enqueueFrame(small));
  out->drain();
  auto bytes = v4l2.writtenBytes();
  ASSERT_EQ(bytes.size(), 2 * kFrameBytes);
  auto big = frame();
  std::vector<uint8_t> expected(kFrameBytes);
  libyuv::ARGBToYUY2(big->baseAddress(0), int(big->bytesPerRow(0)), expected.data(), 2560, 1280,
                     720);
  // The quarters keep their colours: compare away from the edges between them.
  for (auto [x, y] : {std::pair{100, 100}, {1000, 100}, {100, 600}, {1000, 600}}) {
    size_t i = kFrameBytes + size_t(y) * 2560 + size_t(x) * 2;
    EXPECT_NEAR(bytes[i], expected[i - kFrameBytes], 3) << x << "," << y;
  }
}

TEST_F(LoopbackTest, OneWriteInFlightAndTheFlagComesBackAfterAFailedWrite) {
  LoopbackOutput idle(v4l2, sys.sysRoot(), sys.devRoot(), &clock);
  EXPECT_FALSE(idle.enqueueFrame(frame()));  // before the sink is started

  auto out = started();
  auto f = frame();
  int taken = 0;
  for (int i = 0; i < 50; ++i) taken += out->enqueueFrame(f);
  out->drain();
  EXPECT_GE(taken, 1);
  EXPECT_EQ(out->framesWritten(), uint64_t(taken) + 1);
  EXPECT_EQ(out->framesDropped(), uint64_t(50 - taken));
  EXPECT_TRUE(out->readyToEnqueue());

  // A full device loses that frame only; the next one goes.
  v4l2.failWrites(EAGAIN);
  EXPECT_TRUE(out->enqueueFrame(f));
  out->drain();
  EXPECT_TRUE(out->readyToEnqueue());
  EXPECT_TRUE(out->isConnected());
  EXPECT_TRUE(out->enqueueFrame(f));
  out->drain();
  EXPECT_EQ(out->framesWritten(), uint64_t(taken) + 2);
}

TEST_F(LoopbackTest, AGoneDeviceClosesTheSinkAndItConnectsAgainLater) {
  auto out = started();
  v4l2.failWrites(EIO);
  out->enqueueFrame(frame());
  out->drain();
  EXPECT_FALSE(out->isConnected());
  EXPECT_FALSE(out->readyToEnqueue());
  EXPECT_FALSE(out->enqueueFrame(frame()));
  EXPECT_EQ(v4l2.openCount(), 0);
  EXPECT_NE(out->lastError().find("queueing a frame failed"), std::string::npos);

  ASSERT_TRUE(out->start(*out->findDevice(kLabel), 1280, 720));
  v4l2.unplug();
  out->drain();  // the event watch sees the device go
  EXPECT_FALSE(out->isConnected());
  EXPECT_EQ(disconnects.load(), 2);
  v4l2.replug();
  ASSERT_TRUE(out->start(*out->findDevice(kLabel), 1280, 720));
  EXPECT_TRUE(out->enqueueFrame(frame()));
  out->drain();
  EXPECT_TRUE(out->isConnected());
}

TEST_F(LoopbackTest, AFailingStartLeavesTheSinkClosed) {
  LoopbackOutput out(v4l2, sys.sysRoot(), sys.devRoot(), &clock);
  EXPECT_FALSE(out.start(*out.findDevice(kLabel), 1920, 1080));  // a size the device refuses
  EXPECT_FALSE(out.isConnected());
  EXPECT_EQ(v4l2.openCount(), 0);
  v4l2.failWrites(ENODEV);  // the black frame cannot be written
  EXPECT_FALSE(out.start(*out.findDevice(kLabel), 1280, 720));
  EXPECT_FALSE(out.isConnected());
  EXPECT_FALSE(out.readyToEnqueue());
  EXPECT_EQ(v4l2.openCount(), 0);
}

TEST_F(LoopbackTest, ReaderCountsBecomeStreamStateChanges) {
  v4l2.setClientCount(0);
  auto out = started();
  out->drain();
  EXPECT_TRUE(seenStates().empty());  // the initial "no readers" is not reported
  v4l2.setClientCount(1);
  out->drain();
  v4l2.setClientCount(2);  // still streaming: no new report
  out->drain();
  v4l2.setClientCount(0);
  out->drain();
  EXPECT_EQ(seenStates(), (std::vector<bool>{true, false}));
  EXPECT_FALSE(out->isStreaming());
  // Frames still flow while the watch waits.
  EXPECT_TRUE(out->enqueueFrame(frame()));
  out->drain();
  EXPECT_EQ(out->framesWritten(), 2u);
}

TEST_F(LoopbackTest, AnInitialReaderIsReportedAndOlderModulesAreUnderstood) {
  LoopbackOutput& out = lone(loopback(kLabel, 5, LoopbackOutput::kLegacyClientUsageEvent));
  loneDevice->setClientCount(1);
  std::atomic<int> reports{0};
  out.setHandlers({[&](bool s) { reports += s ? 1 : 100; }, {}});
  ASSERT_TRUE(out.start(*out.findDevice(kLabel), 1280, 720));
  out.drain();
  EXPECT_EQ(out.clientUsage(), LoopbackOutput::ClientUsage::Legacy);
  EXPECT_EQ(reports.load(), 1);
  EXPECT_TRUE(out.isStreaming());
  out.stop();
  EXPECT_FALSE(out.isStreaming());
}

TEST_F(LoopbackTest, AModuleWithoutReaderEventsStillTakesFrames) {
  LoopbackOutput& out = lone(loopback(kLabel, 5, 0));
  ASSERT_TRUE(out.start(*out.findDevice(kLabel), 1280, 720));
  EXPECT_EQ(out.clientUsage(), LoopbackOutput::ClientUsage::None);
  EXPECT_TRUE(out.enqueueFrame(frame()));
  out.drain();
  EXPECT_EQ(out.framesWritten(), 2u);
  EXPECT_FALSE(out.isStreaming());
  // Whether anyone reads is not known: the last frame is repeated all the same.
  periods(out, 3);
  EXPECT_EQ(out.framesRepeated(), 2u);  // the first period had its fresh frame
  out.stop();
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

// Where nobody may be reading (no camera, no conference), a picture that stands still is sent
// again at the announced rate for a second only, then twice a second: a reader keeps its picture
// and an idle program does not copy a whole frame thirty times a second. A fresh frame brings
// the announced rate back.
TEST_F(LoopbackTest, AStillPictureForReadersNobodyKnowsOfIsRepeatedSlowly) {
  LoopbackOutput& out = lone(loopback(kLabel, 5, 0));
  ASSERT_TRUE(out.start(*out.findDevice(kLabel), 1280, 720, 30));
  ASSERT_EQ(out.clientUsage(), LoopbackOutput::ClientUsage::None);
  out.drain();
  // The black frame: a second at the announced rate, then two repeats a second.
  periods(out, 30);
  EXPECT_EQ(out.framesRepeated(), 30u);
  periods(out, 60);
  EXPECT_EQ(out.framesRepeated(), 34u);
  // A source again: its frames go as they come, and when it pauses the repeat has its rate back.
  auto f = frame();
  ASSERT_TRUE(out.enqueueFrame(f));
  out.drain();
  const uint64_t repeated = out.framesRepeated();
  periods(out, 10);
  EXPECT_EQ(out.framesRepeated(), repeated + 9);
  out.stop();
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

// The producer as consumers need it across restarts: the format read and set, buffers mapped,
// the stream on before the first frame and off at the end, on a module that takes buffers.
TEST_F(LoopbackTest, AModuleWithBuffersStreamsThroughMappedBuffers) {
  auto out = started();
  EXPECT_EQ(out->transfer(), LoopbackOutput::Transfer::MappedBuffers);
  EXPECT_TRUE(out->enqueueFrame(frame()));
  out->drain();
  out->stop();
  std::vector<std::string> calls;
  for (const auto& c : v4l2.calls())
    if (c != "QUERYCAP" && c != "SUBSCRIBE_EVENT") calls.push_back(c);
  EXPECT_EQ(calls, (std::vector<std::string>{"G_FMT", "S_FMT", "S_PARM", "REQBUFS", "STREAMON",
                                             "QBUF", "QBUF", "STREAMOFF", "REQBUFS"}));
  EXPECT_TRUE(v4l2.writeSizes() == (std::vector<size_t>{kFrameBytes, kFrameBytes}));
  EXPECT_EQ(out->framesWritten(), 2u);
  EXPECT_EQ(v4l2.openCount(), 0);
  // Many frames cycle through the few buffers the module handed out.
  ASSERT_TRUE(out->start(*out->findDevice(kLabel), 1280, 720, 30));
  const uint64_t before = out->framesWritten();  // with the new black frame
  for (int i = 0; i < 3 * int(LoopbackOutput::kBufferCount); ++i) {
    EXPECT_TRUE(out->enqueueFrame(frame()));
    out->drain();
  }
  EXPECT_EQ(out->framesWritten(), before + 3 * LoopbackOutput::kBufferCount);
  EXPECT_EQ(out->framesDropped(), 0u);
}

// A module that refuses the buffers (Debian 12's) still gets STREAMON, so it makes us its
// writer, and the frames go by write(); STREAMOFF at the end.
TEST_F(LoopbackTest, AModuleThatRefusesBuffersGetsTheStreamAndWrites) {
  auto node = loopback(kLabel, 5);
  node.streaming = FakeV4l2Device::Node::Streaming::WriteOnly;
  LoopbackOutput& out = lone(node);
  FakeV4l2Device& dev = *loneDevice;
  ASSERT_TRUE(out.start(*out.findDevice(kLabel), 1280, 720));
  EXPECT_EQ(out.transfer(), LoopbackOutput::Transfer::Write);
  EXPECT_TRUE(out.enqueueFrame(frame()));
  out.drain();
  out.stop();
  std::vector<std::string> calls;
  for (const auto& c : dev.calls())
    if (c != "QUERYCAP" && c != "SUBSCRIBE_EVENT") calls.push_back(c);
  EXPECT_EQ(calls, (std::vector<std::string>{"G_FMT", "S_FMT", "S_PARM", "REQBUFS", "STREAMON",
                                             "STREAMOFF"}));
  EXPECT_EQ(dev.writtenBytes().size(), 2 * kFrameBytes);
  EXPECT_EQ(out.framesWritten(), 2u);
}

// While the source pauses (or the camera is gone) the last frame goes again at the announced
// rate to the reader; fresh frames take over without doubling the rate.
TEST_F(LoopbackTest, TheLastFrameIsRepeatedAtTheAnnouncedRateWhileNoFreshOneComes) {
  for (auto streaming :
       {FakeV4l2Device::Node::Streaming::Buffers, FakeV4l2Device::Node::Streaming::WriteOnly}) {
    SCOPED_TRACE(streaming == FakeV4l2Device::Node::Streaming::Buffers ? "buffers" : "write");
    auto node = loopback(kLabel, 5);
    node.streaming = streaming;
    LoopbackOutput& out = lone(node);
    FakeV4l2Device& dev = *loneDevice;
    ASSERT_TRUE(out.start(*out.findDevice(kLabel), 1280, 720, 30));
    dev.setClientCount(1);  // a conference reads the camera
    out.drain();
    ASSERT_TRUE(out.isStreaming());
    const auto start = clock.now();
    auto f = frame();
    // Ten periods of a live source, one fresh frame in each: nothing repeated.
    for (int i = 0; i < 10; ++i) {
      ASSERT_TRUE(out.enqueueFrame(f));
      out.drain();
      clock.advance(period());
      out.drain();
    }
    EXPECT_EQ(out.framesRepeated(), 0u);
    // The source pauses for 30 periods: one repeat in each, each a whole copy of the last.
    periods(out, 30);
    EXPECT_EQ(out.framesRepeated(), 30u);
    EXPECT_EQ(out.framesWritten(), 41u);  // black, ten fresh, thirty repeats
    auto times = dev.frameTimes();
    ASSERT_EQ(times.size(), 41u);
    for (size_t i = 12; i < times.size(); ++i) EXPECT_EQ(times[i] - times[i - 1], period()) << i;
    EXPECT_EQ(times.back() - start, 40 * period());
    out.stop();
    // Stopped: no more frames, however long.
    clock.advance(10 * period());
    EXPECT_EQ(dev.frameTimes().size(), 41u);
  }
}

// Nobody reads the camera (no conference open, no camera, no clip): nothing is repeated and no
// timer wakes the program at the frame rate. The first reader gets the repeat within a period;
// when the last one leaves, and when the device is gone, it ends again.
TEST_F(LoopbackTest, TheRepeatRunsOnlyWhileSomeoneReads) {
  LoopbackOutput& out = lone(loopback(kLabel, 5));
  FakeV4l2Device& dev = *loneDevice;
  ASSERT_TRUE(out.start(*out.findDevice(kLabel), 1280, 720, 30));
  out.drain();
  EXPECT_EQ(clock.pendingTimers(), 0u);
  periods(out, 30);
  EXPECT_EQ(out.framesRepeated(), 0u);
  EXPECT_EQ(out.framesWritten(), 1u);  // the black frame that lists the device

  dev.setClientCount(1);
  out.drain();
  EXPECT_EQ(clock.pendingTimers(), 1u);
  periods(out, 5);
  EXPECT_EQ(out.framesRepeated(), 5u);

  dev.setClientCount(0);
  out.drain();
  EXPECT_EQ(clock.pendingTimers(), 0u);
  periods(out, 10);
  EXPECT_EQ(out.framesRepeated(), 5u);

  // A reader again, then the device goes: the repeat ends with it.
  dev.setClientCount(2);
  out.drain();
  EXPECT_EQ(clock.pendingTimers(), 1u);
  dev.unplug();
  periods(out, 2);
  EXPECT_FALSE(out.isConnected());
  EXPECT_EQ(clock.pendingTimers(), 0u);
  out.stop();
}
