#include "camera/LibusbTransport.h"

#include <cstdio>

namespace corvane {

LibusbTransport::LibusbTransport(libusb_device_handle* handle) : handle_(handle) {}

LibusbTransport::~LibusbTransport() {
  if (handle_) libusb_close(handle_);
  libusb_exit(nullptr);
}

int LibusbTransport::controlTransfer(uint8_t requestType, uint8_t request, uint16_t value,
                                     uint16_t index, uint8_t* data, uint16_t length,
                                     unsigned timeoutMs) {
  if (!handle_) return kUsbErrorNoDevice;
  // libusb's error codes are the ones UsbResult carries.
  return libusb_control_transfer(handle_, requestType, request, value, index, data, length,
                                 timeoutMs);
}

libusb_device_handle* LibusbTransport::findDeviceHandle(libusb_device** list, uint16_t vendorId,
                                                        uint16_t productId, const char* logPrefix) {
  if (!list) return nullptr;
  for (size_t i = 0; list[i]; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) < 0) {
      std::printf("%sFailed to get device descriptor\n", logPrefix);
      std::fflush(stdout);
      return nullptr;
    }
    if (descriptor.idVendor == vendorId && descriptor.idProduct == productId) {
      libusb_device_handle* handle = nullptr;
      int result = libusb_open(list[i], &handle);
      std::printf("%sFound target device %04x:%04x, open result = %d\n", logPrefix,
                  descriptor.idVendor, descriptor.idProduct, result);
      std::fflush(stdout);
      return result < 0 ? nullptr : handle;
    }
  }
  return nullptr;
}

}  // namespace corvane
