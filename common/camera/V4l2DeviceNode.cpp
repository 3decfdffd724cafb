#include "camera/V4l2DeviceNode.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace corvane {

std::unique_ptr<V4l2DeviceNode> V4l2DeviceNode::open(const std::string& path, int* error) {
  // Non-blocking, so that opening a node another program streams from never waits.
  int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = errno;
    return nullptr;
  }
  return std::unique_ptr<V4l2DeviceNode>(new V4l2DeviceNode(fd, path));
}

V4l2DeviceNode::V4l2DeviceNode(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

V4l2DeviceNode::~V4l2DeviceNode() {
  if (fd_ >= 0) ::close(fd_);
}

int V4l2DeviceNode::ioctl(unsigned long request, void* argument) {
  int result;
  do {
    result = ::ioctl(fd_, request, argument);
  } while (result < 0 && errno == EINTR);
  return result < 0 ? -errno : 0;
}

}  // namespace corvane
