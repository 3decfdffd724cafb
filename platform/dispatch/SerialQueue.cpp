#include "dispatch/SerialQueue.h"

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>

#include "dispatch/ThreadStart.h"

namespace platform {

struct SerialQueue::State {
  std::string label;
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Task> tasks;
  bool stopping = false;
  bool running = true;
  std::thread::id threadId;
};

SerialQueue::SerialQueue(std::string label) : state_(std::make_shared<State>()) {
  state_->label = std::move(label);
  std::promise<void> started;
  auto ready = started.get_future();
  auto refused = ThreadStart::start(thread_, [state = state_, &started] {
    {
      std::lock_guard lock(state->mutex);
      state->threadId = std::this_thread::get_id();
    }
    started.set_value();
    run(state);
  });
  if (refused) {
    state_->running = false;
    ThreadStart::cannotGoOn(state_->label, *refused);
    return;
  }
  ready.wait();
}

SerialQueue::~SerialQueue() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_all();
  if (!thread_.joinable()) {
    discardPending();
  } else if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();  // destroyed by its own task: the thread ends once the queue is empty
  } else {
    thread_.join();
  }
}

void SerialQueue::async(Task task) {
  if (!task) return;
  // The task may destroy the queue before this returns: hold the state, not `this`.
  std::shared_ptr<State> state = state_;
  if (!state->running) return;  // nothing would ever run it
  {
    std::lock_guard lock(state->mutex);
    state->tasks.push_back(std::move(task));
  }
  state->wake.notify_one();
}

void SerialQueue::sync(Task task) {
  if (!task || !state_->running) return;
  if (isCurrent()) {
    task();
    return;
  }
  // Told when the queued task is gone, whether it ran or was discarded unrun.
  struct Done {
    std::promise<void> promise;
    ~Done() { promise.set_value(); }
  };
  auto done = std::make_shared<Done>();
  auto finished = done->promise.get_future();
  async([&task, done] { task(); });
  done.reset();
  finished.wait();
}

void SerialQueue::drain() {
  sync([] {});
}

const std::string& SerialQueue::label() const { return state_->label; }

bool SerialQueue::running() const { return state_->running; }

bool SerialQueue::isCurrent() const { return state_->threadId == std::this_thread::get_id(); }

size_t SerialQueue::discardPending() {
  std::deque<Task> dropped;  // released outside the lock: a task's captures may queue again
  {
    std::lock_guard lock(state_->mutex);
    dropped.swap(state_->tasks);
  }
  return dropped.size();
}

size_t SerialQueue::pendingCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->tasks.size();
}

void SerialQueue::run(const std::shared_ptr<State>& s) {
  pthread_setname_np(pthread_self(), s->label.substr(0, 15).c_str());
  for (;;) {
    Task task;
    {
      std::unique_lock lock(s->mutex);
      s->wake.wait(lock, [&] { return s->stopping || !s->tasks.empty(); });
      if (s->tasks.empty()) return;  // stopping and nothing left
      task = std::move(s->tasks.front());
      s->tasks.pop_front();
    }
    task();
  }
}

}  // namespace platform
