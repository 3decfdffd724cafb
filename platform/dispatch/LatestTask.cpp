#include "dispatch/LatestTask.h"

#include <utility>

namespace platform {

LatestTask::LatestTask() : state_(std::make_shared<State>()) {}

bool LatestTask::submit(Queue& queue, Task task) {
  if (!task) return false;
  Task replaced;  // released outside the lock: it may hold a frame's last reference
  bool runnerQueued;
  {
    std::lock_guard lock(state_->mutex);
    replaced = std::exchange(state_->task, std::move(task));
    runnerQueued = std::exchange(state_->queued, true);
  }
  if (!runnerQueued) {
    // Dropped by its queue without running (a queue emptied at quit), the runner frees the
    // slot, so that a later task is queued again instead of waiting for it.
    struct Runner {
      std::shared_ptr<State> state;
      bool ran = false;
      Task take() {
        ran = true;
        std::lock_guard lock(state->mutex);
        state->queued = false;
        return std::exchange(state->task, nullptr);
      }
      ~Runner() {
        if (ran) return;
        Task dropped;
        std::lock_guard lock(state->mutex);
        state->queued = false;
        dropped = std::exchange(state->task, nullptr);
      }
    };
    auto runner = std::make_shared<Runner>();
    runner->state = state_;
    queue.async([runner] {
      if (Task run = runner->take()) run();
    });
  }
  return bool(replaced);
}

bool LatestTask::discard() {
  Task dropped;
  std::lock_guard lock(state_->mutex);
  dropped = std::exchange(state_->task, nullptr);
  return bool(dropped);
}

bool LatestTask::waiting() const {
  std::lock_guard lock(state_->mutex);
  return bool(state_->task);
}

}  // namespace platform
