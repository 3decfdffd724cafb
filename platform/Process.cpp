#include "Process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace platform {

namespace {

pid_t start(const std::vector<std::string>& argv, bool newSession) {
  if (argv.empty() || argv[0].empty()) return -1;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (newSession) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], nullptr, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  return rc == 0 ? pid : -1;
}

int waitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int Process::run(const std::vector<std::string>& argv) {
  pid_t pid = start(argv, false);
  return pid < 0 ? -1 : waitFor(pid);
}

bool Process::spawnDetached(const std::vector<std::string>& argv) {
  return spawnDetached(argv, nullptr);
}

bool Process::spawnDetached(const std::vector<std::string>& argv,
                            std::function<void(int status)> ended) {
  pid_t pid = start(argv, true);
  if (pid < 0) return false;
  std::thread([pid, ended = std::move(ended)] {
    int status = waitFor(pid);
    if (ended) ended(status);
  }).detach();
  return true;
}

std::string Process::findProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    std::string folder = folders.substr(start, end == std::string::npos ? end : end - start);
    if (!folder.empty()) {
      std::string candidate = folder + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return {};
}

}  // namespace platform
