#pragma once

#include <deque>
#include <mutex>

#include "udev/DeviceEvent.h"

namespace testsupport {

// Device events the test pushes: each makes the descriptor readable, as the kernel's netlink
// socket becomes readable when udev has an event.
class FakeDeviceEventSource : public platform::DeviceEventSource {
 public:
  FakeDeviceEventSource();
  ~FakeDeviceEventSource() override;

  void push(const platform::DeviceEvent& event);
  // A video4linux "add" of /dev/<node>.
  void plugVideo(const std::string& node = "video7");

  int fd() const override { return fds_[0]; }
  std::optional<platform::DeviceEvent> receive() override;

 private:
  int fds_[2] = {-1, -1};
  std::mutex mutex_;
  std::deque<platform::DeviceEvent> events_;
};

}  // namespace testsupport
