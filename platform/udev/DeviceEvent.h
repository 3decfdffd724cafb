#pragma once

#include <optional>
#include <string>

namespace platform {

// One kernel device event as udev reports it ("add", "remove", "change", ...).
struct DeviceEvent {
  std::string action;
  std::string subsystem;
  std::string devnode;  // /dev/videoN, empty for devices without a node
  std::string syspath;
};

// Where device events come from: a descriptor that becomes readable when events wait, and a
// non-blocking read of the next one. The udev backend is the program's; tests write their own.
class DeviceEventSource {
 public:
  virtual ~DeviceEventSource() = default;
  virtual int fd() const = 0;
  // The next waiting event, or none when nothing waits.
  virtual std::optional<DeviceEvent> receive() = 0;
};

}  // namespace platform
