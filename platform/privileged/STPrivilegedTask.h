#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/Clock.h"
#include "dispatch/DispatchTimer.h"
#include "dispatch/Queue.h"

namespace platform {

// Runs a tool with administrator rights through pkexec: an absolute tool path and an argument
// vector, never a shell string. The tool's standard output is collected while it runs, so a
// talkative tool can never stall on a full pipe.
class STPrivilegedTask {
 public:
  // Status codes of launch().
  static constexpr int kSuccess = 0;
  static constexpr int kUserCanceled = -60006;  // the password prompt was dismissed
  static constexpr int kNotAvailable = -70001;  // no pkexec on this system
  static constexpr int kLaunchFailed = -70002;  // fork or exec failed
  // terminationStatus() when the tool's end could not be observed (waitpid failed).
  static constexpr int kUnknownOutcome = -70003;
  static constexpr const char* kDidTerminateNotification =
      "STPrivilegedTaskDidTerminateNotification";

  STPrivilegedTask();
  explicit STPrivilegedTask(std::string launchPath);
  STPrivilegedTask(std::string launchPath, std::vector<std::string> arguments);
  STPrivilegedTask(std::string launchPath, std::vector<std::string> arguments,
                   std::string currentDirectory);
  ~STPrivilegedTask();

  static std::unique_ptr<STPrivilegedTask> launchedPrivilegedTaskWithLaunchPath(
      std::string launchPath, std::vector<std::string> arguments = {},
      std::string currentDirectory = {});

  // 0 when the tool started. A second launch while it runs starts nothing and returns 0.
  int launch();
  // Blocks until the tool has ended.
  void waitUntilExit();
  // Does nothing: a privileged child is not ours to signal.
  void terminate() {}

  static bool authorizationFunctionAvailable();
  // The helper that asks for rights; tests put a stand-in here. Empty restores pkexec.
  static void setElevationToolPath(const std::string& path);
  static std::string elevationToolPath();

  std::string description() const;
  const std::string& launchPath() const { return launchPath_; }
  const std::vector<std::string>& arguments() const { return arguments_; }
  const std::string& currentDirectoryPath() const { return currentDirectoryPath_; }
  bool isRunning() const { return running_; }
  pid_t processIdentifier() const { return pid_; }
  // The tool's exit status; pkexec's 126 (prompt dismissed) reads as kUserCanceled, a tool
  // ended by signal n as 128 + n, an end that could not be observed as kUnknownOutcome.
  int terminationStatus() const { return terminationStatus_; }
  // All the tool wrote to standard output (complete once it has ended).
  std::string output() const;

  // Called on `queue` when the tool ends, after the status is stored.
  void setTerminationHandler(std::function<void(STPrivilegedTask&)> handler, Queue* queue);
  // Checks the child every `interval` on the handler's queue (the launching thread's loop).
  void setStatusCheckInterval(Clock::Duration interval) { checkInterval_ = interval; }

  // Looks at the child once; true when it has ended (and everything is stored).
  bool checkStatus();

 private:
  // The wait status, or none when waitpid could not give it.
  void finish(std::optional<int> status);

  std::string launchPath_;
  std::vector<std::string> arguments_;
  std::string currentDirectoryPath_;
  std::atomic<bool> running_{false};
  pid_t pid_ = -1;
  int terminationStatus_ = 0;
  int outputFd_ = -1;
  std::thread reader_;
  mutable std::mutex outputMutex_;
  std::string output_;
  std::function<void(STPrivilegedTask&)> terminationHandler_;
  Queue* handlerQueue_ = nullptr;
  Clock::Duration checkInterval_ = std::chrono::milliseconds(50);
  std::unique_ptr<DispatchTimer> statusTimer_;
};

}  // namespace platform
