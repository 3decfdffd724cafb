#pragma once

#include <string>

#include "camera/UsbConnector.h"

namespace corvane {

// Opens a device through libusb's default context: initialise, read the device list, open the
// first device with the ids, free the list. The transport it gives keeps the context's
// reference; when no device is opened the reference is given back at once.
class LibusbConnector : public UsbConnector {
 public:
  explicit LibusbConnector(std::string logPrefix = "[USBManager]");
  UsbOpenResult open(uint16_t vendorId, uint16_t productId) override;

 private:
  std::string logPrefix_;
};

}  // namespace corvane
