#include "FakeDeviceEventSource.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

FakeDeviceEventSource::FakeDeviceEventSource() {
  socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_);
}

FakeDeviceEventSource::~FakeDeviceEventSource() {
  for (int fd : fds_)
    if (fd >= 0) close(fd);
}

void FakeDeviceEventSource::push(const platform::DeviceEvent& event) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
  }
  char c = 1;
  [[maybe_unused]] auto n = write(fds_[1], &c, 1);
}

void FakeDeviceEventSource::plugVideo(const std::string& node) {
  push({"add", "video4linux", "/dev/" + node, "/sys/devices/virtual/video4linux/" + node});
}

std::optional<platform::DeviceEvent> FakeDeviceEventSource::receive() {
  char c;
  if (read(fds_[0], &c, 1) != 1) return std::nullopt;
  std::lock_guard lock(mutex_);
  if (events_.empty()) return std::nullopt;
  platform::DeviceEvent event = events_.front();
  events_.pop_front();
  return event;
}

}  // namespace testsupport
