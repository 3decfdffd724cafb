#include "FakeV4l2Device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace testsupport {

namespace {
constexpr size_t kBufferBytes = 8 * 1024 * 1024;

void copyText(uint8_t* dst, size_t n, const std::string& s) {
  std::memset(dst, 0, n);
  std::memcpy(dst, s.data(), std::min(n - 1, s.size()));
}

size_t frameBytes(uint32_t fourcc, int w, int h) {
  if (fourcc == V4L2_PIX_FMT_YUYV) return size_t(w) * h * 2;
  if (fourcc == V4L2_PIX_FMT_NV12) return size_t(w) * h * 3 / 2;
  return kBufferBytes;
}
}  // namespace

FakeV4l2Device::Node FakeV4l2Device::loopbackNode(const std::string& label, int number,
                                                  uint32_t clientUsageEvent) {
  Node node;
  node.driver = "v4l2 loopback";
  node.card = label;
  char bus[48];
  std::snprintf(bus, sizeof bus, "platform:v4l2loopback-%03d", number);
  node.busInfo = bus;
  node.deviceCaps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING;
  node.formats = {{V4L2_PIX_FMT_YUYV, {{1280, 720}, {640, 360}}}};
  node.clientUsageEvent = clientUsageEvent;
  return node;
}

FakeV4l2Device::FakeV4l2Device() : eventFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

FakeV4l2Device::~FakeV4l2Device() {
  if (eventFd_ >= 0) ::close(eventFd_);
}

void FakeV4l2Device::addNode(const std::string& path, Node node) {
  std::lock_guard lock(mutex_);
  nodes_[path] = std::move(node);
}

void FakeV4l2Device::signal() {
  uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(eventFd_, &one, sizeof one);
}

void FakeV4l2Device::pushFrame(std::vector<uint8_t> bytes) {
  {
    std::lock_guard lock(mutex_);
    frames_.push_back(std::move(bytes));
  }
  signal();
}

void FakeV4l2Device::unplug() {
  {
    std::lock_guard lock(mutex_);
    unplugged_ = true;
  }
  signal();
}

std::vector<std::string> FakeV4l2Device::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

int FakeV4l2Device::openCount() const {
  std::lock_guard lock(mutex_);
  return int(open_.size());
}

v4l2_pix_format FakeV4l2Device::lastFormat() const {
  std::lock_guard lock(mutex_);
  return format_;
}

size_t FakeV4l2Device::pendingFrames() const {
  std::lock_guard lock(mutex_);
  return frames_.size();
}

int FakeV4l2Device::open(const char* path, int flags) {
  std::lock_guard lock(mutex_);
  lastOpenFlags_ = flags;
  if (unplugged_ || !nodes_.count(path)) {
    errno = ENOENT;
    return -1;
  }
  int fd = nextFd_++;
  open_[fd] = path;
  return fd;
}

int FakeV4l2Device::close(int fd) {
  std::lock_guard lock(mutex_);
  if (!open_.erase(fd)) {
    errno = EBADF;
    return -1;
  }
  subscribed_.erase(fd);
  events_.erase(fd);
  return 0;
}

int FakeV4l2Device::ioctl(int fd, unsigned long request, void* arg) {
  std::lock_guard lock(mutex_);
  auto it = open_.find(fd);
  if (it == open_.end()) {
    errno = EBADF;
    return -1;
  }
  if (unplugged_) {
    errno = ENODEV;
    return -1;
  }
  const char* name = request == VIDIOC_S_FMT      ? "S_FMT"
                     : request == VIDIOC_REQBUFS  ? "REQBUFS"
                     : request == VIDIOC_STREAMON ? "STREAMON"
                                                  : nullptr;
  if (name) {
    auto failing = failingRequests_.find(name);
    if (failing != failingRequests_.end() && failing->second != 0) {
      calls_.push_back(name);
      errno = failing->second;
      return -1;
    }
  }
  const Node& node = nodes_.at(it->second);
  if (node.deviceCaps & V4L2_CAP_VIDEO_OUTPUT) {
    int r = handleOutput(node, request, arg);
    if (r != 1) return r;
  }
  return handle(fd, node, request, arg);
}

