#include "vcam/LoopbackOutput.h"

#include <fcntl.h>
#include <libyuv.h>
#include <linux/videodev2.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>

namespace fs = std::filesystem;

namespace platform {

namespace {

std::string text(const uint8_t* bytes, size_t n) {
  return std::string(reinterpret_cast<const char*>(bytes),
                     strnlen(reinterpret_cast<const char*>(bytes), n));
}

std::string firstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// Video nodes in the kernel's order: video2 before video10.
std::vector<std::string> videoNodes(const std::string& sysRoot) {
  std::vector<std::string> nodes;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(sysRoot) / "class/video4linux", ec), end;
       !ec && it != end; it.increment(ec)) {
    std::string n = it->path().filename().string();
    if (n.rfind("video", 0) == 0) nodes.push_back(n);
  }
  std::sort(nodes.begin(), nodes.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return nodes;
}

constexpr int kMaxIdleWakes = 3;

}  // namespace

LoopbackOutput::LoopbackOutput(V4l2Api& api, std::string sysRoot, std::string devRoot, Clock* clock)
    : api_(api),
      sysRoot_(std::move(sysRoot)),
      devRoot_(std::move(devRoot)),
      clock_(clock ? *clock : Clock::shared()),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

LoopbackOutput::~LoopbackOutput() {
  stop();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool LoopbackOutput::isUsableLabel(const std::string& label) {
  return !label.empty() && label.size() <= 31 && label.find(',') == std::string::npos &&
         label.find('\n') == std::string::npos;
}

bool LoopbackOutput::hasNodeNamed(const std::string& sysRoot, const std::string& label) {
  if (!isUsableLabel(label)) return false;
  for (const auto& n : videoNodes(sysRoot))
    if (firstLine(fs::path(sysRoot) / "class/video4linux" / n / "name") == label) return true;
  return false;
}

namespace {

// The node as a v4l2loopback device, when the driver says it is one.
std::optional<LoopbackOutput::Device> queryLoopback(V4l2Api& api, const std::string& devRoot,
                                                    const std::string& node,
                                                    const std::string& name) {
  std::string path = (fs::path(devRoot) / node).string();
  int fd = api.open(path.c_str(), O_RDWR | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  v4l2_capability cap{};
  bool ok = api.ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
  api.close(fd);
  // A camera that happens to carry our name is not our sink.
  if (!ok || text(cap.driver, sizeof cap.driver) != "v4l2 loopback") return std::nullopt;
  std::string bus = text(cap.bus_info, sizeof cap.bus_info);
  if (bus.rfind("platform:v4l2loopback", 0) != 0) return std::nullopt;
  return LoopbackOutput::Device{path, text(cap.card, sizeof cap.card), bus, name};
}

}  // namespace

std::optional<LoopbackOutput::Device> LoopbackOutput::findDevice(const std::string& label) const {
  return findDevice(api_, sysRoot_, devRoot_, label);
}

std::optional<LoopbackOutput::Device> LoopbackOutput::findDevice(V4l2Api& api,
                                                                 const std::string& sysRoot,
                                                                 const std::string& devRoot,
                                                                 const std::string& label) {
  if (!isUsableLabel(label)) return std::nullopt;
  for (const auto& n : videoNodes(sysRoot)) {
    if (firstLine(fs::path(sysRoot) / "class/video4linux" / n / "name") != label) continue;
    if (auto d = queryLoopback(api, devRoot, n, label)) return d;
  }
  return std::nullopt;
}

std::vector<LoopbackOutput::Device> LoopbackOutput::loopbackDevices(V4l2Api& api,
                                                                    const std::string& sysRoot,
                                                                    const std::string& devRoot) {
  std::vector<Device> devices;
  for (const auto& n : videoNodes(sysRoot)) {
    std::string name = firstLine(fs::path(sysRoot) / "class/video4linux" / n / "name");
    if (auto d = queryLoopback(api, devRoot, n, name)) devices.push_back(*d);
  }
  return devices;
}

void LoopbackOutput::setHandlers(Handlers handlers) {
  std::lock_guard lock(mutex_);
  handlers_ = std::move(handlers);
}

bool LoopbackOutput::start(const Device& device, int width, int height, int framesPerSecond) {
  stop();
  if (width <= 0 || height <= 0 || width % 2 || framesPerSecond <= 0) {
    setError("unusable output size");
    return false;
  }
  bool ok = false;
  queue_.sync([&] { ok = openDevice(device, width, height, framesPerSecond); });
  if (!ok) return false;
  width_ = width;
  height_ = height;
  lastIndex_ = -1;
  connected_ = true;
  ready_ = true;
  {
    std::lock_guard lock(repeatMutex_);
    repeatAllowed_ = true;
    repeatPeriod_ =
        std::chrono::duration_cast<Clock::Duration>(std::chrono::seconds(1)) / framesPerSecond;
  }
  // A module that tells its readers arms the repeat when the first one comes; one that cannot
  // tell gets the repeat all the time.
  if (clientUsage_ != ClientUsage::None)
    queue_.async([this] { waitForEvents(); });
  else
    setRepeating(true);
  return true;
}

void LoopbackOutput::setRepeating(bool on) {
  std::unique_ptr<DispatchTimer> ended;
  {
    std::lock_guard lock(repeatMutex_);
    if (!on || !repeatAllowed_) {
      ended = std::move(repeatTimer_);
    } else if (!repeatTimer_) {
      // The repeat's tick wakes the event watch so that the sink's queue takes the repeat.
      repeatTimer_ = std::make_unique<DispatchTimer>(tickQueue_, clock_);
      repeatTimer_->setEventHandler([this] {
        queue_.async([this] { repeatLastFrame(); });
        wake();
      });
      repeatTimer_->schedule(repeatPeriod_, repeatPeriod_);
      repeatTimer_->resume();
    }
  }
  // Outside the lock: ending a timer waits for a firing under way.
  ended.reset();
}

bool LoopbackOutput::openDevice(const Device& device, int width, int height, int framesPerSecond) {
  // Read and write: the module's buffers are mapped for writing.
  int fd = api_.open(device.devicePath.c_str(), O_RDWR | O_NONBLOCK);
  if (fd < 0) {
    setError("cannot open " + device.devicePath + ": " + std::strerror(errno));
    return false;
  }
  fd_ = fd;
  v4l2_format current{};
  current.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  // The node must take the output format requests at all (a module left by a writer that never
  // streamed may not, until it is set again).
  if (api_.ioctl(fd, VIDIOC_G_FMT, &current) != 0)
    setError(std::string("the loopback device gave no output format: ") + std::strerror(errno));
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
    setError("the loopback device refused YUYV " + std::to_string(width) + "x" +
             std::to_string(height));
    closeDevice();
    return false;
  }
  size_t row = std::max<size_t>(fmt.fmt.pix.bytesperline, size_t(width) * 2);
  size_t size = std::max<size_t>(fmt.fmt.pix.sizeimage, row * size_t(height));
  for (auto& b : pool_) {
    b.bytesPerRow = row;
    b.bytes.assign(size, 0);
  }

  v4l2_streamparm parm{};
  parm.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  parm.parm.output.timeperframe.numerator = 1;
  parm.parm.output.timeperframe.denominator = uint32_t(framesPerSecond);
  // A module that keeps its own rate still shows the picture; only the advertised rate differs.
  if (api_.ioctl(fd, VIDIOC_S_PARM, &parm) != 0)
    setError(std::string("the loopback device kept its frame rate: ") + std::strerror(errno));

  if (!startStreaming()) {
    closeDevice();
    return false;
  }

  // One black frame, so that with exclusive_caps=1 the device is listed as a camera at once.
  black_ = YuyvBuffer{std::vector<uint8_t>(size), row};
  for (size_t i = 0; i + 1 < size; i += 2) {
    black_.bytes[i] = 16;
    black_.bytes[i + 1] = 128;
  }
  last_ = nullptr;
  freshSinceTick_ = false;
  stillRepeats_ = 0;
  slowed_ = false;
  opening_ = true;
  if (writeFrame(black_)) last_ = &black_;
  opening_ = false;
  if (fd_ < 0) return false;
  subscribeClientUsage();
  return true;
}

bool LoopbackOutput::startStreaming() {
  transfer_ = mapBuffers() ? Transfer::MappedBuffers : Transfer::Write;
  int type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  if (api_.ioctl(fd_, VIDIOC_STREAMON, &type) == 0) {
    streamOn_ = true;
    return true;
  }
  int e = errno;
  if (e == ENODEV || e == EIO) {
    setError(std::string("the loopback device is gone: ") + std::strerror(e));
    return false;
  }
  if (transfer_ == Transfer::MappedBuffers) {
    // Buffers but no stream: the module's write() still takes frames.
    releaseBuffers();
    transfer_ = Transfer::Write;
  }
  // A module that streams only by write() may refuse STREAMON; the frames still go.
  setError(std::string("the loopback device refused STREAMON: ") + std::strerror(e));
  return true;
}

bool LoopbackOutput::mapBuffers() {
  v4l2_requestbuffers request{};
  request.count = kBufferCount;
  request.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  request.memory = V4L2_MEMORY_MMAP;
  if (api_.ioctl(fd_, VIDIOC_REQBUFS, &request) != 0 || request.count == 0) return false;
  mapped_.assign(request.count, MappedBuffer{});
  for (uint32_t i = 0; i < request.count; ++i) {
    v4l2_buffer buffer{};
    buffer.index = i;
    buffer.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    buffer.memory = V4L2_MEMORY_MMAP;
    void* address = nullptr;
    if (api_.ioctl(fd_, VIDIOC_QUERYBUF, &buffer) == 0)
      address = api_.mmap(buffer.length, fd_, off_t(buffer.m.offset));
    if (!address || address == MAP_FAILED) {
      releaseBuffers();
      return false;
    }
    mapped_[i] = MappedBuffer{static_cast<uint8_t*>(address), buffer.length, false};
  }
  return true;
}

void LoopbackOutput::releaseBuffers() {
  bool any = !mapped_.empty();
  for (auto& m : mapped_)
    if (m.address) api_.munmap(m.address, m.length);
  mapped_.clear();
  if (!any || fd_ < 0) return;
  v4l2_requestbuffers request{};
  request.count = 0;
  request.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  request.memory = V4L2_MEMORY_MMAP;
  api_.ioctl(fd_, VIDIOC_REQBUFS, &request);
}

void LoopbackOutput::subscribeClientUsage() {
  streaming_ = false;
  idleWakes_ = 0;
  for (uint32_t type : {kClientUsageEvent, kLegacyClientUsageEvent}) {
    v4l2_event_subscription sub{};
    sub.type = type;
    sub.flags = V4L2_EVENT_SUB_FL_SEND_INITIAL;
    if (api_.ioctl(fd_, VIDIOC_SUBSCRIBE_EVENT, &sub) == 0) {
      clientUsage_ = type == kClientUsageEvent ? ClientUsage::Current : ClientUsage::Legacy;
      return;
    }
  }
  clientUsage_ = ClientUsage::None;
}

void LoopbackOutput::stop() {
  ready_ = false;
  // No tick starts after this, and none still on its way queues a repeat behind the close.
  {
    std::lock_guard lock(repeatMutex_);
    repeatAllowed_ = false;
  }
  setRepeating(false);
  tickQueue_.drain();
  queue_.async([this] { closeDevice(); });
  drain();
  connected_ = false;
  streaming_ = false;
}

void LoopbackOutput::closeDevice() {
  if (fd_ >= 0 && streamOn_) {
    int type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    api_.ioctl(fd_, VIDIOC_STREAMOFF, &type);
  }
  streamOn_ = false;
  releaseBuffers();
  if (fd_ >= 0) api_.close(fd_);
  fd_ = -1;
  last_ = nullptr;
  transfer_ = Transfer::None;
}

std::string LoopbackOutput::lastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

void LoopbackOutput::setError(std::string error) {
  std::lock_guard lock(mutex_);
  lastError_ = std::move(error);
}

bool LoopbackOutput::enqueueFrame(const PixelBufferRef& bgra) {
  if (!bgra || bgra->format() != PixelFormat::BGRA) {
    ++dropped_;
    return false;
  }
  bool expected = true;
  // Taking the flag in one step, before the hand-off: the writer sets it again when its write
  // ends, so an early completion is never lost and a failed write never stalls the sink.
  if (!ready_.compare_exchange_strong(expected, false)) {
    ++dropped_;
    return false;
  }
  // Never the buffer the writer may still send again as the last frame.
  const int index = lastIndex_ == 0 ? 1 : 0;
  YuyvBuffer& out = pool_[size_t(index)];
  const uint8_t* src = bgra->baseAddress(0);
  int srcRow = int(bgra->bytesPerRow(0));
  bgra->lock(true);
  if (bgra->width() != width_ || bgra->height() != height_) {
    scaled_.resize(size_t(width_) * height_ * 4);
    libyuv::ARGBScale(src, srcRow, bgra->width(), bgra->height(), scaled_.data(), width_ * 4,
                      width_, height_, libyuv::kFilterBilinear);
    src = scaled_.data();
    srcRow = width_ * 4;
  }
  // BGRA in memory is libyuv's ARGB.
  libyuv::ARGBToYUY2(src, srcRow, out.bytes.data(), int(out.bytesPerRow), width_, height_);
  bgra->unlock(true);
  queue_.async([this, &out, index] {
    freshSinceTick_ = true;
    stillRepeats_ = 0;
    if (slowed_) {
      slowed_ = false;
      Clock::Duration period;
      {
        std::lock_guard lock(repeatMutex_);
        period = repeatPeriod_;
      }
      setRepeatPeriod(period);
    }
    if (writeFrame(out)) {
      last_ = &out;
      lastIndex_ = index;
    }
    ready_ = fd_ >= 0;
  });
  wake();
  return true;
}

bool LoopbackOutput::writeFrame(const YuyvBuffer& buffer) {
  if (fd_ < 0) return false;
  bool ok = transfer_ == Transfer::MappedBuffers ? queueFrame(buffer) : writeBytes(buffer);
  if (ok) ++written_;
  return ok;
}

// A free buffer (taking back those the module is done with), filled and queued.
bool LoopbackOutput::queueFrame(const YuyvBuffer& buffer) {
  for (;;) {
    v4l2_buffer done{};
    done.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    done.memory = V4L2_MEMORY_MMAP;
    if (api_.ioctl(fd_, VIDIOC_DQBUF, &done) != 0) break;
    if (done.index < mapped_.size()) mapped_[done.index].queued = false;
  }
  auto free =
      std::find_if(mapped_.begin(), mapped_.end(), [](const MappedBuffer& m) { return !m.queued; });
  if (free == mapped_.end()) {  // the module is behind: this frame only is lost
    ++dropped_;
    return false;
  }
  size_t n = std::min(free->length, buffer.bytes.size());
  std::memcpy(free->address, buffer.bytes.data(), n);
  v4l2_buffer b{};
  b.index = uint32_t(free - mapped_.begin());
  b.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  b.memory = V4L2_MEMORY_MMAP;
  b.bytesused = uint32_t(n);
  b.field = V4L2_FIELD_NONE;
  if (api_.ioctl(fd_, VIDIOC_QBUF, &b) != 0) return failed("queueing a frame", errno);
  free->queued = true;
  return true;
}

bool LoopbackOutput::failed(const char* what, int error) {
  if (error == EAGAIN) {  // the device is full: this frame only is lost
    ++dropped_;
    return false;
  }
  setError(std::string(what) + " failed: " + std::strerror(error));
  if (error == ENODEV || error == EIO)
    lost(std::string("the loopback device is gone: ") + std::strerror(error));
  return false;
}

bool LoopbackOutput::writeBytes(const YuyvBuffer& buffer) {
  size_t done = 0;
  while (done < buffer.bytes.size()) {
    ssize_t n = api_.write(fd_, buffer.bytes.data() + done, buffer.bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failed("writing a frame", errno);
    if (n == 0) {
      setError("the loopback device took no bytes");
      return false;
    }
    done += size_t(n);
  }
  return true;
}

// Each tick of the announced rate: when no fresh frame came since the last tick, the last one
// goes again.
void LoopbackOutput::repeatLastFrame() {
  if (fd_ < 0 || !last_) return;
  if (freshSinceTick_) {
    freshSinceTick_ = false;
    stillRepeats_ = 0;
    return;
  }
  if (writeFrame(*last_)) ++repeated_;
  if (slowed_ || clientUsage_ != ClientUsage::None) return;
  Clock::Duration period;
  {
    std::lock_guard lock(repeatMutex_);
    period = repeatPeriod_;
  }
  if (period.count() > 0 && ++stillRepeats_ * period >= std::chrono::seconds(1)) {
    slowed_ = true;
    setRepeatPeriod(kStillPeriod);
  }
}

void LoopbackOutput::setRepeatPeriod(Clock::Duration period) {
  std::lock_guard lock(repeatMutex_);
  if (repeatTimer_) repeatTimer_->schedule(period, period);
}

void LoopbackOutput::lost(const std::string& reason) {
  closeDevice();
  connected_ = false;
  ready_ = false;
  setRepeating(false);  // nothing to repeat into
  if (opening_) return;  // start() reports it
  Handlers h;
  {
    std::lock_guard lock(mutex_);
    h = handlers_;
  }
  if (streaming_.exchange(false) && h.streamStateChanged) h.streamStateChanged(false);
  if (h.disconnected) h.disconnected(reason);
}

// The event watch is a task that waits on the device and the wake descriptor, then queues itself
// again behind whatever was queued meanwhile (the frames to write, a stop).
void LoopbackOutput::waitForEvents() {
  if (fd_ < 0) return;
  int r = api_.waitReadable(fd_, wakeFd_, -1);
  if (r < 0) {
    setError(std::string("watching the loopback device failed: ") + std::strerror(errno));
    if (errno == ENODEV || errno == EIO) lost("the loopback device is gone");
    return;
  }
  if (r == 1 && !readEvents()) {
    // Ready without an event: a module whose poll says so for writers. Stop watching rather
    // than spin; the state stays as it is.
    if (++idleWakes_ >= kMaxIdleWakes) {
      setError("the loopback device signals no events; its stream state is not watched");
      // Whether anyone reads is not known from now on: the repeat keeps a reader's picture.
      setRepeating(true);
      return;
    }
  }
  clearWake();
  queue_.async([this] { waitForEvents(); });
}

bool LoopbackOutput::readEvents() {
  bool any = false;
  v4l2_event ev{};
  while (fd_ >= 0 && api_.ioctl(fd_, VIDIOC_DQEVENT, &ev) == 0) {
    any = true;
    idleWakes_ = 0;
    if (ev.type != kClientUsageEvent && ev.type != kLegacyClientUsageEvent) continue;
    uint32_t count = 0;
    std::memcpy(&count, ev.u.data, sizeof count);
    bool now = count > 0;
    if (streaming_.exchange(now) == now) continue;
    setRepeating(now);
    Handlers h;
    {
      std::lock_guard lock(mutex_);
      h = handlers_;
    }
    if (h.streamStateChanged) h.streamStateChanged(now);
    ev = v4l2_event{};
  }
  return any;
}

void LoopbackOutput::wake() {
  uint64_t one = 1;
  if (wakeFd_ >= 0) [[maybe_unused]]
    auto n = ::write(wakeFd_, &one, sizeof one);
}

void LoopbackOutput::clearWake() {
  uint64_t v;
  if (wakeFd_ >= 0) [[maybe_unused]]
    auto n = ::read(wakeFd_, &v, sizeof v);
}

void LoopbackOutput::drain() {
  // A repeat tick on its way queues its repeat first.
  tickQueue_.drain();
  // The marker goes in before the wake: a woken event watch queues itself behind it.
  std::promise<void> done;
  auto finished = done.get_future();
  queue_.async([&done] { done.set_value(); });
  wake();
  finished.wait();
}

}  // namespace platform
