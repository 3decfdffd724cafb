#pragma once

#include <functional>

namespace platform {

using Task = std::function<void()>;

// Something that runs tasks: a serial queue, the main queue or the global pool.
class Queue {
 public:
  virtual ~Queue() = default;
  virtual void async(Task task) = 0;
  // Runs the task and waits for it; a call from the queue's own thread runs it inline.
  virtual void sync(Task task) = 0;
};

}  // namespace platform
