#pragma once

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "udev/DeviceEvent.h"

namespace platform {

// Hot-plug for the programs: reads device events when the event loop sees the source readable
// and hands each to the subscribers of its subsystem and action on the main queue. One monitor
// serves the camera search, the virtual-camera sink and whoever else watches devices.
class DeviceMonitor : public QObject {
 public:
  using Handler = std::function<void(const DeviceEvent&)>;
  using SubscriptionId = uint64_t;

  // The program's monitor over udev (video4linux, usb, hidraw); made on first use on the main
  // thread. Where udev cannot be reached it logs once and never delivers.
  static DeviceMonitor& shared();
  // The process's monitor listens to `source` instead of udev (a simulated device's events);
  // only before the first use of shared().
  static void useSource(std::unique_ptr<DeviceEventSource> source);

  // Without a source the monitor delivers nothing.
  explicit DeviceMonitor(std::unique_ptr<DeviceEventSource> source, QObject* parent = nullptr);
  ~DeviceMonitor() override;

  // Empty `action` matches every action.
  SubscriptionId subscribe(const std::string& subsystem, const std::string& action,
                           Handler handler);
  void unsubscribe(SubscriptionId id);
  size_t subscriberCount() const { return subscribers_.size(); }
  bool isMonitoring() const { return source_ != nullptr; }

  // Reads every waiting event and posts each matching delivery to the main queue; the socket
  // notifier calls it, tests may too.
  void readPending();

 private:
  struct Subscriber {
    std::string subsystem;
    std::string action;
    Handler handler;
  };

  std::unique_ptr<DeviceEventSource> source_;
  QPointer<QSocketNotifier> notifier_;
  std::map<SubscriptionId, Subscriber> subscribers_;
  SubscriptionId nextId_ = 1;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace platform
