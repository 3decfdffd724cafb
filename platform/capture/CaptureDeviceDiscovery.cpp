#include "capture/CaptureDeviceDiscovery.h"

#include <fcntl.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace platform {

namespace {

std::string readLine(const fs::path& p) {
  std::ifstream in(p);
  std::string s;
  std::getline(in, s);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

std::string cString(const uint8_t* bytes, size_t n) {
  size_t len = strnlen(reinterpret_cast<const char*>(bytes), n);
  return std::string(reinterpret_cast<const char*>(bytes), len);
}

// Walks up from the node's device link to the USB device folder (the one with idVendor).
std::string usbDeviceFolder(const fs::path& nodeFolder) {
  std::error_code ec;
  fs::path p = fs::canonical(nodeFolder / "device", ec);
  if (ec) return {};
  for (int depth = 0; depth < 6 && !p.empty() && p != p.root_path(); ++depth) {
    if (fs::exists(p / "idVendor", ec) && fs::exists(p / "idProduct", ec)) return p.string();
    p = p.parent_path();
  }
  return {};
}

int hexValue(const std::string& s) {
  try {
    return int(std::stoul(s, nullptr, 16));
  } catch (...) {
    return 0;
  }
}

}  // namespace

CaptureDeviceDiscovery::CaptureDeviceDiscovery(V4l2Api& api, std::string sysRoot,
                                               std::string devRoot)
    : api_(api), sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

std::vector<CaptureFormat> CaptureDeviceDiscovery::enumerateFormats(V4l2Api& api, int fd) {
  std::vector<CaptureFormat> formats;
  for (uint32_t i = 0;; ++i) {
    v4l2_fmtdesc desc{};
    desc.index = i;
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (api.ioctl(fd, VIDIOC_ENUM_FMT, &desc) != 0) break;
    for (uint32_t s = 0;; ++s) {
      v4l2_frmsizeenum size{};
      size.index = s;
      size.pixel_format = desc.pixelformat;
      if (api.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) != 0) break;
      if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) break;  // UVC cameras list discrete sizes
      CaptureFormat f;
      f.fourcc = desc.pixelformat;
      f.name = CaptureFormat::nameOf(desc.pixelformat);
      f.width = int(size.discrete.width);
      f.height = int(size.discrete.height);
      for (uint32_t r = 0;; ++r) {
        v4l2_frmivalenum ival{};
        ival.index = r;
        ival.pixel_format = desc.pixelformat;
        ival.width = size.discrete.width;
        ival.height = size.discrete.height;
        if (api.ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &ival) != 0) break;
        if (ival.type != V4L2_FRMIVAL_TYPE_DISCRETE || ival.discrete.numerator == 0) break;
        f.frameRates.push_back(double(ival.discrete.denominator) / ival.discrete.numerator);
      }
      std::sort(f.frameRates.begin(), f.frameRates.end(), std::greater<>());
      formats.push_back(std::move(f));
    }
  }
  return formats;
}

std::optional<CaptureDevice> CaptureDeviceDiscovery::device(const std::string& nodeName) const {
  fs::path nodeFolder = fs::path(sysRoot_) / "class/video4linux" / nodeName;
  std::string devicePath = (fs::path(devRoot_) / nodeName).string();
  int fd = api_.open(devicePath.c_str(), O_RDWR | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  v4l2_capability cap{};
  if (api_.ioctl(fd, VIDIOC_QUERYCAP, &cap) != 0) {
    api_.close(fd);
    return std::nullopt;
  }
  uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
  std::string driver = cString(cap.driver, sizeof cap.driver);
  bool capture = (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING) &&
                 !(caps & V4L2_CAP_META_CAPTURE);
  if (!capture || driver == "v4l2 loopback") {
    api_.close(fd);
    return std::nullopt;
  }
  CaptureDevice d;
  d.devicePath = devicePath;
  d.driver = driver;
  d.busInfo = cString(cap.bus_info, sizeof cap.bus_info);
  d.formats = enumerateFormats(api_, fd);
  api_.close(fd);

  d.usbSysfsPath = usbDeviceFolder(nodeFolder);
  std::string card = cString(cap.card, sizeof cap.card);
  if (!d.usbSysfsPath.empty()) {
    fs::path usb(d.usbSysfsPath);
    d.vendorId = hexValue(readLine(usb / "idVendor"));
    d.productId = hexValue(readLine(usb / "idProduct"));
    std::string product = readLine(usb / "product");
    d.localizedName = product.empty() ? card : product;
    d.uniqueID = d.usbSysfsPath;
    d.modelID = "UVC Camera VendorID_" + std::to_string(d.vendorId) + " ProductID_" +
                std::to_string(d.productId);
  } else {
    std::string name = readLine(nodeFolder / "name");
    d.localizedName = card.empty() ? name : card;
    d.uniqueID = d.busInfo.empty() ? devicePath : d.busInfo;
    d.modelID = d.localizedName;
  }
  return d;
}

std::vector<CaptureDevice> CaptureDeviceDiscovery::devices() const {
  std::vector<std::string> nodes;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(sysRoot_) / "class/video4linux", ec), end;
       !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.rfind("video", 0) == 0) nodes.push_back(name);
  }
  // Numeric order, so video2 comes before video10.
  std::sort(nodes.begin(), nodes.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  std::vector<CaptureDevice> out;
  for (const auto& n : nodes) {
    if (auto d = device(n)) out.push_back(std::move(*d));
  }
  return out;
}

}  // namespace platform