// The output side's streaming requests; 1 for those it leaves to the common part.
int FakeV4l2Device::handleOutput(const Node& node, unsigned long request, void* arg) {
  const bool buffers = node.streaming == Node::Streaming::Buffers;
  switch (request) {
    case VIDIOC_G_FMT: {
      calls_.push_back("G_FMT");
      auto* f = static_cast<v4l2_format*>(arg);
      if (f->type != V4L2_BUF_TYPE_VIDEO_OUTPUT) break;
      f->fmt.pix = format_;
      return 0;
    }
    case VIDIOC_REQBUFS: {
      calls_.push_back("REQBUFS");
      if (!buffers) break;
      auto* r = static_cast<v4l2_requestbuffers*>(arg);
      if (r->type != V4L2_BUF_TYPE_VIDEO_OUTPUT || r->memory != V4L2_MEMORY_MMAP) break;
      buffers_.assign(r->count, std::vector<uint8_t>(std::max<size_t>(format_.sizeimage, 1)));
      outputDone_.clear();
      return 0;
    }
    case VIDIOC_QBUF: {
      calls_.push_back("QBUF");
      auto* b = static_cast<v4l2_buffer*>(arg);
      if (!buffers || b->index >= buffers_.size() || b->bytesused > buffers_[b->index].size())
        break;
      if (!takeOutputLocked(buffers_[b->index].data(), b->bytesused)) return -1;
      // The module passes the frame on at once and hands the buffer back.
      outputDone_.push_back(b->index);
      return 0;
    }
    case VIDIOC_DQBUF: {
      if (!buffers) break;
      if (outputDone_.empty()) {
        errno = EAGAIN;
        return -1;
      }
      static_cast<v4l2_buffer*>(arg)->index = outputDone_.front();
      outputDone_.pop_front();
      return 0;
    }
    case VIDIOC_STREAMON:
      calls_.push_back("STREAMON");
      if (buffers && buffers_.empty()) break;  // no STREAMON without buffers
      streaming_ = true;
      return 0;
    default:
      return 1;
  }
  errno = EINVAL;
  return -1;
}

bool FakeV4l2Device::takeOutputLocked(const uint8_t* data, size_t size) {
  if (failTimes_ > 0) {
    --failTimes_;
    errno = failError_;
    return false;
  }
  if (keepLastWriteOnly_)
    written_.assign(data, data + size);
  else
    written_.insert(written_.end(), data, data + size);
  writeSizes_.push_back(size);
  frameTimes_.push_back(platform::Clock::shared().now());
  return true;
}

void FakeV4l2Device::failRequest(const std::string& name, int error) {
  std::lock_guard lock(mutex_);
  failingRequests_[name] = error;
}

