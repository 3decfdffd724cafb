#pragma once

#include <functional>
#include <memory>
#include <string>

#include "camera/UsbConnector.h"
#include "camera/V4l2Ioctl.h"

namespace corvane {

// Opens the camera's control side through its V4L2 capture node: the USB device with the ids is
// found in sysfs, and the video4linux node of that same device with index 0 (the capture node,
// not the metadata node) is opened. A device that has no such node (no driver bound) goes to
// the fallback connector, which reaches it through libusb.
class UvcV4l2Connector : public UsbConnector {
 public:
  using NodeOpener = std::function<std::unique_ptr<V4l2Ioctl>(const std::string& devicePath)>;

  struct Options {
    std::string sysfsRoot = "/sys";
    std::string devRoot = "/dev";
    NodeOpener openNode;  // empty: open the real node
    std::shared_ptr<UsbConnector> fallback;
  };

  UvcV4l2Connector();
  explicit UvcV4l2Connector(Options options);

  UsbOpenResult open(uint16_t vendorId, uint16_t productId) override;
  UsbOpenResult openDevice(uint16_t vendorId, uint16_t productId,
                           const std::string& usbSysfsPath) override;

  // The sysfs folder of the first USB device with the ids ("" when none; `listed` tells whether
  // any USB device was listed at all).
  std::string findUsbDevice(uint16_t vendorId, uint16_t productId, bool* listed) const;
  // The device path of the capture node of that USB device ("" when it has none).
  std::string findCaptureNode(const std::string& usbDeviceFolder) const;

 private:
  Options options_;
};

}  // namespace corvane
