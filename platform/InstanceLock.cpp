#include "InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

#include "Paths.h"

namespace platform {

InstanceLock::InstanceLock(std::string path) : path_(std::move(path)) {}

InstanceLock::~InstanceLock() { unlock(); }

bool InstanceLock::tryLock() {
  if (fd_ >= 0) return true;
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void InstanceLock::unlock() {
  if (fd_ < 0) return;
  // Closing the descriptor drops the lock; the file stays for the next start.
  ::close(fd_);
  fd_ = -1;
}

std::string InstanceLock::pathFor(const std::string& name) {
  return Paths::join(Paths::runtime(), name + ".lock");
}

}  // namespace platform
