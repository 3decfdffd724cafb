#include "BoundedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

bool fail(std::string* error, const std::string& path, const std::string& why) {
  if (error) *error = path + ": " + why;
  return false;
}

// Opened without blocking (a FIFO would wait for a writer) and checked to be a regular file.
int openRegular(const std::string& path, struct stat& st, std::string* error) {
  if (path.empty()) {
    fail(error, "(no file)", "no path");
    return -1;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    fail(error, path, std::strerror(errno));
    return -1;
  }
  if (::fstat(fd, &st) != 0) {
    int e = errno;
    ::close(fd);
    fail(error, path, std::strerror(e));
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    fail(error, path, S_ISDIR(st.st_mode) ? "is a folder, not a file" : "is not a regular file");
    return -1;
  }
  return fd;
}

}  // namespace

bool BoundedFile::isRegularFile(const std::string& path, std::string* error) {
  struct stat st {};
  int fd = openRegular(path, st, error);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool BoundedFile::read(const std::string& path, size_t maxBytes, std::string& out,
                       std::string* error) {
  struct stat st {};
  int fd = openRegular(path, st, error);
  if (fd < 0) return false;
  auto tooLarge = [&] {
    ::close(fd);
    return fail(error, path, "is larger than " + std::to_string(maxBytes) + " bytes");
  };
  if (uint64_t(st.st_size) > maxBytes) return tooLarge();
  std::string text;
  text.reserve(size_t(st.st_size));
  char buf[16384];
  // The size may grow while we read: the bound holds for the bytes read, not the size seen.
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int e = errno;
      ::close(fd);
      return fail(error, path, std::strerror(e));
    }
    if (n == 0) break;
    if (text.size() + size_t(n) > maxBytes) return tooLarge();
    text.append(buf, size_t(n));
  }
  ::close(fd);
  out = std::move(text);
  return true;
}

}  // namespace platform
