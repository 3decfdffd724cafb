#pragma once

#include <memory>
#include <mutex>

#include "dispatch/Queue.h"

namespace platform {

// A task of which only the newest matters (a frame's pass, a picture's hand-over): while one
// submitted earlier still waits on its queue, a newer one takes its place and the older never
// runs. However fast tasks come and however slowly the queue runs them, the queue holds at most
// one of this slot's tasks that has not started, at the position of the first one waiting.
class LatestTask {
 public:
  LatestTask();
  LatestTask(const LatestTask&) = delete;
  LatestTask& operator=(const LatestTask&) = delete;

  // Hands `task` to `queue` (always the same queue for one slot); true when it replaced a task
  // still waiting, which is released without running.
  bool submit(Queue& queue, Task task);
  // Drops the waiting task, if any; true when there was one.
  bool discard();
  bool waiting() const;

 private:
  struct State {
    mutable std::mutex mutex;
    Task task;             // the one waiting
    bool queued = false;  // a runner is on the queue and has not taken the task yet
  };
  std::shared_ptr<State> state_;  // shared with the runner, which may outlive the slot
};

}  // namespace platform
