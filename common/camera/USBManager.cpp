#include "camera/USBManager.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "camera/LibusbTransport.h"
#include "camera/UsbText.h"
#include "camera/UvcV4l2Connector.h"
#include "dispatch/GlobalQueue.h"
#include "dispatch/MainQueue.h"
#include "dispatch/Semaphore.h"
#include "log/LogManager.h"

namespace corvane {

namespace {

constexpr uint16_t kProcessingUnitIndex = 0x0200;
constexpr uint16_t kUnit3 = 0x0300;
constexpr uint16_t kUnit4 = 0x0400;

constexpr uint16_t selector(uint8_t s) { return uint16_t(s << 8); }

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
  char buffer[512];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(buffer, sizeof buffer, pattern, args);
  va_end(args);
  return buffer;
}

void printLine(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  if (line.empty() || line.back() != '\n') std::fputc('\n', stdout);
  std::fflush(stdout);
}

uint16_t u16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void putU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

// Truncation toward zero to a signed 32-bit integer, keeping its low 16 bits. Values a 32-bit
// integer cannot hold wrap as the machine conversion would, instead of being undefined.
int16_t truncToInt16(double x) {
  if (!std::isfinite(x)) return 0;
  double t = std::trunc(x);
  if (std::fabs(t) >= 9.2e18) return 0;
  return int16_t(uint16_t(uint64_t(int64_t(t)) & 0xFFFF));
}

}  // namespace

struct USBManager::Pause {
  std::mutex mutex;
  std::condition_variable wake;
  bool over = false;
};

namespace {
std::shared_ptr<UsbConnector>& sharedConnector() {
  static std::shared_ptr<UsbConnector> connector;
  return connector;
}
}  // namespace

void USBManager::useConnector(std::shared_ptr<UsbConnector> connector) {
  sharedConnector() = std::move(connector);
}

USBManager& USBManager::shared() {
  // Made once and never destroyed: requests may still run on the global queue at exit.
  static USBManager* instance =
      new USBManager(sharedConnector() ? sharedConnector() : std::make_shared<UvcV4l2Connector>());
  return *instance;
}

USBManager::USBManager(std::shared_ptr<UsbConnector> connector, platform::Queue* requestQueue,
                       platform::Queue* completionQueue)
    : connector_(std::move(connector)),
      requestQueue_(requestQueue ? requestQueue : &platform::GlobalQueue::shared()),
      completionQueue_(completionQueue ? completionQueue : &platform::MainQueue::shared()) {}

USBManager::~USBManager() {
  std::unique_lock lock(tasksMutex_);
  stopping_ = true;
  for (const auto& pause : pauses_) {
    std::lock_guard pauseLock(pause->mutex);
    pause->over = true;
    pause->wake.notify_all();
  }
  tasksDone_.wait(lock, [this] { return activeTasks_ == 0; });
}

const USBManager::ControlInfo& USBManager::info(Control control) {
  static const ControlInfo table[kControls] = {
      {"brightness", 0x02, 2}, {"flicker", 0x05, 1},   {"contrast", 0x03, 2},
      {"saturation", 0x07, 2}, {"sharpness", 0x08, 2}, {"gamma", 0x09, 2},
  };
  return table[control];
}

// ---- queues ----

void USBManager::runAsync(std::function<void()> body) {
  {
    std::lock_guard lock(tasksMutex_);
    ++activeTasks_;
  }
  requestQueue_->async([this, body = std::move(body)] {
    body();
    std::lock_guard lock(tasksMutex_);
    if (--activeTasks_ == 0) tasksDone_.notify_all();
  });
}

void USBManager::complete(std::function<void()> completion) {
  completionQueue_->async(std::move(completion));
}

