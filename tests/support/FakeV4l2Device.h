#pragma once

#include <linux/videodev2.h>

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "capture/V4l2Api.h"
#include "dispatch/Clock.h"

namespace testsupport {

// A V4L2 driver in memory: answers the capability, format, buffer and streaming requests the
// capture layer makes, and streams the frames a test pushes. unplug() makes every later call
// fail with ENODEV, as a removed camera does.
class FakeV4l2Device : public platform::V4l2Api {
 public:
  struct Format {
    uint32_t fourcc;
    std::vector<std::pair<int, int>> sizes;
    std::vector<int> rates = {30};
  };
  struct Node {
    std::string driver = "uvcvideo";
    std::string card = "Camera";
    std::string busInfo = "usb-0000:00:14.0-1";
    uint32_t deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    std::vector<Format> formats;
    // The loopback module's reader-count event type this node sends; 0: none (an old module).
    uint32_t clientUsageEvent = 0;
    // How an output node streams: modules from 0.14 on take memory-mapped buffers and refuse
    // STREAMON without them; a module that refuses the buffers streams by write() only, after
    // a STREAMON (as Debian 12's 0.12.7 makes its writer).
    enum class Streaming { Buffers, WriteOnly } streaming = Streaming::Buffers;
  };

  // A v4l2loopback output node carrying `label`, bus "platform:v4l2loopback-<number>", taking YUYV
  // 1280x720 (and 640x360), sending the reader count as `clientUsageEvent` (0: an old module).
  static Node loopbackNode(const std::string& label, int number, uint32_t clientUsageEvent);

  FakeV4l2Device();
  ~FakeV4l2Device() override;

  void addNode(const std::string& path, Node node);
  void pushFrame(std::vector<uint8_t> bytes);
  void unplug();
  // The device is back (a new device with the same node).
  void replug();
  // Loopback readers: sends the count to every subscriber of the node's client-usage event.
  void setClientCount(uint32_t count);
  // The next `times` writes fail with `error` (EAGAIN, EIO, ...).
  void failWrites(int error, int times = 1);
  // Every later request of this name ("S_FMT", "STREAMON") fails with `error` (EBUSY: another
  // program holds the camera); 0 lets it through again.
  void failRequest(const std::string& name, int error);
  // The next `times` capture dequeues fail with `error` (EIO: a transient USB error), the frame
  // staying queued for the dequeue after.
  void failDequeues(int error, int times = 1);
  // The next `times` frames come back flagged as errors (V4L2_BUF_FLAG_ERROR), as the driver
  // returns a buffer whose transfer went wrong.
  void flagErrorBuffers(int times = 1);
  int lastOpenFlags() const;
  v4l2_fract lastTimePerFrame() const;
  // Sizes of the writes (or queued output buffers) that took bytes, in order.
  std::vector<size_t> writeSizes() const;
  // When each output frame arrived (written or queued), on the process's clock.
  std::vector<platform::Clock::TimePoint> frameTimes() const;
  // Requests seen, by name ("S_FMT", "STREAMON", ...), in order.
  std::vector<std::string> calls() const;
  int openCount() const;
  v4l2_pix_format lastFormat() const;
  size_t pendingFrames() const;

  int open(const char* path, int flags) override;
  int close(int fd) override;
  int ioctl(int fd, unsigned long request, void* arg) override;
  void* mmap(size_t length, int fd, off_t offset) override;
  int munmap(void* address, size_t length) override;
  int waitReadable(int fd, int wakeFd, int timeoutMs) override;
  ssize_t write(int fd, const void* data, size_t size) override;

  // Output side: each write takes at most this many bytes (a partial write beyond it).
  void setWriteChunk(size_t bytes);
  std::vector<uint8_t> writtenBytes() const;
  // Keeps only the last write's bytes (a long stream of frames would fill the memory).
  void keepLastWriteOnly();

 private:
  int handle(int fd, const Node& node, unsigned long request, void* arg);
  int handleOutput(const Node& node, unsigned long request, void* arg);
  // Keeps an output frame's bytes; false with errno when a failure was asked for.
  bool takeOutputLocked(const uint8_t* data, size_t size);
  void signal();
  bool readyLocked() const;

  mutable std::mutex mutex_;
  std::map<std::string, Node> nodes_;
  std::map<int, std::string> open_;
  int nextFd_ = 1000;
  std::vector<std::string> calls_;
  v4l2_pix_format format_{};
  std::vector<std::vector<uint8_t>> buffers_;
  std::deque<uint32_t> queued_;
  std::deque<std::vector<uint8_t>> frames_;
  bool streaming_ = false;
  bool unplugged_ = false;
  uint32_t sequence_ = 0;
  int eventFd_ = -1;
  size_t writeChunk_ = SIZE_MAX;
  std::vector<uint8_t> written_;
  bool keepLastWriteOnly_ = false;
  std::vector<size_t> writeSizes_;
  std::vector<platform::Clock::TimePoint> frameTimes_;
  std::deque<uint32_t> outputDone_;  // output buffers the module has taken
  int dequeueError_ = 0;
  int dequeueFailures_ = 0;
  int errorBuffers_ = 0;
  int failError_ = 0;
  int failTimes_ = 0;
  std::map<std::string, int> failingRequests_;
  int lastOpenFlags_ = 0;
  v4l2_fract timePerFrame_{0, 0};
  uint32_t clientCount_ = 0;
  std::map<int, uint32_t> subscribed_;  // fd -> event type
  std::map<int, std::deque<v4l2_event>> events_;
};

}  // namespace testsupport
