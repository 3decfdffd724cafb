#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/CaptureDevice.h"
#include "capture/MjpegDecoderPool.h"
#include "capture/SampleBufferDelegate.h"
#include "capture/V4l2Api.h"
#include "dispatch/SerialQueue.h"

namespace platform {

// Streams one device with mmap buffers and hands NV12 full-range frames to a delegate on a
// serial queue. MJPEG is decoded on a worker pool, YUYV and NV12 are converted to full range.
// A frame that finds the delegate still busy with the previous one is discarded.
class CaptureSession {
 public:
  struct Options {
    int bufferCount = 4;
    int decodeWorkers = 4;
  };

  explicit CaptureSession(V4l2Api& api = V4l2Api::system());
  CaptureSession(V4l2Api& api, Options options);
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  bool canAddInput(const CaptureDevice& device) const;
  void addInput(const CaptureDevice& device);
  void setActiveFormat(const CaptureFormat& format);
  // The delegate and the queue must outlive the session (or its stopRunning).
  void setSampleBufferDelegate(SampleBufferDelegate* delegate, SerialQueue* queue);

  // Opens the device, sets the format and starts streaming; false with lastError() otherwise.
  bool startRunning();
  // Stops streaming and closes the device; waits for frames being decoded.
  void stopRunning();
  bool isRunning() const;

  // The format the driver accepted (read back after setting it).
  std::optional<CaptureFormat> acceptedFormat() const;
  std::string lastError() const;
  // Why the last start failed, as far as the user can act on it.
  enum class StartFailure { none, busy, permission, format, other };
  StartFailure lastFailure() const;
  uint64_t framesDelivered() const { return delivered_; }
  uint64_t framesDiscarded() const { return discarded_; }
  // Frames the delegate did not want, dropped before they were decoded.
  uint64_t framesThinned() const { return thinned_; }

 private:
  bool fail(const std::string& what, StartFailure kind = StartFailure::other);
  // The kind an errno of open, S_FMT or STREAMON stands for; `otherwise` for any other.
  static StartFailure failureOf(int error, StartFailure otherwise);
  void captureLoop();
  void handleBuffer(const uint8_t* data, size_t size, int64_t timestampUs);
  void deliver(const PixelBufferRef& frame, int64_t timestampUs);
  void teardown();

  V4l2Api& api_;
  Options options_;
  std::optional<CaptureDevice> device_;
  std::optional<CaptureFormat> requested_;
  std::optional<CaptureFormat> accepted_;
  SampleBufferDelegate* delegate_ = nullptr;
  SerialQueue* queue_ = nullptr;
  mutable std::mutex mutex_;
  std::string lastError_;
  StartFailure lastFailure_ = StartFailure::none;
  int fd_ = -1;
  int wakeFds_[2] = {-1, -1};
  struct Mapping {
    void* address;
    size_t length;
  };
  std::vector<Mapping> mappings_;
  std::unique_ptr<MjpegDecoderPool> decoder_;
  std::unique_ptr<FrameBufferPool> convertBuffers_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};
  std::shared_ptr<std::atomic<int>> inFlight_ = std::make_shared<std::atomic<int>>(0);
  std::atomic<uint64_t> delivered_{0};
  std::atomic<uint64_t> discarded_{0};
  std::atomic<uint64_t> thinned_{0};
};

}  // namespace platform
