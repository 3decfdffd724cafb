#include "qt/DeviceMonitor.h"

#include <cstdio>
#include <vector>

#include "dispatch/MainQueue.h"
#include "udev/UdevEventSource.h"

namespace platform {

namespace {
std::unique_ptr<DeviceEventSource>& sharedSource() {
  static std::unique_ptr<DeviceEventSource> source;
  return source;
}
}  // namespace

void DeviceMonitor::useSource(std::unique_ptr<DeviceEventSource> source) {
  sharedSource() = std::move(source);
}

DeviceMonitor& DeviceMonitor::shared() {
  // Kept for the program's life, like the event loop it listens in.
  static DeviceMonitor* monitor = [] {
    if (sharedSource()) return new DeviceMonitor(std::move(sharedSource()));
    std::string error;
    auto source = UdevEventSource::open({"video4linux", "usb", "hidraw"}, &error);
    if (!source) std::fprintf(stderr, "device monitor: %s; no hot-plug\n", error.c_str());
    return new DeviceMonitor(std::move(source));
  }();
  return *monitor;
}

DeviceMonitor::DeviceMonitor(std::unique_ptr<DeviceEventSource> source, QObject* parent)
    : QObject(parent), source_(std::move(source)) {
  if (!source_ || source_->fd() < 0) return;
  notifier_ = new QSocketNotifier(source_->fd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { readPending(); });
}

DeviceMonitor::~DeviceMonitor() { *alive_ = false; }

DeviceMonitor::SubscriptionId DeviceMonitor::subscribe(const std::string& subsystem,
                                                       const std::string& action, Handler handler) {
  SubscriptionId id = nextId_++;
  subscribers_[id] = Subscriber{subsystem, action, std::move(handler)};
  return id;
}

void DeviceMonitor::unsubscribe(SubscriptionId id) { subscribers_.erase(id); }

void DeviceMonitor::readPending() {
  if (!source_) return;
  while (std::optional<DeviceEvent> event = source_->receive()) {
    for (const auto& [id, subscriber] : subscribers_) {
      if (subscriber.subsystem != event->subsystem) continue;
      if (!subscriber.action.empty() && subscriber.action != event->action) continue;
      std::weak_ptr<bool> alive = alive_;
      SubscriptionId which = id;
      // Delivered on the main queue, and only to a subscriber still registered then.
      MainQueue::shared().async([this, alive, which, e = *event] {
        if (!alive.lock()) return;
        auto it = subscribers_.find(which);
        if (it == subscribers_.end() || !it->second.handler) return;
        Handler handler = it->second.handler;  // the handler may unsubscribe itself
        handler(e);
      });
    }
  }
}

}  // namespace platform
