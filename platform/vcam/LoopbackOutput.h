#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/V4l2Api.h"
#include "dispatch/SerialQueue.h"
#include "video/PixelBuffer.h"

namespace platform {

// The virtual camera's input: a v4l2loopback output device, found by its card label, into which
// composed BGRA frames are written as YUYV (the format browsers and conferencing programs take).
// At most one frame is in flight: a write runs on the sink's own queue, and a frame offered
// while one is being written is dropped, like a sink that is not ready.
class LoopbackOutput {
 public:
  struct Device {
    std::string devicePath;  // /dev/videoN
    std::string card;
    std::string busInfo;
  };

  explicit LoopbackOutput(V4l2Api& api = V4l2Api::system(), std::string sysRoot = "/sys",
                          std::string devRoot = "/dev");
  ~LoopbackOutput();

  // The loopback device whose card label is exactly `label`, if one exists.
  std::optional<Device> findDevice(const std::string& label) const;
  // Opens the device and sets its output format; false when it cannot be used.
  bool start(const Device& device, int width, int height);
  void stop();
  bool isConnected() const;
  bool readyToEnqueue() const { return ready_; }

  // Hands over one BGRA frame of the started size; dropped when the sink is not ready.
  // Returns whether the frame was taken.
  bool enqueueFrame(const PixelBufferRef& bgra);
  // Waits until the frame being written, if any, is done.
  void drain();

  uint64_t framesWritten() const { return written_; }
  uint64_t framesDropped() const { return dropped_; }
  std::string lastError() const;

 private:
  bool writeAll(const uint8_t* data, size_t size);

  V4l2Api& api_;
  std::string sysRoot_, devRoot_;
  mutable std::mutex mutex_;
  int fd_ = -1;
  int width_ = 0, height_ = 0;
  std::vector<uint8_t> yuyv_;
  std::string lastError_;
  std::atomic<bool> ready_{false};
  std::atomic<uint64_t> written_{0}, dropped_{0};
  SerialQueue queue_{"sink stream"};
};

}  // namespace platform