bool USBManager::pause(platform::Clock::Duration duration) {
  auto pause = std::make_shared<Pause>();
  {
    std::lock_guard lock(tasksMutex_);
    if (stopping_) return false;
    pauses_.insert(pause);
  }
  platform::Clock& clock = platform::Clock::shared();
  auto timer = clock.callAt(clock.now() + duration, [pause] {
    std::lock_guard lock(pause->mutex);
    pause->over = true;
    pause->wake.notify_all();
  });
  {
    std::unique_lock lock(pause->mutex);
    pause->wake.wait(lock, [&] { return pause->over; });
  }
  clock.cancel(timer);
  std::lock_guard lock(tasksMutex_);
  pauses_.erase(pause);
  return !stopping_;
}

// ---- opening ----

int USBManager::openUSBFromVID(uint16_t vendorId, uint16_t productId) {
  return openUSBFromVID(vendorId, productId, std::string());
}

int USBManager::openUSBFromVID(uint16_t vendorId, uint16_t productId,
                               const std::string& usbSysfsPath) {
  {
    std::lock_guard lock(stateMutex_);
    machineId_.clear();
    chipId_.clear();
    // A re-open never keeps the old handle: close it first, so that a failed open leaves the
    // manager disconnected instead of holding a stale handle or none at all.
    camera_device_.reset();
    isConnect_ = false;
  }
  UsbOpenResult result =
      connector_ ? connector_->openDevice(vendorId, productId, usbSysfsPath) : UsbOpenResult{};
  if (result.code != 0) return result.code;
  std::string vid = format("0x%04x", vendorId);
  std::string pid = format("0x%04x", productId);
  {
    std::lock_guard lock(stateMutex_);
    vendor_id_ = vid;
    product_id_ = pid;
    camera_device_ = result.handle;
    isConnect_ = camera_device_ != nullptr;
  }
  CV_LOG_INFO(format("[USBManager] vendor_id = %s _product_id = %s", vid.c_str(), pid.c_str()));
  if (result.handle)
    CV_LOG_INFO("[USBManager] control requests through " + result.handle->description());
  return 0;
}

libusb_device_handle* USBManager::findDeviceHandle(libusb_device** list, uint16_t vendorId,
                                                   uint16_t productId) {
  return LibusbTransport::findDeviceHandle(list, vendorId, productId, "[USBManager]");
}

// ---- wrappers ----

bool USBManager::transfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                          uint8_t* data, uint16_t len, std::string* failure) {
  auto failed = [failure](std::string why) {
    if (failure) *failure = std::move(why);
    return false;
  };
  if (!isConnect_) return failed("no camera connected");
  std::shared_ptr<UsbTransport> device = camera_device();
  if (!device) return failed("no camera connected");
  std::lock_guard io(ioMutex_);
  int result = device->controlTransfer(requestType, request, value, index, data, len, kTimeoutMs);
  if (result < 0) {
    if (failure) *failure = UsbTransport::resultName(result);
    const char* name = request == kUvcSetCur   ? "SET_CUR"
                       : request == kUvcGetCur ? "GET_CUR"
                       : request == kUvcGetMin ? "GET_MIN"
                       : request == kUvcGetMax ? "GET_MAX"
                                               : "request";
    std::string reason = result == kUsbErrorPipe       ? "stalled by the camera"
                         : result == kUsbErrorTimeout  ? "timed out"
                         : result == kUsbErrorNoDevice ? "the camera is gone"
                                                       : libusb_strerror(result);
    std::lock_guard lock(stateMutex_);
    lastFailure_ = format("%s of selector 0x%04x on unit 0x%04x: ", name, value, index) + reason;
    return false;
  }
  if (result != len) {
    // A reply shorter than its block would leave stale bytes of an earlier reply in it. A caller
    // that takes the reason tells it itself (a polled read once, not at every poll).
    if (failure) return failed(format("short reply, %d of %u bytes", result, unsigned(len)));
    CV_LOG_WARNING(
        format("[USBManager] Short transfer (request 0x%02x value 0x%04x index 0x%04x:"
               " %d of %u bytes)",
               request, value, index, result, unsigned(len)));
    return false;
  }
  return true;
}

