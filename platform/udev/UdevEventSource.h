#pragma once

#include <memory>
#include <string>
#include <vector>

#include "udev/DeviceEvent.h"

struct udev;
struct udev_monitor;

namespace platform {

// Device events of the given subsystems from udev's netlink monitor (events after udev has
// processed them, so the device node exists and its permissions are set).
class UdevEventSource : public DeviceEventSource {
 public:
  // None (with the reason in `error`) when udev cannot be reached, as in some containers.
  static std::unique_ptr<UdevEventSource> open(const std::vector<std::string>& subsystems,
                                               std::string* error = nullptr);
  ~UdevEventSource() override;
  UdevEventSource(const UdevEventSource&) = delete;
  UdevEventSource& operator=(const UdevEventSource&) = delete;

  int fd() const override;
  std::optional<DeviceEvent> receive() override;

 private:
  UdevEventSource(struct udev* context, struct udev_monitor* monitor);

  struct udev* udev_;
  struct udev_monitor* monitor_;
};

}  // namespace platform
