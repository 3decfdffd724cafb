#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
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
// The caller converts a frame into one of two pooled YUYV buffers; the write runs on the sink's
// own queue, which also reads the module's client-usage events. At most one frame is in flight:
// a frame offered while the writer is busy is dropped, like a sink that is not ready.
class LoopbackOutput {
 public:
  struct Device {
    std::string devicePath;  // /dev/videoN
    std::string card;
    std::string busInfo;
    std::string name;  // the node's sysfs name
  };
  // What the module tells about its readers.
  enum class ClientUsage { None, Current, Legacy };
  struct Handlers {
    // The number of readers went from zero to some or back; on the sink's queue.
    std::function<void(bool streaming)> streamStateChanged;
    // The device went away (ENODEV, EIO); the output is closed. On the sink's queue.
    std::function<void(const std::string& reason)> disconnected;
  };

  // The module's client-usage event; modules before it sent the count as the first private event.
  static constexpr uint32_t kClientUsageEvent = 0x08000000 + 0x08E00000 + 1;
  static constexpr uint32_t kLegacyClientUsageEvent = 0x08000000;

  explicit LoopbackOutput(V4l2Api& api = V4l2Api::system(), std::string sysRoot = "/sys",
                          std::string devRoot = "/dev");
  ~LoopbackOutput();
  LoopbackOutput(const LoopbackOutput&) = delete;
  LoopbackOutput& operator=(const LoopbackOutput&) = delete;

  // A card label the module can carry: 1 to 31 characters, no comma (the module's list separator).
  static bool isUsableLabel(const std::string& label);
  // The loopback node whose sysfs name is exactly `label`, confirmed by the driver's name and bus
  // information; none for a camera or another program's loopback.
  std::optional<Device> findDevice(const std::string& label) const;
  // Every v4l2loopback node (ours and other programs'), by the driver's answer.
  static std::vector<Device> loopbackDevices(V4l2Api& api, const std::string& sysRoot,
                                             const std::string& devRoot);
  static std::optional<Device> findDevice(V4l2Api& api, const std::string& sysRoot,
                                          const std::string& devRoot, const std::string& label);
  // True when some video node's sysfs name is exactly `label` (opens nothing).
  static bool hasNodeNamed(const std::string& sysRoot, const std::string& label);

  // Opens the device write-only and non-blocking, sets YUYV at the size and rate, writes one
  // black frame and subscribes to the client-usage event. On failure the device is closed.
  bool start(const Device& device, int width, int height, int framesPerSecond = 30);
  void stop();
  bool isConnected() const { return connected_; }
  // The writer is idle: the next frame is taken.
  bool readyToEnqueue() const { return ready_; }
  bool isStreaming() const { return streaming_; }
  ClientUsage clientUsage() const { return clientUsage_; }
  void setHandlers(Handlers handlers);

  // Converts one BGRA frame on the calling thread (another size is scaled to the started size)
  // and hands it to the writer. False when the frame was dropped (not connected, writer busy).
  bool enqueueFrame(const PixelBufferRef& bgra);
  // Waits until the work handed to the writer so far is done.
  void drain();

  uint64_t framesWritten() const { return written_; }
  uint64_t framesDropped() const { return dropped_; }
  std::string lastError() const;

 private:
  struct YuyvBuffer {
    std::vector<uint8_t> bytes;
    size_t bytesPerRow = 0;
  };

  // On the queue.
  bool openDevice(const Device& device, int width, int height, int framesPerSecond);
  void closeDevice();
  void subscribeClientUsage();
  void writeFrame(const YuyvBuffer& buffer);
  void waitForEvents();
  bool readEvents();
  void lost(const std::string& reason);

  void wake();
  void clearWake();
  void setError(std::string error);

  V4l2Api& api_;
  std::string sysRoot_, devRoot_;
  SerialQueue queue_{"sink stream"};
  int wakeFd_ = -1;

  // Touched on the queue only (start and stop hand their device work to it).
  int fd_ = -1;
  int idleWakes_ = 0;
  bool opening_ = false;

  // The caller's side: the pool is filled only while the writer is idle.
  std::array<YuyvBuffer, 2> pool_;
  size_t nextBuffer_ = 0;
  std::vector<uint8_t> scaled_;
  int width_ = 0, height_ = 0;

  mutable std::mutex mutex_;
  std::string lastError_;
  Handlers handlers_;

  std::atomic<bool> connected_{false};
  std::atomic<bool> ready_{false};
  std::atomic<bool> streaming_{false};
  std::atomic<ClientUsage> clientUsage_{ClientUsage::None};
  std::atomic<uint64_t> written_{0}, dropped_{0};
};

}  // namespace platform