bool USBManager::controlUVCWarp(int direction, uint8_t request, uint16_t control, uint8_t* argument,
                                uint16_t len) {
  uint8_t type = direction == kHostToDevice ? kUsbClassInterfaceOut : kUsbClassInterfaceIn;
  return transfer(type, request, control, kProcessingUnitIndex, argument, len);
}

bool USBManager::controlXUWarp(int direction, uint16_t control, uint8_t* argument, uint16_t len) {
  return controlXUWarp(direction, control, kUnit3, argument, len);
}

bool USBManager::controlXUWarp(int direction, uint16_t control, uint16_t index, uint8_t* argument,
                               uint16_t len) {
  bool out = direction == kHostToDevice;
  return transfer(out ? kUsbClassInterfaceOut : kUsbClassInterfaceIn, out ? kUvcSetCur : kUvcGetCur,
                  control, index, argument, len);
}

// ---- properties ----

std::shared_ptr<UsbTransport> USBManager::camera_device() const {
  std::lock_guard lock(stateMutex_);
  return camera_device_;
}
std::string USBManager::firmwareVersion() const {
  std::lock_guard lock(stateMutex_);
  return firmwareVersion_;
}
std::string USBManager::lastFailure() const {
  std::lock_guard lock(stateMutex_);
  return lastFailure_;
}
std::string USBManager::formatFailure() const {
  std::lock_guard lock(stateMutex_);
  return formatFailure_;
}
std::string USBManager::chipId() const {
  std::lock_guard lock(stateMutex_);
  return chipId_;
}
std::string USBManager::machineId() const {
  std::lock_guard lock(stateMutex_);
  return machineId_;
}
std::string USBManager::vendor_id() const {
  std::lock_guard lock(stateMutex_);
  return vendor_id_;
}
std::string USBManager::product_id() const {
  std::lock_guard lock(stateMutex_);
  return product_id_;
}
double USBManager::value(Control control, Bound bound) const {
  std::lock_guard lock(stateMutex_);
  return values_[control][bound];
}

// ---- picture controls ----

void USBManager::readControl(Control control, const ValuesCompletion& complete) {
  if (!isConnect_) {
    if (complete) complete(0, 0, 0);
    return;
  }
  const ControlInfo& c = info(control);
  double max, min, cur;
  std::string failed;
  {
    std::lock_guard io(ioMutex_);
    const uint8_t requests[3] = {kUvcGetMax, kUvcGetMin, kUvcGetCur};
    for (int bound = kMax; bound <= kCur; ++bound) {
      uint8_t bytes[2] = {0, 0};
      // A failed read leaves the value last read.
      if (!controlUVCWarp(kDeviceToHost, requests[bound], selector(c.selector), bytes,
                          c.readLength)) {
        failed = lastFailure();
        continue;
      }
      raw_[control][bound] = c.readLength == 1 ? int16_t(int8_t(bytes[0])) : int16_t(u16(bytes));
    }
    max = raw_[control][kMax];
    min = raw_[control][kMin];
    cur = raw_[control][kCur];
  }
  {
    std::lock_guard lock(stateMutex_);
    values_[control] = {max, min, cur};
  }
  if (failed.empty())
    CV_LOG_INFO(
        format("[USBManager] Get %s success (max: %f min: %f cur: %f)", c.name, max, min, cur));
  else
    CV_LOG_ERROR(format("[USBManager] Get %s failed: ", c.name) + failed);
  if (complete) complete(cur, min, max);
}

void USBManager::getBrightness(const ValuesCompletion& complete) {
  readControl(kBrightness, complete);
}
void USBManager::getFlicker(const ValuesCompletion& complete) { readControl(kFlicker, complete); }
void USBManager::getContrast(const ValuesCompletion& complete) { readControl(kContrast, complete); }
void USBManager::getSaturation(const ValuesCompletion& complete) {
  readControl(kSaturation, complete);
}
void USBManager::getSharpness(const ValuesCompletion& complete) {
  readControl(kSharpness, complete);
}
void USBManager::getGamma(const ValuesCompletion& complete) { readControl(kGamma, complete); }

