#include "camera/UvcV4l2Connector.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "camera/LibusbConnector.h"
#include "camera/UvcV4l2Transport.h"
#include "camera/V4l2DeviceNode.h"

namespace corvane {

namespace fs = std::filesystem;

namespace {

std::string readLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
    line.pop_back();
  return line;
}

bool readHex(const fs::path& file, uint16_t* out) {
  std::string text = readLine(file);
  if (text.empty() || text.size() > 4) return false;
  unsigned value = 0;
  for (char c : text) {
    int digit = std::isdigit(uint8_t(c)) ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
    if (digit < 0) return false;
    value = value * 16 + unsigned(digit);
  }
  *out = uint16_t(value);
  return true;
}

fs::path canonicalOrEmpty(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::canonical(p, ec);
  return ec ? fs::path() : c;
}

}  // namespace

UvcV4l2Connector::UvcV4l2Connector() : UvcV4l2Connector(Options{}) {}

UvcV4l2Connector::UvcV4l2Connector(Options options) : options_(std::move(options)) {
  if (!options_.fallback) options_.fallback = std::make_shared<LibusbConnector>();
}

std::string UvcV4l2Connector::findUsbDevice(uint16_t vendorId, uint16_t productId,
                                            bool* listed) const {
  if (listed) *listed = false;
  std::error_code ec;
  fs::directory_iterator it(fs::path(options_.sysfsRoot) / "bus/usb/devices", ec);
  if (ec) return {};
  std::vector<fs::path> devices;
  for (const auto& entry : it) devices.push_back(entry.path());
  // Directory order is arbitrary; a fixed order makes the first match the same on every open.
  std::sort(devices.begin(), devices.end());
  for (const auto& device : devices) {
    uint16_t vid = 0, pid = 0;
    if (!readHex(device / "idVendor", &vid) || !readHex(device / "idProduct", &pid)) continue;
    if (listed) *listed = true;
    if (vid == vendorId && pid == productId) return canonicalOrEmpty(device).string();
  }
  return {};
}

std::string UvcV4l2Connector::findCaptureNode(const std::string& usbDeviceFolder) const {
  if (usbDeviceFolder.empty()) return {};
  std::error_code ec;
  fs::directory_iterator it(fs::path(options_.sysfsRoot) / "class/video4linux", ec);
  if (ec) return {};
  std::string best;
  int bestIndex = 0;
  for (const auto& entry : it) {
    // <node>/device is the USB interface; its parent is the USB device.
    fs::path interface = canonicalOrEmpty(entry.path() / "device");
    if (interface.empty() || interface.parent_path() != fs::path(usbDeviceFolder)) continue;
    std::string indexText = readLine(entry.path() / "index");
    int index = indexText.empty() ? 0 : std::atoi(indexText.c_str());
    std::string name = entry.path().filename().string();
    if (best.empty() || index < bestIndex || (index == bestIndex && name < best)) {
      best = name;
      bestIndex = index;
    }
  }
  if (best.empty() || bestIndex != 0) return {};
  return (fs::path(options_.devRoot) / best).string();
}

UsbOpenResult UvcV4l2Connector::open(uint16_t vendorId, uint16_t productId) {
  return openDevice(vendorId, productId, std::string());
}

UsbOpenResult UvcV4l2Connector::openDevice(uint16_t vendorId, uint16_t productId,
                                           const std::string& usbSysfsPath) {
  UsbOpenResult result;
  bool listed = false;
  std::string device;
  // Two cameras of one model have the same ids: take the one the capture side found.
  uint16_t vid = 0, pid = 0;
  if (!usbSysfsPath.empty() && readHex(fs::path(usbSysfsPath) / "idVendor", &vid) &&
      readHex(fs::path(usbSysfsPath) / "idProduct", &pid) && vid == vendorId && pid == productId) {
    device = canonicalOrEmpty(usbSysfsPath).string();
    listed = !device.empty();
  }
  if (device.empty()) device = findUsbDevice(vendorId, productId, &listed);
  std::string node = findCaptureNode(device);
  if (node.empty()) {
    if (!device.empty())
      std::printf("[USBManager]No capture node for %s, using libusb\n", device.c_str());
    return options_.fallback->open(vendorId, productId);
  }
  result.code = listed ? 0 : 2;
  std::unique_ptr<V4l2Ioctl> ioctl;
  if (options_.openNode) {
    ioctl = options_.openNode(node);
  } else {
    int error = 0;
    ioctl = V4l2DeviceNode::open(node, &error);
    if (!ioctl) std::printf("[USBManager]Cannot open %s: %s\n", node.c_str(), std::strerror(error));
  }
  std::printf("[USBManager]Found target device %04x:%04x, open result = %d\n", vendorId, productId,
              ioctl ? 0 : -1);
  std::fflush(stdout);
  if (ioctl) result.handle = std::make_shared<UvcV4l2Transport>(std::move(ioctl));
  return result;
}

}  // namespace corvane
