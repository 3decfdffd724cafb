#pragma once

#include <string>

namespace corvane {

// The ioctl calls of one opened V4L2 node, behind a seam a test fake can answer.
class V4l2Ioctl {
 public:
  virtual ~V4l2Ioctl() = default;
  // 0 on success, otherwise the negated errno.
  virtual int ioctl(unsigned long request, void* argument) = 0;
  virtual std::string path() const = 0;
};

}  // namespace corvane
