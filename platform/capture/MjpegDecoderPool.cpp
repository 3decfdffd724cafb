#include "capture/MjpegDecoderPool.h"

#include <libyuv.h>

#include "dispatch/ThreadStart.h"

namespace platform {

namespace {
// A whole JPEG ends with the EOI marker; a frame cut short in transfer does not, and the decoder
// would only warn and paint the missing part grey.
bool endsWithEoi(const std::vector<uint8_t>& d) {
  size_t from = d.size() > 64 ? d.size() - 64 : 0;
  for (size_t i = d.size(); i-- > from + 1;) {
    if (d[i - 1] == 0xFF && d[i] == 0xD9) return true;
  }
  return false;
}
}  // namespace

MjpegDecoderPool::MjpegDecoderPool(int workers, int width, int height, Output output, Log log)
    : width_(width),
      height_(height),
      workers_(workers < 1 ? 1 : workers),
      output_(std::move(output)),
      log_(std::move(log)),
      buffers_(width, height, size_t(workers_) + 4) {
  for (int i = 0; i < workers_; ++i) {
    std::thread thread;
    if (auto refused = ThreadStart::start(thread, [this] { run(); })) {
      // Fewer decoders drop more frames; none drops them all, told here once.
      if (log_)
        log_("MJPEG decoding on " + std::to_string(i) + " of " + std::to_string(workers_) +
             " threads: no more can be started (" + *refused + ")");
      workers_ = i;
      break;
    }
    threads_.push_back(std::move(thread));
  }
}

MjpegDecoderPool::~MjpegDecoderPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& t : threads_) t.join();
}

bool MjpegDecoderPool::submit(const uint8_t* jpeg, size_t size, int64_t timestampUs) {
  {
    std::lock_guard lock(mutex_);
    if (busy_ + int(jobs_.size()) >= workers_) {
      ++dropped_;
      return false;
    }
    jobs_.push_back({nextSeq_++, std::vector<uint8_t>(jpeg, jpeg + size), timestampUs});
  }
  wake_.notify_one();
  return true;
}

void MjpegDecoderPool::run() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      ++busy_;
    }
    Result result{nullptr, job.timestamp};
    int w = 0, h = 0;
    std::string problem;
    if (!endsWithEoi(job.data) || libyuv::MJPGSize(job.data.data(), job.data.size(), &w, &h) != 0) {
      problem = "corrupt MJPEG frame dropped";
    } else if (w != width_ || h != height_) {
      problem = "MJPEG frame of " + std::to_string(w) + "x" + std::to_string(h) + " in a " +
                std::to_string(width_) + "x" + std::to_string(height_) + " stream dropped";
    } else if (auto frame = buffers_.get()) {
      if (libyuv::MJPGToNV12(job.data.data(), job.data.size(), frame->baseAddress(0),
                             int(frame->bytesPerRow(0)), frame->baseAddress(1),
                             int(frame->bytesPerRow(1)), w, h, width_, height_) == 0) {
        result.frame = frame;
      } else {
        problem = "corrupt MJPEG frame dropped";
      }
    } else {
      problem = "every frame buffer is in use: frame dropped";
    }
    if (!problem.empty() && log_) log_(problem);
    finish(job.seq, std::move(result));
  }
}

void MjpegDecoderPool::finish(uint64_t seq, Result result) {
  std::lock_guard lock(mutex_);
  --busy_;
  if (result.frame) {
    ++decoded_;
  } else {
    ++corrupt_;
  }
  done_.emplace(seq, std::move(result));
  // Hand on every frame whose predecessors are all through, in order.
  for (auto it = done_.find(nextOut_); it != done_.end(); it = done_.find(nextOut_)) {
    if (it->second.frame && output_) output_(it->second.frame, it->second.timestamp);
    done_.erase(it);
    ++nextOut_;
  }
  if (busy_ == 0 && jobs_.empty()) idle_.notify_all();
}

void MjpegDecoderPool::drain() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return busy_ == 0 && jobs_.empty(); });
}

uint64_t MjpegDecoderPool::decoded() const {
  std::lock_guard lock(mutex_);
  return decoded_;
}

uint64_t MjpegDecoderPool::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

uint64_t MjpegDecoderPool::corrupt() const {
  std::lock_guard lock(mutex_);
  return corrupt_;
}

}  // namespace platform
