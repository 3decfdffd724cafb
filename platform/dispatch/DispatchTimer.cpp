#include "dispatch/DispatchTimer.h"

#include <mutex>

namespace platform {

struct DispatchTimer::State : std::enable_shared_from_this<DispatchTimer::State> {
  Queue* queue;
  Clock* clock;
  mutable std::mutex mutex;
  Task handler;
  Clock::Duration deadline{0};
  Clock::Duration interval{0};
  Clock::Duration leeway{0};
  Clock::TimePoint next;
  Clock::TimerId timerId = 0;
  uint64_t generation = 0;  // bumped by cancel and reschedule, so stale firings do nothing
  bool running = false;
  bool cancelled = false;
  bool handlerQueued = false;

  void arm(std::unique_lock<std::mutex>&) {
    std::weak_ptr<State> weak = shared_from_this();
    uint64_t gen = generation;
    timerId = clock->callAt(next, [weak, gen] {
      if (auto self = weak.lock()) self->fire(gen);
    });
  }

  void fire(uint64_t gen) {
    std::unique_lock lock(mutex);
    if (gen != generation || !running) return;
    if (!handlerQueued) {
      handlerQueued = true;
      std::weak_ptr<State> weak = shared_from_this();
      queue->async([weak, gen] {
        auto self = weak.lock();
        if (!self) return;
        Task task;
        {
          std::lock_guard inner(self->mutex);
          self->handlerQueued = false;
          if (gen != self->generation || self->cancelled) return;
          task = self->handler;
        }
        if (task) task();
      });
    }
    if (interval.count() > 0) {
      next += interval;
      arm(lock);
    } else {
      running = false;
    }
  }
};

DispatchTimer::DispatchTimer(Queue& queue, Clock& clock) : state_(std::make_shared<State>()) {
  state_->queue = &queue;
  state_->clock = &clock;
}

DispatchTimer::~DispatchTimer() { cancel(); }

void DispatchTimer::setEventHandler(Task handler) {
  std::lock_guard lock(state_->mutex);
  state_->handler = std::move(handler);
}

void DispatchTimer::schedule(Clock::Duration deadline, Clock::Duration interval,
                             Clock::Duration leeway) {
  Clock::TimerId old = 0;
  {
    std::unique_lock lock(state_->mutex);
    state_->deadline = deadline;
    state_->interval = interval;
    state_->leeway = leeway;
    if (state_->running) {
      ++state_->generation;
      old = state_->timerId;
      state_->next = state_->clock->now() + deadline;
      state_->arm(lock);
    }
  }
  if (old) state_->clock->cancel(old);
}

void DispatchTimer::resume() {
  std::unique_lock lock(state_->mutex);
  if (state_->running || state_->cancelled) return;
  state_->running = true;
  state_->next = state_->clock->now() + state_->deadline;
  state_->arm(lock);
}

void DispatchTimer::cancel() {
  Clock::TimerId id;
  {
    std::lock_guard lock(state_->mutex);
    state_->cancelled = true;
    state_->running = false;
    ++state_->generation;
    id = state_->timerId;
    state_->timerId = 0;
  }
  if (id) state_->clock->cancel(id);
}

bool DispatchTimer::isCancelled() const {
  std::lock_guard lock(state_->mutex);
  return state_->cancelled;
}

bool DispatchTimer::isRunning() const {
  std::lock_guard lock(state_->mutex);
  return state_->running;
}

Clock::Duration DispatchTimer::leeway() const {
  std::lock_guard lock(state_->mutex);
  return state_->leeway;
}

}  // namespace platform
