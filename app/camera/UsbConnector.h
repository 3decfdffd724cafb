#pragma once

#include <cstdint>
#include <memory>

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
};

}  // namespace corvane
