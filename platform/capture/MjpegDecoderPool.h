#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/FrameBufferPool.h"

namespace platform {

// Decodes MJPEG frames to NV12 on a few workers (each with its own MjpegDecoder) and hands them
// on in the order they came.
// When every worker is busy the newest frame is dropped (late frames are worth nothing to a
// live picture); a frame that does not decode is dropped with a log line.
class MjpegDecoderPool {
 public:
  // Called in frame order, from a worker thread.
  using Output = std::function<void(const PixelBufferRef& frame, int64_t timestampUs)>;
  using Log = std::function<void(const std::string&)>;

  MjpegDecoderPool(int workers, int width, int height, Output output, Log log = nullptr);
  ~MjpegDecoderPool();

  // False when the frame was dropped because every worker is busy.
  bool submit(const uint8_t* jpeg, size_t size, int64_t timestampUs);
  // Waits until every submitted frame has been handed on or dropped.
  void drain();

  uint64_t decoded() const;
  uint64_t dropped() const;
  uint64_t corrupt() const;

 private:
  struct Job {
    uint64_t seq;
    std::vector<uint8_t> data;
    int64_t timestamp;
  };
  struct Result {
    PixelBufferRef frame;
    int64_t timestamp;
  };
  void run();
  void finish(uint64_t seq, Result result, std::vector<uint8_t> data);

  int width_, height_;
  int workers_;
  Output output_;
  Log log_;
  FrameBufferPool buffers_;
  mutable std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::deque<Job> jobs_;
  std::vector<std::vector<uint8_t>> spare_;  // byte buffers of finished jobs, for the next
  int busy_ = 0;
  uint64_t nextSeq_ = 0, nextOut_ = 0;
  std::map<uint64_t, Result> done_;
  uint64_t decoded_ = 0, dropped_ = 0, corrupt_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace platform
