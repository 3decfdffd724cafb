#pragma once

#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

#include "InstanceLock.h"
#include "dispatch/Clock.h"
#include "ipc/LogRateLimiter.h"
#include "shell/InstanceRequest.h"

class QLocalServer;
class QLocalSocket;

namespace platform {
class DispatchTimer;
}

namespace corvane {

// Keeps one instance of the program per user. The first start holds the instance lock and at
// once listens on a local socket beside it; a later start asks it to bring its window forward
// (and to play the clip it was given) and ends. The first instance answers once its window
// exists: a start at the same instant waits for that answer. A start that finds the lock held
// but nobody answering (the first instance is on its way out, as when the program relaunches
// itself) waits a while for the lock. A lock that cannot be made at all (no private runtime
// folder, a link in its place) is nobody's: that start goes on without the check.
class SingleInstance {
 public:
  struct Environment {
    std::string lockPath;  // empty: no private place for it (`lockProblem` says why)
    QString socketPath;
    std::string lockProblem;
    // How long a later start waits for the running instance's answer or for the lock.
    int lockWaitMs = 10000;
    // Waits about `ms` milliseconds between two tries (tests count the tries).
    std::function<void(int ms)> wait;
    // True when the start is to end (a signal came): every wait gives up then.
    std::function<bool()> interrupted;
    // The user whose instance is trusted: an answer from a socket of another user is not.
    uid_t user = ::getuid();
    // Times the running instance's connections (a manual clock in tests); null: the process's.
    platform::Clock* clock = nullptr;
    static Environment process();
  };

  enum class Start {
    first,        // this is the one instance: the lock is held
    answered,     // another instance runs and took the request (`answer()`)
    busy,         // another instance holds the lock and does not answer
    unchecked,    // no lock to hold, or another user's socket: this start runs without the check
    interrupted,  // a signal ended the wait
  };

  // What the running instance does for a later start, on the main thread.
  struct Handlers {
    std::function<void()> activate;
    // Plays the clip and calls `answered` once the player has opened it (empty) or refused it
    // (why), on the main thread; the later start hears the outcome, not the hand-over.
    std::function<void(const QString& clip, std::function<void(const QString& problem)> answered)>
        play;
  };

  // A connection that has not sent its request within this time is dropped.
  static constexpr platform::Clock::Duration kReadDeadline = std::chrono::seconds(3);
  // Connections open at once; more are closed as they come.
  static constexpr size_t kMaxConnections = 16;

  explicit SingleInstance(Environment environment);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  Start start(const InstanceRequest& request = InstanceRequest::show());
  // The running instance's answer after Start::answered.
  const InstanceRequest::Answer& answer() const { return answer_; }
  // Why the start went on without the check, after Start::unchecked.
  const std::string& problem() const { return problem_; }

  // The first instance listens from the moment it holds the lock; requests wait until serve().
  bool listen();
  // From now on requests are answered (those waiting at once), on the main thread.
  void serve(Handlers handlers);
  // Stops listening and lets the lock go (the process's end does that too).
  void release();

  size_t openConnections() const { return connections_.size(); }
  // Requests read that wait for serve().
  size_t waitingRequests() const { return waiting_.size(); }

 private:
  enum class Asked { answered, unanswered, foreign, interrupted };
  Asked ask(const InstanceRequest& request, int& budgetMs);
  void accept(QLocalSocket* socket);
  void readRequest(QLocalSocket* socket);
  void answer(QLocalSocket* socket, const InstanceRequest& request);
  // The answer to a play request once the clip's outcome is known.
  void answerPlay(QLocalSocket* socket, const QString& clip, const QString& problem);
  void reply(QLocalSocket* socket, const QByteArray& line);
  void drop(QLocalSocket* socket);
  // Lines about later starts, and warnings about the socket's misuse, each kind rate-limited on
  // its own (a flood of one does not hide the other).
  void logStart(const std::string& line, bool warning = false);
  void logMisuse(const std::string& line);
  void stopListening();

  Environment env_;
  platform::InstanceLock lock_;
  std::unique_ptr<QLocalServer> server_;
  bool serving_ = false;
  Handlers handlers_;
  // Open connections and the deadline of each one's request.
  std::map<QLocalSocket*, std::unique_ptr<platform::DispatchTimer>> connections_;
  // Requests read before serve(), in order.
  std::vector<std::pair<QLocalSocket*, InstanceRequest>> waiting_;
  platform::LogRateLimiter startLines_;
  platform::LogRateLimiter misuseLines_;
  InstanceRequest::Answer answer_;
  std::string problem_;
  // Outcomes of clips arrive later: they hold this weakly.
  std::shared_ptr<int> life_ = std::make_shared<int>(0);
};

}  // namespace corvane
