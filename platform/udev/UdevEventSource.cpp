#include "udev/UdevEventSource.h"

#include <libudev.h>

namespace platform {

namespace {

std::string text(const char* s) { return s ? s : ""; }

}  // namespace

std::unique_ptr<UdevEventSource> UdevEventSource::open(const std::vector<std::string>& subsystems,
                                                       std::string* error) {
  auto fail = [error](const char* why) -> std::unique_ptr<UdevEventSource> {
    if (error) *error = why;
    return nullptr;
  };
  struct udev* context = udev_new();
  if (!context) return fail("udev_new failed");
  struct udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
  if (!monitor) {
    udev_unref(context);
    return fail("no udev netlink monitor");
  }
  for (const std::string& subsystem : subsystems)
    udev_monitor_filter_add_match_subsystem_devtype(monitor, subsystem.c_str(), nullptr);
  if (udev_monitor_enable_receiving(monitor) < 0) {
    udev_monitor_unref(monitor);
    udev_unref(context);
    return fail("the udev monitor does not receive");
  }
  return std::unique_ptr<UdevEventSource>(new UdevEventSource(context, monitor));
}

UdevEventSource::UdevEventSource(struct udev* context, struct udev_monitor* monitor)
    : udev_(context), monitor_(monitor) {}

UdevEventSource::~UdevEventSource() {
  udev_monitor_unref(monitor_);
  udev_unref(udev_);
}

int UdevEventSource::fd() const { return udev_monitor_get_fd(monitor_); }

std::optional<DeviceEvent> UdevEventSource::receive() {
  // The monitor's socket is non-blocking: none when nothing waits.
  struct udev_device* device = udev_monitor_receive_device(monitor_);
  if (!device) return std::nullopt;
  DeviceEvent event{text(udev_device_get_action(device)), text(udev_device_get_subsystem(device)),
                    text(udev_device_get_devnode(device)), text(udev_device_get_syspath(device))};
  udev_device_unref(device);
  return event;
}

}  // namespace platform
