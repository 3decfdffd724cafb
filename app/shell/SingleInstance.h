#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "InstanceLock.h"

class QLocalServer;

namespace corvane {

// Keeps one instance of the program per user. The first start holds the instance lock and
// listens on a local socket beside it; a later start asks it to bring its window forward and
// ends. A start that finds the lock held but nobody answering (the first instance is on its way
// out, as when the program relaunches itself) waits a while for the lock.
class SingleInstance {
 public:
  struct Environment {
    std::string lockPath;
    QString socketPath;
    // How long a start waits for a lock whose holder does not answer.
    int lockWaitMs = 10000;
    int answerWaitMs = 2000;
    // Waits about `ms` milliseconds between two tries for the lock (tests count the tries).
    std::function<void(int ms)> wait;
    static Environment process();
  };

  enum class Start {
    first,     // this is the one instance: the lock is held
    answered,  // another instance runs and brings its window forward
    busy,      // another instance holds the lock and does not answer
  };

  explicit SingleInstance(Environment environment);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  Start start();
  // The first instance listens; `activate` runs on the main thread for each later start.
  bool listen(std::function<void()> activate);
  // Stops listening and lets the lock go (the process's end does that too).
  void release();

  // The request a later start sends, and the first instance's answer.
  static constexpr const char* kShowRequest = "show\n";
  static constexpr const char* kShownAnswer = "shown\n";

 private:
  bool askRunningInstance();

  Environment env_;
  platform::InstanceLock lock_;
  std::unique_ptr<QLocalServer> server_;
};

}  // namespace corvane
