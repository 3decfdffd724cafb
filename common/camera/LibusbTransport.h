#pragma once

#include <libusb.h>

#include <cstdint>
#include <string>

#include "camera/UsbTransport.h"

namespace corvane {

// Control requests through libusb and usbfs: for devices no kernel driver holds, and for vendor
// requests to the device itself (the microphone array), which usbfs lets through even while a
// driver holds an interface. Owns the device handle and one reference to libusb's default
// context; both are released with the transport.
class LibusbTransport : public UsbTransport {
 public:
  // Takes over `handle` and one libusb_init of the default context.
  explicit LibusbTransport(libusb_device_handle* handle);
  ~LibusbTransport() override;
  LibusbTransport(const LibusbTransport&) = delete;
  LibusbTransport& operator=(const LibusbTransport&) = delete;

  int controlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                      uint8_t* data, uint16_t length, unsigned timeoutMs) override;
  std::string description() const override { return "libusb"; }

  // Walks a zero-terminated device list in order and opens the first device with the ids.
  // A descriptor that cannot be read ends the search with no handle. `logPrefix` starts the
  // standard-output lines ("[USBManager]" for the camera, empty for the microphone array).
  static libusb_device_handle* findDeviceHandle(libusb_device** list, uint16_t vendorId,
                                                uint16_t productId, const char* logPrefix);

 private:
  libusb_device_handle* handle_;
};

}  // namespace corvane
