#include "camera/ReSpeakerManager.h"

#include <syslog.h>

#include "camera/LibusbConnector.h"
#include "camera/LibusbTransport.h"

namespace corvane {

ReSpeakerManager& ReSpeakerManager::shared() {
  static ReSpeakerManager* instance = new ReSpeakerManager(std::make_shared<LibusbConnector>(""));
  return *instance;
}

ReSpeakerManager::ReSpeakerManager(std::shared_ptr<UsbConnector> connector)
    : connector_(std::move(connector)) {}

bool ReSpeakerManager::checkRespeaker() {
  int code = openUSBFromVID(kVendorId, kProductId);
  if (code == 1) syslog(LOG_ERR, "Can't open libusb");
  if (code == 2) syslog(LOG_ERR, "Error enumerating devices");
  std::lock_guard lock(mutex_);
  status_ = uint64_t(code);
  return code == 0 && respeaker_device_ != nullptr;
}

int ReSpeakerManager::openUSBFromVID(uint16_t vendorId, uint16_t productId) {
  {
    std::lock_guard lock(mutex_);
    respeaker_device_.reset();
  }
  UsbOpenResult result = connector_ ? connector_->open(vendorId, productId) : UsbOpenResult{};
  std::lock_guard lock(mutex_);
  respeaker_device_ = result.code == 0 ? result.handle : nullptr;
  return result.code;
}

libusb_device_handle* ReSpeakerManager::findDeviceHandle(libusb_device** list, uint16_t vendorId,
                                                         uint16_t productId) {
  return LibusbTransport::findDeviceHandle(list, vendorId, productId, "");
}

int32_t ReSpeakerManager::decode(const uint8_t* reply) {
  return int32_t(reply[0]) + (reply[1] == 1 ? 256 : 0);
}

int32_t ReSpeakerManager::read(uint16_t value, uint16_t index, std::string* failure) {
  std::shared_ptr<UsbTransport> device = respeaker_device();
  if (!device) {
    if (failure) *failure = "no microphone array open";
    return 0;
  }
  uint8_t reply[8] = {};
  // A failed read reads as 0, as silence does.
  int rc =
      device->controlTransfer(kUsbVendorDeviceIn, 0, value, index, reply, sizeof reply, kTimeoutMs);
  if (rc < 0) {
    if (failure) *failure = UsbTransport::resultName(rc);
    return 0;
  }
  return decode(reply);
}

int32_t ReSpeakerManager::getVoice(std::string* failure) { return read(0xE0, 0x13, failure); }

int32_t ReSpeakerManager::getDoaAngle(std::string* failure) { return read(0xC0, 0x15, failure); }

void ReSpeakerManager::getDoaAngleFormat(const DoaCompletion& complete) {
  if (!complete) return;
  readDoaAngleFormat(
      [&](int32_t voice, int32_t angle, const std::string&) { complete(voice, angle); });
}

void ReSpeakerManager::readDoaAngleFormat(const DoaReadCompletion& complete) {
  if (!complete) return;
  std::string failure;
  int32_t voice = getVoice(&failure);
  // The first failure's reason is the one told.
  int32_t angle = getDoaAngle(failure.empty() ? &failure : nullptr);
  complete(voice, angle, failure);
}

void ReSpeakerManager::disconnected() {
  // The transport holds the handle and the library reference; dropping it releases both.
  std::lock_guard lock(mutex_);
  respeaker_device_.reset();
}

std::shared_ptr<UsbTransport> ReSpeakerManager::respeaker_device() const {
  std::lock_guard lock(mutex_);
  return respeaker_device_;
}

uint64_t ReSpeakerManager::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

}  // namespace corvane
