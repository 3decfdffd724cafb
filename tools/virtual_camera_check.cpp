// Manual check of the virtual camera on a machine with the v4l2loopback module: finds
// "Kestova Virtual Camera", feeds it a test picture through the sink stream for a few seconds
// and reads the device back through the capture layer, as a conferencing program would.
// tools/virtual-camera-check loads the module first and says how to look at it in a browser.
//
//   corvane-virtual-camera-check [SECONDS]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "capture/CaptureSession.h"
#include "dispatch/SerialQueue.h"
#include "vcam/LoopbackOutput.h"

namespace {

constexpr const char* kLabel = "Kestova Virtual Camera";

// Four vertical bars: blue, green, red, white (BGRA).
platform::PixelBufferRef testPicture() {
  auto f = platform::PixelBuffer::create(1280, 720, platform::PixelFormat::BGRA);
  const uint8_t bars[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int y = 0; y < 720; ++y)
    for (int x = 0; x < 1280; ++x) {
      uint8_t* p = f->baseAddress(0) + size_t(y) * f->bytesPerRow(0) + 4 * size_t(x);
      const uint8_t* c = bars[x / 320];
      p[0] = c[0];
      p[1] = c[1];
      p[2] = c[2];
      p[3] = 255;
    }
  return f;
}

class Reader : public platform::SampleBufferDelegate {
 public:
  void captureOutput(const platform::PixelBufferRef& frame, int64_t) override {
    if (!frame) return;
    if (frames++ == 0) {
      // Luma in the middle of each bar: low for blue, high for white.
      for (int bar = 0; bar < 4; ++bar)
        luma[bar] = frame->baseAddress(0)[size_t(frame->height() / 2) * frame->bytesPerRow(0) +
                                          size_t(bar * frame->width() / 4 + frame->width() / 8)];
      width = frame->width();
      height = frame->height();
    }
  }
  void captureSessionEnded(int error) override { ended = error; }
  std::atomic<int> frames{0};
  std::atomic<int> ended{0};
  int luma[4] = {0, 0, 0, 0};
  int width = 0, height = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  platform::LoopbackOutput sink;
  auto device = sink.findDevice(kLabel);
  if (!device) {
    std::fprintf(stderr,
                 "no v4l2loopback device named \"%s\"; load the module first "
                 "(tools/virtual-camera-check)\n",
                 kLabel);
    return 1;
  }
  std::printf("found %s: card \"%s\", bus %s\n", device->devicePath.c_str(), device->card.c_str(),
              device->busInfo.c_str());
  if (!sink.start(*device, 1280, 720, 30)) {
    std::fprintf(stderr, "cannot start the sink: %s\n", sink.lastError().c_str());
    return 1;
  }
  std::printf("sink started; reader events: %s\n",
              sink.clientUsage() == platform::LoopbackOutput::ClientUsage::None ? "not offered"
                                                                                : "subscribed");

  std::atomic<bool> feeding{true};
  std::thread feeder([&] {
    auto picture = testPicture();
    while (feeding) {
      sink.enqueueFrame(picture);
      std::this_thread::sleep_for(std::chrono::milliseconds(33));
    }
  });

  platform::CaptureDevice capture;
  capture.devicePath = device->devicePath;
  capture.localizedName = kLabel;
  capture.formats = {{0x56595559 /* YUYV */, "YUYV", 1280, 720, {30}}};
  platform::SerialQueue queue("virtual camera check");
  Reader reader;
  platform::CaptureSession session;
  session.addInput(capture);
  session.setActiveFormat(capture.formats.front());
  session.setSampleBufferDelegate(&reader, &queue);
  bool reading = session.startRunning();
  if (!reading)
    std::fprintf(stderr, "cannot read the device back: %s\n", session.lastError().c_str());
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  bool streamingSeen = sink.isStreaming();
  if (reading) session.stopRunning();
  feeding = false;
  feeder.join();
  sink.stop();

  std::printf("%llu frames written, %llu dropped; %d read back",
              static_cast<unsigned long long>(sink.framesWritten()),
              static_cast<unsigned long long>(sink.framesDropped()), reader.frames.load());
  if (reader.frames > 0)
    std::printf(" at %dx%d, bar luma %d %d %d %d (expected rising from blue to white)",
                reader.width, reader.height, reader.luma[0], reader.luma[1], reader.luma[2],
                reader.luma[3]);
  std::printf("\nthe sink saw a reader: %s\n", streamingSeen ? "yes" : "no");
  bool ok = reader.frames > 0 && reader.luma[0] < reader.luma[1] && reader.luma[2] < reader.luma[3];
  std::printf("%s\n", ok ? "PASS" : "FAIL");
  return ok ? 0 : 1;
}
