#include "camera/CameraControlQueue.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "camera/USBManager.h"
#include "log/LogManager.h"

namespace corvane {

namespace {

std::string shortest(double v) {
  char buffer[64];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, v);
    if (std::strtod(buffer, nullptr) == v) break;
  }
  return buffer;
}

struct ControlNames {
  UVCMode mode;
  const char* logName;  // "[UVC] <logName>:" when sent
  const char* setName;  // "[UVC] Set <setName> success"
};

constexpr ControlNames kNames[] = {
    {UVCMode::brightness, "brightness", "brightness"},
    {UVCMode::flicker, "Flicker", "flicker"},
    {UVCMode::contrast, "Contrast", "contrast"},
    {UVCMode::saturation, "Saturation", "saturation"},
    {UVCMode::sharpness, "Sharpness", "sharpness"},
    {UVCMode::gamma, "Gamma", "gamma"},
    {UVCMode::fov, "Vertical Fov", "vertical Fov"},
};

const ControlNames* names(UVCMode mode) {
  for (const auto& n : kNames)
    if (n.mode == mode) return &n;
  return nullptr;
}

}  // namespace

CameraControlQueue::CameraControlQueue(USBManager* usb, Handlers handlers)
    : usb_(usb), handlers_(std::move(handlers)) {}

CameraControlQueue::~CameraControlQueue() = default;

std::vector<UVCEvent> CameraControlQueue::uvcQueue() const {
  std::vector<UVCEvent> out;
  for (const auto& e : queue_) out.push_back(e.event);
  return out;
}

void CameraControlQueue::enqueueUVCEvent(UVCMode mode, float value) {
  if (mode == UVCMode::none) return;
  if ((mode == UVCMode::flicker || mode == UVCMode::fov) &&
      (!std::isfinite(value) || std::fabs(value) > 1e9f)) {
    CV_LOG_WARNING("[UVC] Dropped a control change with the value " + shortest(value));
    return;
  }
  // The event in flight is not a candidate for coalescing: only the waiting ones are.
  auto waiting = std::find_if(queue_.begin(), queue_.end(),
                              [this](const Entry& e) { return e.id != inFlight_; });
  auto sameMode = [mode](const Entry& e) { return e.event.mode == mode; };
  bool any = std::any_of(waiting, queue_.end(),
                         [&](const Entry& e) { return e.id != inFlight_ && sameMode(e); });
  if (any) {
    bool allEqual = std::all_of(waiting, queue_.end(), [&](const Entry& e) {
      return e.id == inFlight_ || !sameMode(e) || e.event.value == value;
    });
    if (allEqual) return;
    for (auto it = queue_.end(); it != waiting;) {
      --it;
      if (it->id != inFlight_ && sameMode(*it) && it->event.value != value) {
        queue_.erase(it);
        break;
      }
    }
  }
  queue_.push_back({{mode, value}, nextId_++});
  checkUVCQueue();
}

void CameraControlQueue::checkUVCQueue() {
  if (inFlight_ != 0 || queue_.empty()) return;
  Entry head = queue_.front();
  inFlight_ = head.id;
  run(head);
}

void CameraControlQueue::finish(uint64_t id) {
  auto it = std::find_if(queue_.begin(), queue_.end(), [id](const Entry& e) { return e.id == id; });
  if (it != queue_.end()) queue_.erase(it);
  if (inFlight_ == id) inFlight_ = 0;
  checkUVCQueue();
}

void CameraControlQueue::run(const Entry& entry) {
  UVCMode mode = entry.event.mode;
  float value = entry.event.value;
  uint64_t id = entry.id;
  std::weak_ptr<int> weak = token_;
  if (!usb_) {
    finish(id);
    return;
  }
  if (mode == UVCMode::check_doa || mode == UVCMode::doa) {
    usb_->readDoaFormat([this, weak, id, mode](DoaFormat doa, const std::string& failure) {
      if (!weak.lock()) return;
      if (handlers_.doaRead) handlers_.doaRead(mode, doa, failure);
      finish(id);
    });
    return;
  }
  const ControlNames* n = names(mode);
  if (!n) {
    finish(id);
    return;
  }
  CV_LOG_INFO(std::string("[UVC] ") + n->logName + ":" + shortest(value));
  if (mode == UVCMode::fov) {
    usb_->setVerticalFov(int64_t(value), [this, weak, id](bool ok) {
      if (!weak.lock()) return;
      // The next request starts before this one's line is written.
      finish(id);
      CV_LOG_INFO(ok ? "[UVC] Set vertical Fov success" : "[UVC] Set vertical Fov fail");
    });
    return;
  }
  auto done = [this, weak, id, mode, value, n](bool ok) {
    if (!weak.lock()) return;
    if (ok) {
      if (handlers_.stored) handlers_.stored(mode, value);
      CV_LOG_INFO(std::string("[UVC] Set ") + n->setName + " success");
    } else {
      CV_LOG_INFO(std::string("[UVC] Set ") + n->setName + " fail");
    }
    finish(id);
  };
  switch (mode) {
    case UVCMode::brightness:
      std::printf("max:%s min:%s cur:%s\n", shortest(usb_->brightness_max()).c_str(),
                  shortest(usb_->brightness_min()).c_str(),
                  shortest(usb_->brightness_cur()).c_str());
      std::fflush(stdout);
      usb_->setBrightness(value, done);
      break;
    case UVCMode::flicker:
      usb_->setFlicker(int64_t(value), done);
      break;
    case UVCMode::contrast:
      usb_->setContrast(value, done);
      break;
    case UVCMode::saturation:
      usb_->setSaturation(value, done);
      break;
    case UVCMode::sharpness:
      usb_->setSharpness(value, done);
      break;
    case UVCMode::gamma:
      usb_->setGamma(value, done);
      break;
    default:
      finish(id);
      break;
  }
}

}  // namespace corvane
