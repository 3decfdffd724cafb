#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "camera/UsbTransport.h"

namespace corvane {

// What an open by vendor and product id gives: the result code of the device search and the
// transport of the first matching device, when one could be opened.
struct UsbOpenResult {
  // 0: the device list was read (whether or not the device was in it); 1: the USB layer could
  // not be initialised; 2: the device list could not be read or was empty.
  int code = 2;
  std::shared_ptr<UsbTransport> handle;
};

// Finds and opens a USB device by its ids. One implementation per way of reaching devices.
class UsbConnector {
 public:
  virtual ~UsbConnector() = default;
  virtual UsbOpenResult open(uint16_t vendorId, uint16_t productId) = 0;
  // The device at that sysfs path when it has the ids (the same physical device the capture
  // side streams from); connectors that cannot tell devices apart open by the ids alone.
  virtual UsbOpenResult openDevice(uint16_t vendorId, uint16_t productId,
                                   const std::string& usbSysfsPath) {
    (void)usbSysfsPath;
    return open(vendorId, productId);
  }
};

}  // namespace corvane
