#include "update/SystemMassStorageVolumes.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <thread>

#include "QD4718Log.h"

extern char** environ;

namespace qd4718 {

namespace {

std::string unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        out.push_back(static_cast<char>(std::stoi(digits, nullptr, 8)));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

// Runs a program with an argument vector (never through a shell); true when it exits with 0.
bool run(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

SystemMassStorageVolumes::SystemMassStorageVolumes(std::string mountInfoPath)
    : mountInfoPath_(std::move(mountInfoPath)) {}

void SystemMassStorageVolumes::settle() { std::this_thread::sleep_for(kSettleTime); }

std::vector<SystemMassStorageVolumes::Mount> SystemMassStorageVolumes::parseMountInfo(
    const std::string& text) {
  std::vector<Mount> out;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    // id parent major:minor root mount-point options [optional fields] - type source options
    std::istringstream fields(line);
    std::vector<std::string> f;
    for (std::string word; fields >> word;) f.push_back(word);
    size_t dash = 0;
    for (size_t i = 6; i < f.size(); ++i) {
      if (f[i] == "-") {
        dash = i;
        break;
      }
    }
    if (f.size() < 7 || dash == 0 || dash + 2 >= f.size()) continue;
    std::string source = unescape(f[dash + 2]);
    if (source.rfind("/dev/", 0) != 0) continue;
    out.push_back(Mount{source, unescape(f[4])});
  }
  return out;
}

std::vector<SystemMassStorageVolumes::Mount> SystemMassStorageVolumes::mounts() const {
  std::ifstream in(mountInfoPath_);
  std::stringstream text;
  text << in.rdbuf();
  return parseMountInfo(text.str());
}

std::vector<std::string> SystemMassStorageVolumes::mountedVolumes() {
  std::vector<std::string> roots;
  for (const auto& m : mounts()) roots.push_back(m.root);
  return roots;
}

bool SystemMassStorageVolumes::eject(const std::string& root) {
  std::string source;
  for (const auto& m : mounts()) {
    if (m.root == root) source = m.source;
  }
  if (source.empty()) {
    QD4718_LOG_ERROR("No mounted volume at " + root);
    return false;
  }
  ::sync();
  bool done = false;
  if (access("/usr/bin/udisksctl", X_OK) == 0) {
    done = run({"/usr/bin/udisksctl", "unmount", "--no-user-interaction", "-b", source});
  }
  if (!done) done = run({"/usr/bin/umount", root});
  if (!done) QD4718_LOG_ERROR("Cannot unmount " + root + " (" + source + ")");
  return done;
}

}  // namespace qd4718
