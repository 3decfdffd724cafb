#include "vcam/LoopbackOutput.h"

#include <fcntl.h>
#include <libyuv.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace platform {

namespace {
std::string text(const uint8_t* bytes, size_t n) {
  return std::string(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), n));
}
}  // namespace

LoopbackOutput::LoopbackOutput(V4l2Api& api, std::string sysRoot, std::string devRoot)
    : api_(api), sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

LoopbackOutput::~LoopbackOutput() { stop(); }

std::optional<LoopbackOutput::Device> LoopbackOutput::findDevice(const std::string& label) const {
  std::vector<std::string> nodes;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(sysRoot_) / "class/video4linux", ec), end;
       !ec && it != end; it.increment(ec)) {
    std::string n = it->path().filename().string();
    if (n.rfind("video", 0) == 0) nodes.push_back(n);
  }
  std::sort(nodes.begin(), nodes.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  for (const auto& n : nodes) {
    std::string path = (fs::path(devRoot_) / n).string();
    int fd = api_.open(path.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0) continue;
    v4l2_capability cap{};
    bool ok = api_.ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
    api_.close(fd);
    if (!ok || text(cap.driver, sizeof cap.driver) != "v4l2 loopback") continue;
    if (text(cap.card, sizeof cap.card) != label) continue;
    return Device{path, text(cap.card, sizeof cap.card), text(cap.bus_info, sizeof cap.bus_info)};
  }
  return std::nullopt;
}

bool LoopbackOutput::start(const Device& device, int width, int height) {
  stop();
  std::lock_guard lock(mutex_);
  if (width <= 0 || height <= 0 || width % 2) {
    lastError_ = "unusable output size";
    return false;
  }
  int fd = api_.open(device.devicePath.c_str(), O_WRONLY);
  if (fd < 0) {
    lastError_ = "cannot open " + device.devicePath + ": " + std::strerror(errno);
    return false;
  }
  v4l2_format fmt{};
  fmt.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  fmt.fmt.pix.width = uint32_t(width);
  fmt.fmt.pix.height = uint32_t(height);
  fmt.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
  fmt.fmt.pix.field = V4L2_FIELD_NONE;
  fmt.fmt.pix.bytesperline = uint32_t(width * 2);
  fmt.fmt.pix.sizeimage = uint32_t(width * height * 2);
  fmt.fmt.pix.colorspace = V4L2_COLORSPACE_SRGB;
  // Read back what the device took: a loopback already fed by another writer keeps its format.
  if (api_.ioctl(fd, VIDIOC_S_FMT, &fmt) != 0 || fmt.fmt.pix.pixelformat != V4L2_PIX_FMT_YUYV ||
      int(fmt.fmt.pix.width) != width || int(fmt.fmt.pix.height) != height) {
    lastError_ = "the loopback device refused YUYV " + std::to_string(width) + "x" +
                 std::to_string(height);
    api_.close(fd);
    return false;
  }
  fd_ = fd;
  width_ = width;
  height_ = height;
  yuyv_.assign(size_t(width) * height * 2, 0);
  ready_ = true;
  return true;
}

void LoopbackOutput::stop() {
  queue_.drain();
  std::lock_guard lock(mutex_);
  if (fd_ >= 0) api_.close(fd_);
  fd_ = -1;
  ready_ = false;
}

bool LoopbackOutput::isConnected() const {
  std::lock_guard lock(mutex_);
  return fd_ >= 0;
}

std::string LoopbackOutput::lastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

bool LoopbackOutput::enqueueFrame(const PixelBufferRef& bgra) {
  if (!bgra || bgra->format() != PixelFormat::BGRA) return false;
  bool expected = true;
  // Taking the ready flag in one step: a completion that comes between a check and a clear is
  // never lost.
  if (!ready_.compare_exchange_strong(expected, false)) {
    ++dropped_;
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    if (fd_ < 0 || bgra->width() != width_ || bgra->height() != height_) {
      ready_ = fd_ >= 0;
      ++dropped_;
      return false;
    }
  }
  queue_.async([this, bgra] {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return;
    bgra->lock(true);
    // BGRA in memory is libyuv's ARGB.
    libyuv::ARGBToYUY2(bgra->baseAddress(0), int(bgra->bytesPerRow(0)), yuyv_.data(), width_ * 2,
                       width_, height_);
    bgra->unlock(true);
    if (writeAll(yuyv_.data(), yuyv_.size())) ++written_;
    ready_ = fd_ >= 0;
  });
  return true;
}

bool LoopbackOutput::writeAll(const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = api_.write(fd_, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      lastError_ = std::string("writing a frame failed: ") + std::strerror(errno);
      if (errno == ENODEV || errno == EIO) {
        api_.close(fd_);
        fd_ = -1;
      }
      return false;
    }
    if (n == 0) return false;
    done += size_t(n);
  }
  return true;
}

void LoopbackOutput::drain() { queue_.drain(); }

}  // namespace platform
