#pragma once

#include <deque>
#include <mutex>
#include <thread>

#include "dispatch/Queue.h"

namespace platform {

// The queue of the main thread. In the programs a poster hands each task to the Qt event loop
// (installed by QtMainQueue); without one, tasks wait in a pump that tests drain explicitly.
class MainQueue : public Queue {
 public:
  using Poster = std::function<void(Task)>;

  static MainQueue& shared();
  MainQueue();

  void setPoster(Poster poster);
  void async(Task task) override;
  // Runs inline on the main thread; from any other thread posts and waits.
  void sync(Task task) override;

  // Runs the pump's tasks, including those they queue, until none is left; returns how many ran.
  size_t drain();
  size_t pendingCount() const;

  // The thread that counts as main: the one that made the queue, unless set otherwise.
  void setMainThread(std::thread::id id);
  bool isMainThread() const;

 private:
  mutable std::mutex mutex_;
  Poster poster_;
  std::deque<Task> pump_;
  std::thread::id mainThread_;
};

}  // namespace platform
