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

int32_t ReSpeakerManager::read(uint16_t value, uint16_t index) {
  std::shared_ptr<UsbTransport> device = respeaker_device();
  if (!device) return 0;
  uint8_t reply[8] = {};
  // The result is not looked at: a failed read leaves the buffer zero, which reads as 0.
  int rc =
      device->controlTransfer(kUsbVendorDeviceIn, 0, value, index, reply, sizeof reply, kTimeoutMs);
  if (rc < 0) return 0;
  return decode(reply);
}

int32_t ReSpeakerManager::getVoice() { return read(0xE0, 0x13); }

int32_t ReSpeakerManager::getDoaAngle() { return read(0xC0, 0x15); }

void ReSpeakerManager::getDoaAngleFormat(const DoaCompletion& complete) {
  if (!complete) return;
  int32_t voice = getVoice();
  int32_t angle = getDoaAngle();
  complete(voice, angle);
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
