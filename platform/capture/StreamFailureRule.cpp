#include "capture/StreamFailureRule.h"

#include <cerrno>

namespace platform {

static_assert(StreamFailureRule::kFlaggedBufferError == EIO);

StreamFailureRule::Verdict StreamFailureRule::onFailure(int error, bool nodePresent) {
  // Nothing is ready yet, or a signal came: no failure at all.
  if (error == EAGAIN || error == EINTR) return Verdict::retry;
  lastError_ = error;
  if (error == ENODEV || error == ENXIO || !nodePresent) return Verdict::unplugged;
  return ++run_ >= kMaxFailureRun ? Verdict::ended : Verdict::skip;
}

}  // namespace platform
