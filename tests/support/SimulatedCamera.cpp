#include "SimulatedCamera.h"

#include <algorithm>
#include <cstring>

namespace testsupport {

using namespace corvane;

namespace {

uint16_t u16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void putU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

}  // namespace

class SimulatedCamera::Connector : public UsbConnector {
 public:
  Connector(std::shared_ptr<SimulatedCamera> camera, uint16_t vid, uint16_t pid)
      : camera_(std::move(camera)), vid_(vid), pid_(pid) {}

  UsbOpenResult open(uint16_t vendorId, uint16_t productId) override {
    UsbOpenResult result;
    std::lock_guard lock(camera_->mutex_);
    ++camera_->opens_;
    result.code = camera_->openCode_;
    if (result.code == 0 && camera_->plugged_ && vendorId == vid_ && productId == pid_)
      result.handle = camera_;
    return result;
  }

 private:
  std::shared_ptr<SimulatedCamera> camera_;
  uint16_t vid_, pid_;
};

SimulatedCamera::SimulatedCamera() {
  setApiLevel(5);
  setFirmwareText("1.0.7");
  setXuid("A1B2C3D4E5F6");
  setCustomerVersion("");
  controls_[0x02] = {-64, 64, 0};     // brightness
  controls_[0x03] = {0, 100, 50};     // contrast
  controls_[0x05] = {0, 2, 1};        // power-line frequency
  controls_[0x07] = {0, 100, 64};     // saturation
  controls_[0x08] = {0, 7, 3};        // sharpness
  controls_[0x09] = {100, 500, 300};  // gamma
  reply_[0] = 0;
}

std::shared_ptr<UsbConnector> SimulatedCamera::connector(uint16_t vendorId, uint16_t productId) {
  return std::make_shared<Connector>(shared_from_this(), vendorId, productId);
}

void SimulatedCamera::putText(uint8_t* block, size_t size, const std::string& text) {
  std::memset(block, 0, size);
  std::memcpy(block, text.data(), std::min(size, text.size()));
}

void SimulatedCamera::setApiLevel(uint16_t level) {
  std::lock_guard lock(mutex_);
  putU16(info_.data(), level);
}

void SimulatedCamera::setFirmwareText(const std::string& text) {
  std::lock_guard lock(mutex_);
  putText(info_.data() + 2, info_.size() - 2, text);
}

void SimulatedCamera::setInfoBlock(const std::array<uint8_t, 28>& block) {
  std::lock_guard lock(mutex_);
  info_ = block;
}

void SimulatedCamera::setXuid(const std::string& text) {
  std::lock_guard lock(mutex_);
  putText(xuid_.data(), xuid_.size(), text);
}

void SimulatedCamera::setCustomerVersion(const std::string& text) {
  std::lock_guard lock(mutex_);
  putText(customerVersion_.data(), customerVersion_.size(), text);
}

void SimulatedCamera::setControl(uint8_t selector, Control control) {
  std::lock_guard lock(mutex_);
  controls_[selector] = control;
}

SimulatedCamera::Control SimulatedCamera::control(uint8_t selector) const {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(selector);
  return it == controls_.end() ? Control{} : it->second;
}

void SimulatedCamera::addMode(uint16_t width, uint16_t height, Mode mode) {
  std::lock_guard lock(mutex_);
  modes_[{width, height}] = mode;
}

std::array<uint16_t, 7> SimulatedCamera::formatBlock() const {
  std::lock_guard lock(mutex_);
  return format_;
}

void SimulatedCamera::setDoaBlock(const std::array<uint8_t, 12>& block) {
  std::lock_guard lock(mutex_);
  doa_ = block;
}

std::array<uint8_t, 12> SimulatedCamera::doaBlock(int32_t type, bool voice, int32_t angle) {
  std::array<uint8_t, 12> block{};
  for (int i = 0; i < 4; ++i) {
    block[size_t(i)] = uint8_t(uint32_t(type) >> (8 * i));
    block[size_t(8 + i)] = uint8_t(uint32_t(angle) >> (8 * i));
  }
  block[4] = voice ? 1 : 0;
  return block;
}

uint16_t SimulatedCamera::verticalFov() const {
  std::lock_guard lock(mutex_);
  return verticalFov_;
}

void SimulatedCamera::setCommandReply(const std::string& command, const std::string& reply) {
  std::lock_guard lock(mutex_);
  replies_[command] = reply;
}

void SimulatedCamera::answerAsTheUpdatersCamera(const std::string& firmware,
                                                const std::string& chipId) {
  setFirmwareText(firmware);
  setCommandReply("devmem 0x1e6e2150 64", chipId + "\n");
  setCommandReply("ast_param g camera:safe:mode", "0");
}

void SimulatedCamera::setRawCommandReply(const std::array<uint8_t, 61>& frame) {
  std::lock_guard lock(mutex_);
  rawReply_ = frame;
}

void SimulatedCamera::queueStatus(uint8_t code, uint8_t second) {
  std::lock_guard lock(mutex_);
  statuses_.push_back({code, second});
}

std::vector<uint8_t> SimulatedCamera::updateModes() const {
  std::lock_guard lock(mutex_);
  return updateModes_;
}

int SimulatedCamera::rebootCount() const {
  std::lock_guard lock(mutex_);
  return reboots_;
}

void SimulatedCamera::failNext(Failure failure, uint16_t index, uint8_t selector, int times) {
  std::lock_guard lock(mutex_);
  failures_.push_back({failure, index, selector, times});
}

void SimulatedCamera::failAll(std::optional<Failure> failure) {
  std::lock_guard lock(mutex_);
  failAll_ = failure;
}

void SimulatedCamera::failSelector(std::optional<Failure> failure, uint16_t index,
                                   uint8_t selector) {
  std::lock_guard lock(mutex_);
  if (failure)
    selectorFailures_[{index, selector}] = *failure;
  else
    selectorFailures_.erase({index, selector});
}

void SimulatedCamera::unplug() {
  std::lock_guard lock(mutex_);
  plugged_ = false;
}

void SimulatedCamera::plugIn() {
  std::lock_guard lock(mutex_);
  plugged_ = true;
}

bool SimulatedCamera::pluggedIn() const {
  std::lock_guard lock(mutex_);
  return plugged_;
}

std::vector<SimulatedCamera::Request> SimulatedCamera::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void SimulatedCamera::clearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

int SimulatedCamera::openCount() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

void SimulatedCamera::setOpenCode(int code) {
  std::lock_guard lock(mutex_);
  openCode_ = code;
}

int SimulatedCamera::controlTransfer(uint8_t requestType, uint8_t request, uint16_t value,
                                     uint16_t index, uint8_t* data, uint16_t length,
                                     unsigned timeoutMs) {
  std::lock_guard lock(mutex_);
  Request r{requestType, request, value, index, length, {}, timeoutMs};
  bool in = isDeviceToHost(requestType);
  if (!in && data) r.sent.assign(data, data + length);
  requests_.push_back(r);
  if (!plugged_) return kUsbErrorNoDevice;

  std::optional<Failure> failure = failAll_;
  const uint8_t selector = uint8_t(value >> 8);
  if (!failure) {
    auto held = selectorFailures_.find({index, selector});
    if (held != selectorFailures_.end()) failure = held->second;
  }
  if (!failure) {
    for (auto it = failures_.begin(); it != failures_.end(); ++it) {
      if (it->index == index && it->selector == selector) {
        failure = it->failure;
        if (--it->times <= 0) failures_.erase(it);
        break;
      }
    }
  }
  if (failure == Failure::timeout) return kUsbErrorTimeout;
  if (failure == Failure::stall) return kUsbErrorPipe;
  if (length > 0 && !data) return kUsbErrorInvalidParam;

  if (failure == Failure::shortReply && in) {
    std::vector<uint8_t> full(length, 0);
    int rc = answer(r, full.data());
    if (rc < 0) return rc;
    int half = rc / 2;
    std::memcpy(data, full.data(), size_t(half));
    return half;
  }
  return answer(r, data);
}

int SimulatedCamera::answer(const Request& r, uint8_t* data) {
  bool in = isDeviceToHost(r.requestType);
  // Class requests to interface 0 only, with the direction their code implies.
  if ((r.requestType & 0x7F) != 0x21 || (r.index & 0xFF) != 0) return kUsbErrorPipe;
  if (in != (r.request != kUvcSetCur)) return kUsbErrorPipe;
  switch (r.index >> 8) {
    case 2:
      return processingUnit(r, data);
    case 3:
      return unit3(r, data);
    case 4:
      return unit4(r, data);
    default:
      return kUsbErrorPipe;
  }
}

int SimulatedCamera::processingUnit(const Request& r, uint8_t* data) {
  uint8_t selector = uint8_t(r.value >> 8);
  if ((r.value & 0xFF) != 0) return kUsbErrorPipe;
  auto it = controls_.find(selector);
  if (it == controls_.end()) return kUsbErrorPipe;
  Control& c = it->second;
  uint16_t size = selector == 0x05 ? 1 : 2;
  if (r.request == kUvcSetCur) {
    // The power-line frequency also takes its value as a 64-bit integer.
    int64_t v;
    if (r.length == size) {
      v = size == 1 ? int8_t(data[0]) : int16_t(u16(data));
    } else if (selector == 0x05 && r.length == 8) {
      uint64_t raw = 0;
      for (int i = 0; i < 8; ++i) raw |= uint64_t(data[i]) << (8 * i);
      v = int64_t(raw);
    } else {
      return kUsbErrorPipe;
    }
    if (v < c.min || v > c.max) return kUsbErrorPipe;
    c.cur = int16_t(v);
    return r.length;
  }
  if (r.length != size) return kUsbErrorPipe;
  int16_t v;
  switch (r.request) {
    case kUvcGetCur:
      v = c.cur;
      break;
    case kUvcGetMin:
      v = c.min;
      break;
    case kUvcGetMax:
      v = c.max;
      break;
    default:
      return kUsbErrorPipe;
  }
  if (size == 1)
    data[0] = uint8_t(v);
  else
    putU16(data, uint16_t(v));
  return size;
}

int SimulatedCamera::unit3(const Request& r, uint8_t* data) {
  uint8_t selector = uint8_t(r.value >> 8);
  uint16_t api = u16(info_.data());
  bool get = r.request == kUvcGetCur;
  if (!get && r.request != kUvcSetCur) return kUsbErrorPipe;
  switch (selector) {
    case 0x01:
      if (get) {
        if (r.length != info_.size()) return kUsbErrorPipe;
        std::memcpy(data, info_.data(), info_.size());
        return r.length;
      }
      // One byte 2 reboots the camera.
      if (r.length != 1 || data[0] != 2) return kUsbErrorPipe;
      ++reboots_;
      return 1;
    case 0x02: {
      if (r.length != 61) return kUsbErrorPipe;
      if (get) {
        std::memcpy(data, rawReply_ ? rawReply_->data() : reply_.data(), 61);
        return 61;
      }
      std::string command = std::string(reinterpret_cast<const char*>(data + 1),
                                        strnlen(reinterpret_cast<const char*>(data + 1), 60));
      if (data[0] != command.size()) return kUsbErrorPipe;
      auto it = replies_.find(command);
      std::string reply = it == replies_.end() ? std::string() : it->second;
      reply_.fill(0);
      reply_[0] = uint8_t(std::min<size_t>(reply.size(), 59));
      std::memcpy(reply_.data() + 1, reply.data(), std::min<size_t>(reply.size(), 59));
      return 61;
    }
    case 0x04: {
      uint16_t size = api >= 4 ? 14 : 8;
      if (r.length != size) return kUsbErrorPipe;
      if (get) {
        for (uint16_t i = 0; i < size / 2; ++i) putU16(data + 2 * i, format_[i]);
        return size;
      }
      auto it = modes_.find({u16(data), u16(data + 2)});
      if (it == modes_.end()) return kUsbErrorPipe;
      const Mode& m = it->second;
      format_ = {it->first.first, it->first.second, m.hfov,      m.vfov,
                 m.max_hfov,      m.max_vfov,       m.projection};
      if (api < 4) format_[4] = format_[5] = format_[6] = 0;
      return size;
    }
    case 0x06:
      if (get) {
        if (r.length != 60) return kUsbErrorPipe;
        if (!statuses_.empty()) {
          status_[0] = statuses_.front()[0];
          status_[1] = statuses_.front()[1];
          if (statuses_.size() > 1) statuses_.pop_front();
        }
        std::memcpy(data, status_.data(), 60);
        return 60;
      }
      if (r.length != 1 || (data[0] != 1 && data[0] != 2)) return kUsbErrorPipe;
      updateModes_.push_back(data[0]);
      return 1;
    case 0x08:
      if (api < 5 || r.length != 4) return kUsbErrorPipe;
      if (get) {
        putU16(data, 0);
        putU16(data + 2, verticalFov_);
        return 4;
      }
      if (u16(data) != 0) return kUsbErrorPipe;
      verticalFov_ = u16(data + 2);
      return 4;
    case 0x0B:
      if (api < 5 || !get || r.length != 12) return kUsbErrorPipe;
      std::memcpy(data, doa_.data(), 12);
      return 12;
    default:
      return kUsbErrorPipe;
  }
}

int SimulatedCamera::unit4(const Request& r, uint8_t* data) {
  uint8_t selector = uint8_t(r.value >> 8);
  if (r.request != kUvcGetCur || r.length != 32) return kUsbErrorPipe;
  if (selector == 0x12) {
    std::memcpy(data, xuid_.data(), 32);
    return 32;
  }
  if (selector == 0x08) {
    std::memcpy(data, customerVersion_.data(), 32);
    return 32;
  }
  return kUsbErrorPipe;
}

}  // namespace testsupport