int16_t USBManager::rawValueForFraction(double min, double max, double fraction) {
  int16_t span = truncToInt16((max - min) * fraction);
  return truncToInt16(double(span) + min);
}

void USBManager::writeControl(Control control, double fraction, BoolCompletion complete) {
  runAsync([this, control, fraction, complete = std::move(complete)] {
    const ControlInfo& c = info(control);
    int16_t raw = rawValueForFraction(value(control, kMin), value(control, kMax), fraction);
    CV_LOG_INFO(format("[USBManager] Set %s (value: %d)", c.name, int(raw)));
    uint8_t bytes[2];
    putU16(bytes, uint16_t(raw));
    bool ok;
    {
      std::lock_guard io(ioMutex_);
      ok = controlUVCWarp(kHostToDevice, kUvcSetCur, selector(c.selector), bytes, 2);
      if (ok) raw_[control][kCur] = raw;
    }
    if (ok) {
      double max, min;
      {
        std::lock_guard lock(stateMutex_);
        values_[control][kCur] = raw;
        max = values_[control][kMax];
        min = values_[control][kMin];
      }
      CV_LOG_INFO(format("[USBManager] Set %s success (max: %f min: %f cur: %f)", c.name, max, min,
                         double(raw)));
    }
    this->complete([complete, ok] {
      if (complete) complete(ok);
    });
  });
}

void USBManager::setBrightness(double f, BoolCompletion c) {
  writeControl(kBrightness, f, std::move(c));
}
void USBManager::setContrast(double f, BoolCompletion c) {
  writeControl(kContrast, f, std::move(c));
}
void USBManager::setSaturation(double f, BoolCompletion c) {
  writeControl(kSaturation, f, std::move(c));
}
void USBManager::setSharpness(double f, BoolCompletion c) {
  writeControl(kSharpness, f, std::move(c));
}
void USBManager::setGamma(double f, BoolCompletion c) { writeControl(kGamma, f, std::move(c)); }

void USBManager::setFlicker(int64_t value, BoolCompletion complete) {
  runAsync([this, value, complete = std::move(complete)] {
    CV_LOG_INFO(format("[USBManager] Set flicker (value: %zd)", ssize_t(value)));
    // Eight bytes, as the camera takes it; the V4L2 route writes the control's own size.
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(uint64_t(value) >> (8 * i));
    bool ok;
    {
      std::lock_guard io(ioMutex_);
      ok = controlUVCWarp(kHostToDevice, kUvcSetCur, selector(info(kFlicker).selector), bytes, 8);
      if (ok) raw_[kFlicker][kCur] = int16_t(int8_t(value));
    }
    if (ok) {
      double max, min;
      {
        std::lock_guard lock(stateMutex_);
        values_[kFlicker][kCur] = double(value);
        max = values_[kFlicker][kMax];
        min = values_[kFlicker][kMin];
      }
      CV_LOG_INFO(format("[USBManager] Set flicker success (max: %f min: %f cur: %f)", max, min,
                         double(value)));
    }
    this->complete([complete, ok] {
      if (complete) complete(ok);
    });
  });
}

// ---- information and identity ----

void USBManager::getInfo() {
  if (!isConnect_) return;
  {
    std::lock_guard io(ioMutex_);
    uint8_t block[sizeof info_];
    std::memcpy(block, info_, sizeof block);
    // The result is not looked at: a failed read leaves the block last read.
    if (controlXUWarp(kDeviceToHost, selector(0x01), block, sizeof block)) {
      std::memcpy(info_, block, sizeof block);
    } else {
      std::string failed = lastFailure();
      std::lock_guard lock(stateMutex_);
      formatFailure_ = "the information request failed: " + failed;
    }
    api_version_ = u16(info_);
    std::string version = UsbText::utf8(info_ + 2, sizeof info_ - 2);
    {
      std::lock_guard lock(stateMutex_);
      firmwareVersion_ = version;
    }
    CV_LOG_INFO("[USBManager] C1 _firmwareVersion:" + version);
  }
  getXuid();
  getChipId();
  getCustomerVersion();
}

