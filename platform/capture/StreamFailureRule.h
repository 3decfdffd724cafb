#pragma once

namespace platform {

// What the capture loop makes of a failure while streaming: a failed wait or dequeue, a buffer
// the driver flagged as an error, a buffer it would not take back. Only the device's going
// (ENODEV, ENXIO, or its node gone) is an unplug; other errors (a transient EIO of the USB
// transfer) skip the buffer and streaming goes on, until a run of them without a good frame
// between ends the stream with the error named.
class StreamFailureRule {
 public:
  // Failures in a row that end the stream: a second of frames at 30 a second would come in
  // between, and an error state the driver keeps (every call failing) ends it at once.
  static constexpr int kMaxFailureRun = 10;
  // An error-flagged buffer counts as this error.
  static constexpr int kFlaggedBufferError = 5;  // EIO

  enum class Verdict { retry, skip, unplugged, ended };

  // `error` is the errno of the failed call (kFlaggedBufferError for a flagged buffer);
  // `nodePresent` tells whether the device's node still exists.
  Verdict onFailure(int error, bool nodePresent);
  // A good frame ends a run of failures.
  void onFrame() { run_ = 0; }
  int run() const { return run_; }
  // The error that ended the stream (the last one seen).
  int lastError() const { return lastError_; }

 private:
  int run_ = 0;
  int lastError_ = 0;
};

}  // namespace platform