int FakeV4l2Device::handle(int fd, const Node& node, unsigned long request, void* arg) {
  switch (request) {
    case VIDIOC_S_PARM: {
      calls_.push_back("S_PARM");
      auto* p = static_cast<v4l2_streamparm*>(arg);
      if (p->type != V4L2_BUF_TYPE_VIDEO_OUTPUT) break;
      timePerFrame_ = p->parm.output.timeperframe;
      return 0;
    }
    case VIDIOC_SUBSCRIBE_EVENT: {
      calls_.push_back("SUBSCRIBE_EVENT");
      auto* sub = static_cast<v4l2_event_subscription*>(arg);
      if (!node.clientUsageEvent || sub->type != node.clientUsageEvent) break;
      subscribed_[fd] = sub->type;
      if (sub->flags & V4L2_EVENT_SUB_FL_SEND_INITIAL) {
        v4l2_event ev{};
        ev.type = sub->type;
        std::memcpy(ev.u.data, &clientCount_, sizeof clientCount_);
        events_[fd].push_back(ev);
      }
      return 0;
    }
    case VIDIOC_DQEVENT: {
      auto& q = events_[fd];
      if (q.empty()) {
        errno = ENOENT;
        return -1;
      }
      *static_cast<v4l2_event*>(arg) = q.front();
      q.pop_front();
      return 0;
    }
    case VIDIOC_QUERYCAP: {
      calls_.push_back("QUERYCAP");
      auto* cap = static_cast<v4l2_capability*>(arg);
      std::memset(cap, 0, sizeof *cap);
      copyText(cap->driver, sizeof cap->driver, node.driver);
      copyText(cap->card, sizeof cap->card, node.card);
      copyText(cap->bus_info, sizeof cap->bus_info, node.busInfo);
      cap->device_caps = node.deviceCaps;
      cap->capabilities = node.deviceCaps | V4L2_CAP_DEVICE_CAPS;
      return 0;
    }
    case VIDIOC_ENUM_FMT: {
      auto* d = static_cast<v4l2_fmtdesc*>(arg);
      if (d->index >= node.formats.size()) break;
      d->pixelformat = node.formats[d->index].fourcc;
      return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
      auto* s = static_cast<v4l2_frmsizeenum*>(arg);
      for (const auto& f : node.formats) {
        if (f.fourcc != s->pixel_format || s->index >= f.sizes.size()) continue;
        s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        s->discrete.width = uint32_t(f.sizes[s->index].first);
        s->discrete.height = uint32_t(f.sizes[s->index].second);
        return 0;
      }
      break;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
      auto* v = static_cast<v4l2_frmivalenum*>(arg);
      for (const auto& f : node.formats) {
        if (f.fourcc != v->pixel_format || v->index >= f.rates.size()) continue;
        v->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        v->discrete.numerator = 1;
        v->discrete.denominator = uint32_t(f.rates[v->index]);
        return 0;
      }
      break;
    }
    case VIDIOC_S_FMT: {
      calls_.push_back("S_FMT");
      auto* f = static_cast<v4l2_format*>(arg);
      const Format* chosen = &node.formats.front();
      for (const auto& fm : node.formats)
        if (fm.fourcc == f->fmt.pix.pixelformat) chosen = &fm;
      // Like a driver: an unknown size becomes the format's first size.
      auto size = chosen->sizes.front();
      for (auto s : chosen->sizes)
        if (s.first == int(f->fmt.pix.width) && s.second == int(f->fmt.pix.height)) size = s;
      f->fmt.pix.pixelformat = chosen->fourcc;
      f->fmt.pix.width = uint32_t(size.first);
      f->fmt.pix.height = uint32_t(size.second);
      f->fmt.pix.sizeimage = uint32_t(frameBytes(chosen->fourcc, size.first, size.second));
      format_ = f->fmt.pix;
      return 0;
    }
    case VIDIOC_REQBUFS: {
      calls_.push_back("REQBUFS");
      auto* r = static_cast<v4l2_requestbuffers*>(arg);
      buffers_.assign(r->count, std::vector<uint8_t>(std::max<size_t>(format_.sizeimage, 1)));
      queued_.clear();
      return 0;
    }
    case VIDIOC_QUERYBUF: {
      auto* b = static_cast<v4l2_buffer*>(arg);
      if (b->index >= buffers_.size()) break;
      b->length = uint32_t(buffers_[b->index].size());
      b->m.offset = b->index * 4096;
      return 0;
    }
    case VIDIOC_QBUF: {
      auto* b = static_cast<v4l2_buffer*>(arg);
      if (b->index >= buffers_.size()) break;
      queued_.push_back(b->index);
      return 0;
    }
    case VIDIOC_DQBUF: {
      auto* b = static_cast<v4l2_buffer*>(arg);
      if (!streaming_ || frames_.empty() || queued_.empty()) {
        errno = EAGAIN;
        return -1;
      }
      if (dequeueFailures_ > 0) {
        --dequeueFailures_;
        errno = dequeueError_;
        return -1;
      }
      uint32_t index = queued_.front();
      queued_.pop_front();
      auto frame = std::move(frames_.front());
      frames_.pop_front();
      auto& buf = buffers_[index];
      size_t n = std::min(buf.size(), frame.size());
      std::memcpy(buf.data(), frame.data(), n);
      b->index = index;
      b->bytesused = uint32_t(n);
      b->sequence = sequence_++;
      b->timestamp.tv_sec = b->sequence / 30;
      b->timestamp.tv_usec = (b->sequence % 30) * 33333;
      b->flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_DONE;
      if (errorBuffers_ > 0) {
        --errorBuffers_;
        b->flags |= V4L2_BUF_FLAG_ERROR;
      }
      return 0;
    }
    case VIDIOC_STREAMON:
      calls_.push_back("STREAMON");
      streaming_ = true;
      return 0;
    case VIDIOC_STREAMOFF:
      calls_.push_back("STREAMOFF");
      streaming_ = false;
      return 0;
    default:
      break;
  }
  errno = EINVAL;
  return -1;
}