std::string USBManager::getXuid() {
  {
    std::lock_guard lock(stateMutex_);
    machineId_.clear();
  }
  std::lock_guard io(ioMutex_);
  if (controlXUWarp(kDeviceToHost, selector(0x12), kUnit4, xuid_, sizeof xuid_)) {
    std::string id = UsbText::ascii(xuid_, sizeof xuid_);
    std::lock_guard lock(stateMutex_);
    machineId_ = id;
  }
  return machineId();
}

void USBManager::getCustomerVersion() {
  std::lock_guard io(ioMutex_);
  if (!controlXUWarp(kDeviceToHost, selector(0x08), kUnit4, customerVersion_,
                     sizeof customerVersion_))
    return;
  std::string version = UsbText::ascii(customerVersion_, sizeof customerVersion_);
  {
    std::lock_guard lock(stateMutex_);
    if (version.empty() || version.size() <= firmwareVersion_.size()) return;
    firmwareVersion_ = version;
  }
  CV_LOG_INFO("[USBManager] C8 _firmwareVersion:" + version);
}

bool USBManager::textCommand(const std::string& command, uint8_t* reply) {
  if (command.size() > kMaxCommandLength) {
    CV_LOG_ERROR(format("[USBManager] Command too long (%zu bytes, at most %zu)", command.size(),
                        kMaxCommandLength));
    return false;
  }
  std::lock_guard io(ioMutex_);
  // Bytes after the zero keep what earlier frames held; the camera reads up to the zero.
  command_[0] = uint8_t(command.size());
  std::memcpy(command_ + 1, command.data(), command.size());
  command_[1 + command.size()] = 0;
  if (!controlXUWarp(kHostToDevice, selector(0x02), command_, sizeof command_)) return false;
  std::memset(reply, 0, kCommandFrameSize);
  return controlXUWarp(kDeviceToHost, selector(0x02), reply, kCommandFrameSize);
}

std::string USBManager::getChipId() {
  {
    std::lock_guard lock(stateMutex_);
    chipId_.clear();
  }
  uint8_t reply[kCommandFrameSize];
  if (textCommand("devmem 0x1e6e2150 64", reply)) {
    CV_LOG_INFO(format("[USBManager] Get chip id (len: %d buf: %s)", int(int8_t(reply[0])),
                       UsbText::raw(reply + 1, kCommandFrameSize - 1).c_str()));
    std::string id = UsbText::commandReply(reply + 1, kCommandFrameSize - 1);
    std::lock_guard lock(stateMutex_);
    chipId_ = id;
  }
  return chipId();
}

void USBManager::cmd(const std::string& command, const TextCompletion& complete) {
  uint8_t reply[kCommandFrameSize];
  std::string text;
  if (textCommand(command, reply)) {
    printLine(format("[USBManager]Cmd (len: %d buf: %s)\n", int(int8_t(reply[0])),
                     UsbText::raw(reply + 1, kCommandFrameSize - 1).c_str()));
    text = UsbText::commandReply(reply + 1, kCommandFrameSize - 1);
  }
  if (complete) complete(text);
}

// ---- capture format ----

