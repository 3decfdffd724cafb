#include "FakeSysfs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace testsupport {

FakeSysfs::FakeSysfs() {
  fs::create_directories(sysRoot() + "/class/video4linux");
  fs::create_directories(devRoot());
}

std::string FakeSysfs::addUsbVideoNode(const std::string& node, const std::string& port,
                                       int vendorId, int productId, const std::string& product) {
  std::string usb = sysRoot() + "/devices/pci0000:00/0000:00:14.0/usb1/" + port;
  std::string intf = usb + "/" + port + ":1.0";
  fs::create_directories(intf + "/video4linux/" + node);
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04x", vendorId);
  std::ofstream(usb + "/idVendor") << hex << "\n";
  std::snprintf(hex, sizeof hex, "%04x", productId);
  std::ofstream(usb + "/idProduct") << hex << "\n";
  if (!product.empty()) std::ofstream(usb + "/product") << product << "\n";
  std::string classNode = sysRoot() + "/class/video4linux/" + node;
  fs::create_directories(classNode);
  std::ofstream(classNode + "/name") << product << "\n";
  fs::create_directory_symlink(intf, classNode + "/device");
  std::ofstream(devicePath(node)).put('\0');
  return fs::canonical(usb).string();
}

void FakeSysfs::addVirtualNode(const std::string& node, const std::string& name) {
  std::string dev = sysRoot() + "/devices/virtual/video4linux/" + node;
  fs::create_directories(dev);
  std::string classNode = sysRoot() + "/class/video4linux/" + node;
  fs::create_directories(classNode);
  std::ofstream(classNode + "/name") << name << "\n";
  std::ofstream(devicePath(node)).put('\0');
}

}  // namespace testsupport
