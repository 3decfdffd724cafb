#pragma once

#include <memory>
#include <string>

#include "camera/V4l2Ioctl.h"

namespace corvane {

// A V4L2 device node opened for control ioctls (no streaming).
class V4l2DeviceNode : public V4l2Ioctl {
 public:
  // None when the node cannot be opened; `error` then holds the errno.
  static std::unique_ptr<V4l2DeviceNode> open(const std::string& path, int* error = nullptr);
  ~V4l2DeviceNode() override;
  V4l2DeviceNode(const V4l2DeviceNode&) = delete;
  V4l2DeviceNode& operator=(const V4l2DeviceNode&) = delete;

  int ioctl(unsigned long request, void* argument) override;
  std::string path() const override { return path_; }

 private:
  V4l2DeviceNode(int fd, std::string path);
  int fd_;
  std::string path_;
};

}  // namespace corvane