CameraFormat USBManager::setResolution(int32_t width, int32_t height) {
  std::lock_guard io(ioMutex_);
  bool current = api_version_ >= 4;
  uint8_t* block = current ? uvc_c4_ : uvc_c4_old_;
  uint16_t size = current ? sizeof uvc_c4_ : sizeof uvc_c4_old_;
  putU16(block, uint16_t(width));
  putU16(block + 2, uint16_t(height));
  if (!controlXUWarp(kHostToDevice, selector(0x04), block, size)) {
    putU16(block, 0);
    putU16(block + 2, 0);
    printLine(format("[USBManager]Set resolution fail (width: %d height: %d)\n", width, height));
  } else {
    printLine(format("[USBManager]Set resolution success (width: %d height: %d)\n", width, height));
    uint8_t reply[sizeof uvc_c4_];
    std::memcpy(reply, block, size);
    if (controlXUWarp(kDeviceToHost, selector(0x04), reply, size)) {
      std::memcpy(block, reply, size);
    } else {
      putU16(block, 0);
      putU16(block + 2, 0);
      printLine(current ? "[USBManager]Get (uvc_c4) camera format fail"
                        : "[USBManager]Get (uvc_c4_old) camera format fail");
    }
  }
  CameraFormat result;
  result.width = u16(block);
  result.height = u16(block + 2);
  result.hfov = u16(block + 4);
  result.vfov = u16(block + 6);
  result.enableVFov = current && u16(block + 10) > u16(block + 6);
  return result;
}

void USBManager::getCameraFormat(const std::vector<CaptureFormatInfo>& formats,
                                 FormatCompletion complete) {
  if (!complete) complete = [](CameraFormat, std::optional<CaptureFormatInfo>) {};
  auto failWith = [this](const std::string& why) {
    std::lock_guard lock(stateMutex_);
    formatFailure_ = why;
  };
  failWith("");
  if (!isConnect_) {
    failWith("the camera's control side is not open");
    complete(CameraFormat{}, std::nullopt);
    return;
  }
  getInfo();
  CV_LOG_INFO(format("[USBManager] xu_api_level = %d", int(api_version_.load())));
  if (api_version_ == 0) {
    // The information read's own failure, when it failed.
    if (formatFailure().empty()) failWith("the camera reports API level 0");
    complete(CameraFormat{}, std::nullopt);
    return;
  }
  int32_t bestWidth = 0;
  int32_t bestHeight = 2147483647;
  std::optional<CaptureFormatInfo> chosen;
  CameraFormat chosenFormat;
  for (const CaptureFormatInfo& f : formats) {
    CV_LOG_INFO("[USBManager] formatName = " + f.formatName);
    CV_LOG_INFO("[USBManager] format = " + f.description);
    if (f.formatName.find("MJPEG") == std::string::npos) continue;
    CV_LOG_INFO(format("[USBManager] Resolution w = %d h = %d", f.width, f.height));
    if (f.width != 4992 && f.width != 3840) continue;
    CameraFormat confirmed = setResolution(f.width, f.height);
    if (f.width >= bestWidth) {
      bestWidth = f.width;
      if (f.height <= bestHeight) {
        bestHeight = f.height;
        chosen = f;
        chosenFormat = confirmed;
      }
    }
  }
  if (!chosen || chosenFormat.width == 0 || chosenFormat.height == 0) {
    failWith(!chosen ? "the camera offers no MJPEG format 3840 or 4992 wide"
                     : "the format request failed: " + lastFailure());
    complete(chosen ? chosenFormat : CameraFormat{}, std::nullopt);
    return;
  }
  // The camera was told every size in turn; tell it the chosen one last.
  setResolution(chosenFormat.width, chosenFormat.height);
  failWith("");
  complete(chosenFormat, chosen);
}

