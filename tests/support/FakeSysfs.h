#pragma once

#include <string>

#include "TempDir.h"

namespace testsupport {

// A sysfs and /dev tree in a temporary folder: video nodes linked to USB devices.
class FakeSysfs {
 public:
  FakeSysfs();
  std::string sysRoot() const { return dir_.path() + "/sys"; }
  std::string devRoot() const { return dir_.path() + "/dev"; }
  std::string devicePath(const std::string& node) const { return devRoot() + "/" + node; }
  // A video node of a USB device on `port` (e.g. "1-2"); returns the USB device folder.
  std::string addUsbVideoNode(const std::string& node, const std::string& port, int vendorId,
                              int productId, const std::string& product);
  // A video node of no USB device (a virtual one).
  void addVirtualNode(const std::string& node, const std::string& name);

 private:
  TempDir dir_;
};

}  // namespace testsupport
