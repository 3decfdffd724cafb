#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/V4l2Api.h"
#include "dispatch/Clock.h"
#include "dispatch/DispatchTimer.h"
#include "dispatch/SerialQueue.h"
#include "video/PixelBuffer.h"

namespace platform {

// The virtual camera's input: a v4l2loopback output device, found by its card label, into which
// composed BGRA frames are written as YUYV (the format browsers and conferencing programs take).
// The caller converts a frame into one of two pooled YUYV buffers; the write runs on the sink's
// own queue, which also reads the module's client-usage events. At most one frame is in flight:
// a frame offered while the writer is busy is dropped, like a sink that is not ready.
//
// The device is driven as a streaming output, so that consumers keep it across our restarts:
// G_FMT, S_FMT and S_PARM, then memory-mapped buffers (REQBUFS, QBUF/DQBUF) and STREAMON, and
// STREAMOFF when it stops. Modules from 0.14 on refuse STREAMON without buffers; Debian 12's
// module (0.12.7) makes an opener the writer only on STREAMON, and with exclusive_caps=1 a
// writer that never streamed leaves the node advertising neither capture nor output. Where the
// module refuses the buffers, frames go by write() after a STREAMON of their own. While no
// fresh frame comes (the source paused, the camera unplugged), the last one is sent again at
// the announced rate while someone reads the device, so a conference keeps a picture.
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
  static constexpr std::chrono::milliseconds kStillPeriod{500};

  // How frames reach the device.
  enum class Transfer { None, MappedBuffers, Write };
  // Buffers asked of the module: one being filled, the rest queued behind it.
  static constexpr uint32_t kBufferCount = 4;

  explicit LoopbackOutput(V4l2Api& api = V4l2Api::system(), std::string sysRoot = "/sys",
                          std::string devRoot = "/dev", Clock* clock = nullptr);
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

  // Opens the device non-blocking, sets YUYV at the size and rate, starts streaming (buffers or
  // write()), sends one black frame, subscribes to the client-usage event and starts repeating
  // the last frame while no fresh one comes. On failure the device is closed.
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

  Transfer transfer() const { return transfer_; }
  // Frames handed to the device: fresh ones, the black one and repeats.
  uint64_t framesWritten() const { return written_; }
  // Of those, the repeats of the last frame while no fresh one came.
  uint64_t framesRepeated() const { return repeated_; }
  uint64_t framesDropped() const { return dropped_; }
  std::string lastError() const;

 private:
  struct YuyvBuffer {
    std::vector<uint8_t> bytes;
    size_t bytesPerRow = 0;
  };
  struct MappedBuffer {
    uint8_t* address = nullptr;
    size_t length = 0;
    bool queued = false;  // with the module
  };

  // On the queue.
  bool openDevice(const Device& device, int width, int height, int framesPerSecond);
  void closeDevice();
  void subscribeClientUsage();
  bool startStreaming();
  bool mapBuffers();
  void releaseBuffers();
  bool writeFrame(const YuyvBuffer& buffer);
  bool queueFrame(const YuyvBuffer& buffer);
  bool writeBytes(const YuyvBuffer& buffer);
  // A frame the device did not take: dropped when it is full, else the error kept (and the
  // output closed when the device is gone). Always false.
  bool failed(const char* what, int error);
  void repeatLastFrame();
  void waitForEvents();
  bool readEvents();
  void lost(const std::string& reason);

  // Arms or ends the repeat of the last frame; from any thread.
  void setRepeating(bool on);

  void wake();
  void clearWake();
  void setError(std::string error);

  V4l2Api& api_;
  std::string sysRoot_, devRoot_;
  Clock& clock_;
  SerialQueue queue_{"sink stream"};
  // The repeat timer's own queue: its tick wakes the event watch, which holds the sink's queue.
  SerialQueue tickQueue_{"sink stream repeat"};
  // Armed only while someone reads the device (or the module cannot tell): with no reader a
  // repeat would only wake the program 30 times a second for nothing. Under repeatMutex_.
  std::unique_ptr<DispatchTimer> repeatTimer_;
  std::mutex repeatMutex_;
  bool repeatAllowed_ = false;  // between start and stop
  Clock::Duration repeatPeriod_{0};
  // Where the module cannot tell its readers, the repeat may run for nobody (no camera, no
  // conference): once the picture has stood still for a second it goes on at kStillPeriod, which
  // still keeps a reader's picture, and fresh frames bring the announced rate back. On queue_.
  int stillRepeats_ = 0;
  bool slowed_ = false;
  void setRepeatPeriod(Clock::Duration period);
  int wakeFd_ = -1;

  // Touched on the queue only (start and stop hand their device work to it).
  int fd_ = -1;
  int idleWakes_ = 0;
  bool opening_ = false;
  bool streamOn_ = false;
  std::vector<MappedBuffer> mapped_;
  YuyvBuffer black_;
  const YuyvBuffer* last_ = nullptr;  // the last frame sent: black_ or one of the pool's
  bool freshSinceTick_ = false;

  // The caller's side: the pool is filled only while the writer is idle.
  std::array<YuyvBuffer, 2> pool_;
  // Which pool buffer the writer sent last (-1: the black frame or none); set by the writer,
  // read by the caller only while the writer is idle.
  std::atomic<int> lastIndex_{-1};
  std::vector<uint8_t> scaled_;
  int width_ = 0, height_ = 0;

  mutable std::mutex mutex_;
  std::string lastError_;
  Handlers handlers_;

  std::atomic<bool> connected_{false};
  std::atomic<bool> ready_{false};
  std::atomic<bool> streaming_{false};
  std::atomic<ClientUsage> clientUsage_{ClientUsage::None};
  std::atomic<Transfer> transfer_{Transfer::None};
  std::atomic<uint64_t> written_{0}, dropped_{0}, repeated_{0};
};

}  // namespace platform