void USBManager::getProjectionInfo(const ProjectionCompletion& complete) {
  if (!complete) return;
  if (!isConnect_) {
    complete(0, 0, 0, 0, 0, 0, 0);
    return;
  }
  int32_t v[7];
  {
    std::lock_guard io(ioMutex_);
    if (api_version_ >= 4) {
      const uint8_t* b = uvc_c4_;
      int32_t fields[7] = {u16(b + 12), u16(b + 8), u16(b + 10), u16(b + 4),
                           u16(b + 6),  u16(b),     u16(b + 2)};
      std::copy(fields, fields + 7, v);
    } else {
      // The short block has no projection type and no maximum fields of view.
      const uint8_t* b = uvc_c4_old_;
      int32_t fields[7] = {0, 0, 0, u16(b + 4), u16(b + 6), u16(b), u16(b + 2)};
      std::copy(fields, fields + 7, v);
    }
  }
  complete(v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
}

// ---- field of view and voice direction ----

void USBManager::setVerticalFov(int64_t value, BoolCompletion complete) {
  if (api_version_ < 5) {
    if (complete) complete(false);
    return;
  }
  runAsync([this, value, complete = std::move(complete)] {
    bool ok;
    {
      std::lock_guard io(ioMutex_);
      putU16(verticalFov_, 0);
      putU16(verticalFov_ + 2, uint16_t(uint64_t(value) & 0xFFFF));
      ok = controlXUWarp(kHostToDevice, selector(0x08), verticalFov_, sizeof verticalFov_) &&
           controlXUWarp(kDeviceToHost, selector(0x08), verticalFov_, sizeof verticalFov_);
    }
    this->complete([complete, ok] {
      if (complete) complete(ok);
    });
  });
}

void USBManager::getDoaFormat(DoaCompletion complete) {
  readDoaFormat([complete = std::move(complete)](DoaFormat record, const std::string&) {
    if (complete) complete(record);
  });
}

void USBManager::readDoaFormat(DoaReadCompletion complete) {
  if (api_version_ < 5) {
    if (complete) complete(DoaFormat::defaultFormat(), std::string());
    return;
  }
  runAsync([this, complete = std::move(complete)] {
    DoaFormat record = DoaFormat::defaultFormat();
    std::string failure;
    {
      std::lock_guard io(ioMutex_);
      if (transfer(kUsbClassInterfaceIn, kUvcGetCur, selector(0x0B), kUnit3, doa_, sizeof doa_,
                   &failure))
        record = DoaFormat::fromWire(doa_);
    }
    this->complete([complete, record, failure] {
      if (complete) complete(record, failure);
    });
  });
}

// ---- update status ----

void USBManager::checkStatus(StatusCompletion complete) {
  runAsync([this, complete = std::move(complete)] {
    uint8_t code = 0, second = 0;
    {
      std::lock_guard io(ioMutex_);
      if (controlXUWarp(kDeviceToHost, selector(0x06), status_block_, sizeof status_block_)) {
        code = status_block_[0];
        second = status_block_[1];
      }
    }
    this->complete([complete, code, second] {
      if (complete) complete(code, second);
    });
  });
}

void USBManager::startCheckStatusLoop(StatusCompletion complete) {
  runAsync([this, complete = std::move(complete)] {
    int silent = 0;
    for (;;) {
      uint8_t code, second;
      bool read;
      {
        std::lock_guard io(ioMutex_);
        read = controlXUWarp(kDeviceToHost, selector(0x06), status_block_, sizeof status_block_);
        code = status_block_[0];
        second = status_block_[1];
      }
      // A closed camera ends the loop, and so does a minute of failed reads. A failed read
      // delivers nothing: repeating the last status would hide a camera that has gone, which
      // the caller finds by the silence.
      silent = read ? 0 : silent + 1;
      if (!read && (!isConnect_ || silent >= kStatusLoopSilentReads)) return;
      if (!pause(std::chrono::seconds(1))) return;
      if (!read) continue;
      this->complete([complete, code, second] {
        if (complete) complete(code, second);
      });
      if (code == 5 || code == 6) return;
    }
  });
}

void USBManager::setUpdateMode(const BoolCompletion& complete) {
  bool ok;
  {
    std::lock_guard io(ioMutex_);
    updateMode_[0] = 1;
    ok = controlXUWarp(kHostToDevice, selector(0x06), updateMode_, 1);
  }
  pause(std::chrono::seconds(10));
  if (complete) complete(ok);
}

void USBManager::triggerUpdate(const BoolCompletion& complete) {
  bool ok;
  {
    std::lock_guard io(ioMutex_);
    updateMode_[0] = 2;
    ok = controlXUWarp(kHostToDevice, selector(0x06), updateMode_, 1);
  }
  pause(std::chrono::seconds(5));
  if (complete) complete(ok);
}

}  // namespace corvane
