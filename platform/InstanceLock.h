#pragma once

#include <string>

namespace platform {

// One running instance of a program per user: an exclusive advisory lock (flock) on a file in
// the runtime folder. The kernel drops the lock with the process, also when it crashes, so no
// stale pid file can keep the next start out. The descriptor is not inherited by programs this
// one starts.
class InstanceLock {
 public:
  explicit InstanceLock(std::string path);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // True when this object holds the lock now (taken, or held already); false while another
  // process holds it, or when the file cannot be opened.
  bool tryLock();
  bool isLocked() const { return fd_ >= 0; }
  void unlock();
  const std::string& path() const { return path_; }

  // <runtime folder>/<name>.lock
  static std::string pathFor(const std::string& name);

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace platform
