#include "InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "Ownership.h"
#include "Paths.h"

namespace platform {

InstanceLock::InstanceLock(std::string path) : path_(std::move(path)) {}

InstanceLock::~InstanceLock() { unlock(); }

InstanceLock::Result InstanceLock::tryLock() {
  if (fd_ >= 0) return Result::locked;
  problem_.clear();
  if (path_.empty()) return fail("no lock file");
  // Not through a link: the lock would be a file somebody else chose.
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) {
    if (errno == ELOOP) return fail("a symbolic link");
    return fail(std::strerror(errno));
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    std::string reason = std::strerror(errno);
    ::close(fd);
    return fail(reason);
  }
  // A file another user made there would let that user hold it.
  if (std::string problem = Ownership::fileProblem(st, ::getuid()); !problem.empty()) {
    ::close(fd);
    return fail(problem);
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return Result::held;
    return fail(std::strerror(error));
  }
  fd_ = fd;
  return Result::locked;
}

InstanceLock::Result InstanceLock::fail(const std::string& reason) {
  problem_ = path_ + ": " + reason;
  return Result::failed;
}

void InstanceLock::unlock() {
  if (fd_ < 0) return;
  // Closing the descriptor drops the lock; the file stays for the next start.
  ::close(fd_);
  fd_ = -1;
}

std::optional<std::string> InstanceLock::pathFor(const std::string& name, std::string* refused) {
  auto folder = Paths::runtime(refused);
  if (!folder) return std::nullopt;
  return Paths::join(*folder, name + ".lock");
}

}  // namespace platform
