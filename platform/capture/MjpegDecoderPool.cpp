#include "capture/MjpegDecoderPool.h"

#include <pthread.h>

#include "capture/MjpegDecoder.h"
#include "dispatch/ThreadStart.h"

namespace platform {

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
    // The bytes go into a buffer a finished job left behind: no allocation per frame.
    std::vector<uint8_t> data;
    if (!spare_.empty()) {
      data = std::move(spare_.back());
      spare_.pop_back();
    }
    data.assign(jpeg, jpeg + size);
    jobs_.push_back({nextSeq_++, std::move(data), timestampUs});
  }
  wake_.notify_one();
  return true;
}

void MjpegDecoderPool::run() {
  // Named for the profile: its CPU is the decode's, apart from the capture thread's.
  pthread_setname_np(pthread_self(), "mjpeg decode");
  MjpegDecoder decoder;
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
    std::string problem;
    if (auto frame = buffers_.get()) {
      switch (decoder.decode(job.data.data(), job.data.size(), *frame)) {
        case MjpegDecoder::Status::decoded:
          result.frame = frame;
          break;
        case MjpegDecoder::Status::corrupt:
          problem = "corrupt MJPEG frame dropped";
          break;
        case MjpegDecoder::Status::otherSize:
          problem = "MJPEG frame of " + std::to_string(decoder.width()) + "x" +
                    std::to_string(decoder.height()) + " in a " + std::to_string(width_) + "x" +
                    std::to_string(height_) + " stream dropped";
          break;
      }
    } else {
      problem = "every frame buffer is in use: frame dropped";
    }
    if (!problem.empty() && log_) log_(problem);
    finish(job.seq, std::move(result), std::move(job.data));
  }
}

void MjpegDecoderPool::finish(uint64_t seq, Result result, std::vector<uint8_t> data) {
  std::lock_guard lock(mutex_);
  --busy_;
  spare_.push_back(std::move(data));
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
