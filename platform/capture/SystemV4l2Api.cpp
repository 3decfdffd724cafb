#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "capture/V4l2Api.h"

namespace platform {

namespace {

class SystemV4l2Api : public V4l2Api {
 public:
  int open(const char* path, int flags) override { return ::open(path, flags | O_CLOEXEC); }
  int close(int fd) override { return ::close(fd); }
  int ioctl(int fd, unsigned long request, void* arg) override {
    int r;
    do {
      r = ::ioctl(fd, request, arg);
    } while (r == -1 && errno == EINTR);
    return r;
  }
  void* mmap(size_t length, int fd, off_t offset) override {
    void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
    return p == MAP_FAILED ? nullptr : p;
  }
  int munmap(void* address, size_t length) override { return ::munmap(address, length); }
  ssize_t write(int fd, const void* data, size_t size) override {
    ssize_t r;
    do {
      r = ::write(fd, data, size);
    } while (r == -1 && errno == EINTR);
    return r;
  }
  int waitReadable(int fd, int wakeFd, int timeoutMs) override {
    struct pollfd fds[2] = {{fd, POLLIN | POLLPRI, 0}, {wakeFd, POLLIN, 0}};
    int r;
    do {
      r = ::poll(fds, wakeFd >= 0 ? 2 : 1, timeoutMs);
    } while (r == -1 && errno == EINTR);
    if (r < 0) return -1;
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      errno = ENODEV;
      return -1;
    }
    return (fds[0].revents & (POLLIN | POLLPRI)) ? 1 : 0;
  }
};

}  // namespace

V4l2Api& V4l2Api::system() {
  static SystemV4l2Api api;
  return api;
}

}  // namespace platform
