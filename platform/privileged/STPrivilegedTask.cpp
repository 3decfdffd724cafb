#include "privileged/STPrivilegedTask.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "NotificationCenter.h"

namespace platform {

namespace {

std::mutex toolMutex;
std::string& toolOverride() {
  static std::string path;
  return path;
}

// What went wrong goes to the system log; what the task does, to standard output only.
void warnLine(const std::string& line) { syslog(LOG_WARNING, "%s", line.c_str()); }
void noteLine(const std::string& line) {
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
}

constexpr int kPkexecDismissed = 126;

}  // namespace

STPrivilegedTask::STPrivilegedTask() = default;

STPrivilegedTask::STPrivilegedTask(std::string launchPath) : launchPath_(std::move(launchPath)) {}

STPrivilegedTask::STPrivilegedTask(std::string launchPath, std::vector<std::string> arguments)
    : launchPath_(std::move(launchPath)), arguments_(std::move(arguments)) {}

STPrivilegedTask::STPrivilegedTask(std::string launchPath, std::vector<std::string> arguments,
                                   std::string currentDirectory)
    : launchPath_(std::move(launchPath)),
      arguments_(std::move(arguments)),
      currentDirectoryPath_(std::move(currentDirectory)) {}

STPrivilegedTask::~STPrivilegedTask() {
  if (statusTimer_) statusTimer_->cancel();
  if (running_) waitUntilExit();
  if (reader_.joinable()) reader_.join();
}

std::unique_ptr<STPrivilegedTask> STPrivilegedTask::launchedPrivilegedTaskWithLaunchPath(
    std::string launchPath, std::vector<std::string> arguments, std::string currentDirectory) {
  auto task = std::make_unique<STPrivilegedTask>(std::move(launchPath), std::move(arguments),
                                                 std::move(currentDirectory));
  task->launch();
  return task;
}

void STPrivilegedTask::setElevationToolPath(const std::string& path) {
  std::lock_guard lock(toolMutex);
  toolOverride() = path;
}

std::string STPrivilegedTask::elevationToolPath() {
  std::lock_guard lock(toolMutex);
  if (!toolOverride().empty()) return toolOverride();
  for (const char* p : {"/usr/bin/pkexec", "/bin/pkexec"}) {
    if (access(p, X_OK) == 0) return p;
  }
  return {};
}

bool STPrivilegedTask::authorizationFunctionAvailable() {
  std::string tool = elevationToolPath();
  return !tool.empty() && access(tool.c_str(), X_OK) == 0;
}

std::string STPrivilegedTask::description() const {
  std::string s = "'" + launchPath_ + "'";
  for (const auto& a : arguments_) s += " " + a;
  return s + " (CWD:" + currentDirectoryPath_ + ")";
}

int STPrivilegedTask::launch() {
  if (running_) {
    warnLine("Task already running: " + description());
    return kSuccess;
  }
  if (!authorizationFunctionAvailable()) {
    warnLine("AuthorizationExecuteWithPrivileges() function not available on this system");
    return kNotAvailable;
  }
  noteLine("toolPath: " + launchPath_);
  // pkexec wants an absolute program path and names it in its prompt, so the tool itself comes
  // right after it; the working directory is set in the child before pkexec starts.
  std::string tool = elevationToolPath();
  std::vector<std::string> argv = {tool, launchPath_};
  argv.insert(argv.end(), arguments_.begin(), arguments_.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return kLaunchFailed;
  pid_t pid = fork();
  if (pid < 0) {
    close(out[0]);
    close(out[1]);
    return kLaunchFailed;
  }
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    if (!currentDirectoryPath_.empty() && chdir(currentDirectoryPath_.c_str()) != 0) _exit(127);
    execv(cargv[0], cargv.data());
    _exit(127);
  }
  close(out[1]);
  pid_ = pid;
  outputFd_ = out[0];
  {
    std::lock_guard lock(outputMutex_);
    output_.clear();
  }
  running_ = true;
  reader_ = std::thread([this, fd = outputFd_] {
    char buf[4096];
    for (;;) {
      ssize_t n = read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      std::lock_guard lock(outputMutex_);
      output_.append(buf, size_t(n));
    }
    close(fd);
  });
  if (handlerQueue_) {
    statusTimer_ = std::make_unique<DispatchTimer>(*handlerQueue_);
    statusTimer_->setEventHandler([this] { checkStatus(); });
    statusTimer_->schedule(checkInterval_, checkInterval_);
    statusTimer_->resume();
  }
  return kSuccess;
}

void STPrivilegedTask::finish(std::optional<int> status) {
  if (statusTimer_) statusTimer_->cancel();
  if (reader_.joinable()) reader_.join();  // the pipe closes when the tool ends
  if (!status) {
    // Nobody can say how the tool ended (its status was taken by someone else): that is no
    // success.
    terminationStatus_ = kUnknownOutcome;
    warnLine("Task " + description() + ": its exit status could not be read");
  } else if (WIFEXITED(*status)) {
    int code = WEXITSTATUS(*status);
    terminationStatus_ = code == kPkexecDismissed ? kUserCanceled : code;
  } else if (WIFSIGNALED(*status)) {
    terminationStatus_ = 128 + WTERMSIG(*status);
    warnLine("Task " + description() + " ended by signal " + std::to_string(WTERMSIG(*status)));
  } else {
    terminationStatus_ = kUnknownOutcome;
  }
  running_ = false;
  // Once per run, whichever way its end was noticed (status check or waiting).
  NotificationCenter::shared().post(kDidTerminateNotification, this, {});
}

bool STPrivilegedTask::checkStatus() {
  if (!running_) return true;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  finish(r == pid_ ? std::optional<int>(status) : std::nullopt);
  if (terminationHandler_) terminationHandler_(*this);
  return true;
}

void STPrivilegedTask::waitUntilExit() {
  if (!running_) {
    warnLine("Task " + description() + " is not running");
    return;
  }
  if (statusTimer_) statusTimer_->cancel();
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, 0);
  } while (r < 0 && errno == EINTR);
  finish(r == pid_ ? std::optional<int>(status) : std::nullopt);
}

std::string STPrivilegedTask::output() const {
  std::lock_guard lock(outputMutex_);
  return output_;
}

void STPrivilegedTask::setTerminationHandler(std::function<void(STPrivilegedTask&)> handler,
                                             Queue* queue) {
  terminationHandler_ = std::move(handler);
  handlerQueue_ = queue;
}

}  // namespace platform
