#pragma once

#include <sys/types.h>

#include <cstddef>

namespace platform {

// The calls the capture layer makes on video devices, so a test can answer them instead of
// the kernel. Each returns what the system call returns; failures set errno.
class V4l2Api {
 public:
  virtual ~V4l2Api() = default;
  virtual int open(const char* path, int flags) = 0;
  virtual int close(int fd) = 0;
  virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual void* mmap(size_t length, int fd, off_t offset) = 0;
  virtual int munmap(void* address, size_t length) = 0;
  // Waits until the device has a buffer ready or `wakeFd` becomes readable, at most timeoutMs.
  // 1: the device is ready, 0: time-out or woken, -1: failure (errno).
  virtual int waitReadable(int fd, int wakeFd, int timeoutMs) = 0;
  // Writes a frame to an output device; returns the bytes written (possibly fewer) or -1.
  virtual ssize_t write(int fd, const void* data, size_t size) {
    (void)fd;
    (void)data;
    (void)size;
    return -1;
  }

  // The kernel's implementation.
  static V4l2Api& system();
};

}  // namespace platform