ssize_t FakeV4l2Device::write(int fd, const void* data, size_t size) {
  std::lock_guard lock(mutex_);
  if (!open_.count(fd)) {
    errno = EBADF;
    return -1;
  }
  if (unplugged_) {
    errno = ENODEV;
    return -1;
  }
  size_t n = std::min(size, writeChunk_);
  if (!takeOutputLocked(static_cast<const uint8_t*>(data), n)) return -1;
  return ssize_t(n);
}

void FakeV4l2Device::replug() {
  std::lock_guard lock(mutex_);
  unplugged_ = false;
}

void FakeV4l2Device::setClientCount(uint32_t count) {
  {
    std::lock_guard lock(mutex_);
    clientCount_ = count;
    for (const auto& [fd, type] : subscribed_) {
      v4l2_event ev{};
      ev.type = type;
      std::memcpy(ev.u.data, &count, sizeof count);
      events_[fd].push_back(ev);
    }
  }
  signal();
}

void FakeV4l2Device::failDequeues(int error, int times) {
  std::lock_guard lock(mutex_);
  dequeueError_ = error;
  dequeueFailures_ = times;
}

void FakeV4l2Device::flagErrorBuffers(int times) {
  std::lock_guard lock(mutex_);
  errorBuffers_ = times;
}

void FakeV4l2Device::failWrites(int error, int times) {
  std::lock_guard lock(mutex_);
  failError_ = error;
  failTimes_ = times;
}

int FakeV4l2Device::lastOpenFlags() const {
  std::lock_guard lock(mutex_);
  return lastOpenFlags_;
}

v4l2_fract FakeV4l2Device::lastTimePerFrame() const {
  std::lock_guard lock(mutex_);
  return timePerFrame_;
}

std::vector<platform::Clock::TimePoint> FakeV4l2Device::frameTimes() const {
  std::lock_guard lock(mutex_);
  return frameTimes_;
}

std::vector<size_t> FakeV4l2Device::writeSizes() const {
  std::lock_guard lock(mutex_);
  return writeSizes_;
}

void FakeV4l2Device::setWriteChunk(size_t bytes) {
  std::lock_guard lock(mutex_);
  writeChunk_ = bytes;
}

void FakeV4l2Device::keepLastWriteOnly() {
  std::lock_guard lock(mutex_);
  keepLastWriteOnly_ = true;
}

std::vector<uint8_t> FakeV4l2Device::writtenBytes() const {
  std::lock_guard lock(mutex_);
  return written_;
}

void* FakeV4l2Device::mmap(size_t length, int, off_t offset) {
  std::lock_guard lock(mutex_);
  size_t index = size_t(offset) / 4096;
  if (index >= buffers_.size() || length > buffers_[index].size()) return nullptr;
  return buffers_[index].data();
}

int FakeV4l2Device::munmap(void*, size_t) { return 0; }

bool FakeV4l2Device::readyLocked() const {
  return streaming_ && !frames_.empty() && !queued_.empty();
}

int FakeV4l2Device::waitReadable(int fd, int wakeFd, int timeoutMs) {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (unplugged_) {
        errno = ENODEV;
        return -1;
      }
      if (readyLocked()) return 1;
      auto pending = events_.find(fd);
      if (pending != events_.end() && !pending->second.empty()) return 1;
    }
    struct pollfd fds[2] = {{eventFd_, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    int r = ::poll(fds, wakeFd >= 0 ? 2 : 1, timeoutMs);
    if (r <= 0) return r;
    if (fds[0].revents & POLLIN) {
      // Like the kernel's poll, the device's own state is reported with a wake-up.
      uint64_t v;
      [[maybe_unused]] auto n = ::read(eventFd_, &v, sizeof v);
      continue;
    }
    if (fds[1].revents & POLLIN) return 0;
  }
}

}  // namespace testsupport
