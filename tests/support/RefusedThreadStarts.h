#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "dispatch/ThreadStart.h"

namespace testsupport {

// A system that has no room for more threads, as under a memory limit: while it lives, thread
// starts past the first `allowed` are refused with the system's own reason. What the refused
// starts told ThreadStart::cannotGoOn is kept, in place of the program's way out, unless the
// test keeps that way out (`keepWayOut`) to see it taken.
class RefusedThreadStarts {
 public:
  explicit RefusedThreadStarts(int allowed = 0, bool keepWayOut = false)
      : state_(std::make_shared<State>()), keptWayOut_(keepWayOut) {
    state_->allowed = allowed;
    platform::ThreadStart::setRefuser([state = state_]() -> std::optional<std::string> {
      if (state->allowed.fetch_sub(1) > 0) return std::nullopt;
      ++state->refused;
      return std::string("Resource temporarily unavailable");
    });
    if (keepWayOut) return;
    platform::ThreadStart::setCannotGoOn(
        [state = state_](const std::string& what, const std::string&) {
          ++state->cannotGoOn;
          state->lastWhat = what;
        });
  }
  ~RefusedThreadStarts() {
    platform::ThreadStart::setRefuser({});
    if (!keptWayOut_) platform::ThreadStart::setCannotGoOn({});
  }
  RefusedThreadStarts(const RefusedThreadStarts&) = delete;
  RefusedThreadStarts& operator=(const RefusedThreadStarts&) = delete;

  int refused() const { return state_->refused.load(); }
  int cannotGoOn() const { return state_->cannotGoOn.load(); }
  std::string lastCannotGoOn() const { return state_->lastWhat; }

 private:
  struct State {
    std::atomic<int> allowed{0};
    std::atomic<int> refused{0};
    std::atomic<int> cannotGoOn{0};
    std::string lastWhat;
  };
  std::shared_ptr<State> state_;
  bool keptWayOut_;
};

}  // namespace testsupport
