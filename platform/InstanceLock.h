#pragma once

#include <optional>
#include <string>

namespace platform {

// One running instance of a program per user: an exclusive advisory lock (flock) on a file in
// the runtime folder. The kernel drops the lock with the process, also when it crashes, so no
// stale pid file can keep the next start out. The descriptor is not inherited by programs this
// one starts.
class InstanceLock {
 public:
  enum class Result {
    locked,  // this object holds the lock now (taken, or held already)
    held,    // another process holds it
    failed,  // there is no lock to take: the file cannot be opened, is not the user's, ...
  };

  explicit InstanceLock(std::string path);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  Result tryLock();
  // Why the last try failed ("<path>: <reason>").
  const std::string& problem() const { return problem_; }
  bool isLocked() const { return fd_ >= 0; }
  void unlock();
  const std::string& path() const { return path_; }

  // <runtime folder>/<name>.lock; none without a private runtime folder (`refused` says why,
  // also about folders passed over).
  static std::optional<std::string> pathFor(const std::string& name,
                                            std::string* refused = nullptr);

 private:
  Result fail(const std::string& reason);

  std::string path_;
  std::string problem_;
  int fd_ = -1;
};

}  // namespace platform
