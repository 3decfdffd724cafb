#pragma once

#include <memory>
#include <string>
#include <thread>

#include "dispatch/Queue.h"

namespace platform {

// A named queue running its tasks one after another, in order, on its own thread.
// Destroying the queue runs the tasks already queued, then joins its thread, the way a
// dispatch queue lives on until its pending blocks are done. A queue whose thread cannot be
// started (the system has no room for it) runs nothing: it tells ThreadStart::cannotGoOn, drops
// what it is given, and sync() returns at once, so no caller waits forever on it.
class SerialQueue : public Queue {
 public:
  explicit SerialQueue(std::string label);
  ~SerialQueue() override;
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  void async(Task task) override;
  void sync(Task task) override;
  // Waits until every task queued before this call has run.
  void drain();
  // Drops the tasks that have not started (they never run) and returns how many; the one
  // running goes on. A quit's way out: with drain() after it, it waits for one task at most.
  size_t discardPending();

  const std::string& label() const;
  // False when its thread could not be started.
  bool running() const;
  bool isCurrent() const;
  size_t pendingCount() const;

 private:
  struct State;
  static void run(const std::shared_ptr<State>& state);
  std::shared_ptr<State>
      state_;  // shared with the thread, which may outlive a self-destroying queue
  std::thread thread_;
};

}  // namespace platform
