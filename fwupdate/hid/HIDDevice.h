#pragma once

#include <memory>
#include <string>

namespace qd4718 {

class HIDReportChannel;

// The identity of one HID device, and what the device-information chain learns of it.
struct HIDDevice {
  std::string id;  // the serial number
  int vendorId = 0;
  int productId = 0;
  int reportSize = 0;
  std::shared_ptr<HIDReportChannel> device;  // where its reports go; closed once it is gone
  std::string name;                          // the product string
  std::string type;
  std::string hwVer;
  std::string swVer;
  std::string gitRev;
  std::string date;
  std::string lineMode;
  std::string storageID;
};

}  // namespace qd4718
