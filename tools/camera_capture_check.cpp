// Manual check of the capture layer against a real camera: lists the capture devices as the
// camera manager sees them, then streams from one for a few seconds and reports the frames.
//
//   corvane-camera-capture-check                list, then stream from the first camera
//   corvane-camera-capture-check NODE [SECONDS] stream from /dev/NODE (e.g. video2)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "capture/CaptureDeviceDiscovery.h"
#include "capture/CaptureSession.h"
#include "dispatch/SerialQueue.h"

namespace {

class Counter : public platform::SampleBufferDelegate {
 public:
  void captureOutput(const platform::PixelBufferRef& frame, int64_t) override {
    if (frames++ == 0 && frame)
      std::printf("  first frame: %dx%d NV12, luma row %zu bytes\n", frame->width(),
                  frame->height(), frame->bytesPerRow(0));
  }
  void captureSessionEnded(int error) override { ended = error; }
  std::atomic<int> frames{0};
  std::atomic<int> ended{0};
};

}  // namespace

int main(int argc, char** argv) {
  auto devices = platform::CaptureDeviceDiscovery().devices();
  std::printf("%zu capture device(s)\n", devices.size());
  for (const auto& d : devices) {
    std::printf("%s  \"%s\"\n  model id: %s\n  identity: %s\n", d.devicePath.c_str(),
                d.localizedName.c_str(), d.modelID.c_str(), d.uniqueID.c_str());
    for (const auto& f : d.formats)
      std::printf("    %-6s %5d x %-5d %5.1f fps\n", f.name.c_str(), f.width, f.height,
                  f.maxFrameRate());
  }
  if (devices.empty()) return 1;
  const platform::CaptureDevice* chosen = &devices.front();
  if (argc > 1) {
    chosen = nullptr;
    for (const auto& d : devices)
      if (d.devicePath == std::string("/dev/") + argv[1]) chosen = &d;
    if (!chosen) {
      std::fprintf(stderr, "no capture device /dev/%s\n", argv[1]);
      return 1;
    }
  }
  int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  // The widest MJPEG format, as the camera manager would choose for the 360 camera.
  platform::CaptureFormat format = chosen->formats.front();
  for (const auto& f : chosen->formats)
    if (f.name == "MJPEG" && (format.name != "MJPEG" || f.width > format.width)) format = f;
  std::printf("streaming %s %dx%d from %s for %d s\n", format.name.c_str(), format.width,
              format.height, chosen->devicePath.c_str(), seconds);

  platform::SerialQueue queue("sample buffer delegate");
  Counter counter;
  platform::CaptureSession session;
  session.addInput(*chosen);
  session.setActiveFormat(format);
  session.setSampleBufferDelegate(&counter, &queue);
  if (!session.startRunning()) {
    std::fprintf(stderr, "cannot stream: %s\n", session.lastError().c_str());
    return 1;
  }
  if (auto accepted = session.acceptedFormat())
    std::printf("  driver accepted %s %dx%d\n", accepted->name.c_str(), accepted->width,
                accepted->height);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  session.stopRunning();
  std::printf("  %d frames delivered (%.1f fps), %llu discarded%s\n", counter.frames.load(),
              double(counter.frames.load()) / seconds,
              static_cast<unsigned long long>(session.framesDiscarded()),
              counter.ended ? ", the stream ended early" : "");
  return counter.frames > 0 ? 0 : 1;
}
