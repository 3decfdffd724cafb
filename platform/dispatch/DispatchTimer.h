#pragma once

#include <memory>

#include "dispatch/Clock.h"
#include "dispatch/Queue.h"

namespace platform {

// A timer whose handler runs on a queue: first after `deadline`, then every `interval`
// (zero for one shot). The clock may start it up to `leeway` late. A firing that finds the
// previous handler still waiting on the queue is coalesced into it.
class DispatchTimer {
 public:
  explicit DispatchTimer(Queue& queue, Clock& clock = Clock::shared());
  ~DispatchTimer();
  DispatchTimer(const DispatchTimer&) = delete;
  DispatchTimer& operator=(const DispatchTimer&) = delete;

  void setEventHandler(Task handler);
  void schedule(Clock::Duration deadline, Clock::Duration interval,
                Clock::Duration leeway = Clock::Duration(0));
  void resume();
  // No handler starts after cancel returns; a handler already queued does nothing.
  void cancel();
  bool isCancelled() const;
  bool isRunning() const;
  Clock::Duration leeway() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace platform
