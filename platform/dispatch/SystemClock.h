#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "dispatch/Clock.h"

namespace platform {

// Real time, with one timer thread that starts the due tasks in deadline order.
class SystemClock : public Clock {
 public:
  SystemClock();
  ~SystemClock() override;

  TimePoint now() const override;
  WallTime wallNow() const override;
  TimerId callAt(TimePoint when, Task task) override;
  void cancel(TimerId id) override;

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::multimap<TimePoint, std::pair<TimerId, Task>> timers_;
  TimerId nextId_ = 1;
  TimerId running_ = 0;
  std::condition_variable runningDone_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace platform
