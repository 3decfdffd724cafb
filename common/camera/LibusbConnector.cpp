#include "camera/LibusbConnector.h"

#include <libusb.h>

#include "camera/LibusbTransport.h"

namespace corvane {

LibusbConnector::LibusbConnector(std::string logPrefix) : logPrefix_(std::move(logPrefix)) {}

UsbOpenResult LibusbConnector::open(uint16_t vendorId, uint16_t productId) {
  UsbOpenResult result;
  if (libusb_init(nullptr) < 0) {
    result.code = 1;
    return result;
  }
  libusb_device** list = nullptr;
  ssize_t count = libusb_get_device_list(nullptr, &list);
  if (count <= 0) {
    if (list) libusb_free_device_list(list, 1);
    libusb_exit(nullptr);
    result.code = 2;
    return result;
  }
  libusb_device_handle* handle =
      LibusbTransport::findDeviceHandle(list, vendorId, productId, logPrefix_.c_str());
  libusb_free_device_list(list, 1);
  result.code = 0;
  if (handle) {
    result.handle = std::make_shared<LibusbTransport>(handle);
  } else {
    libusb_exit(nullptr);
  }
  return result;
}

}  // namespace corvane
