#include "capture/CaptureSession.h"

#include <fcntl.h>
#include <libyuv.h>
#include <linux/videodev2.h>
#include <syslog.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "capture/StreamFailureRule.h"

#include "dispatch/ThreadStart.h"

namespace platform {

namespace {

// Video-range luma 16..235 and chroma 16..240 stretched to the full 0..255 the frames carry.
struct RangeTables {
  std::array<uint8_t, 256> luma{}, chroma{};
  RangeTables() {
    for (int v = 0; v < 256; ++v) {
      int y = ((v - 16) * 255 + 109) / 219;
      int c = ((v - 128) * 255) / 224 + 128;
      luma[v] = uint8_t(y < 0 ? 0 : y > 255 ? 255 : y);
      chroma[v] = uint8_t(c < 0 ? 0 : c > 255 ? 255 : c);
    }
  }
};

void expandRange(PixelBuffer& frame) {
  static const RangeTables tables;
  for (size_t p = 0; p < 2; ++p) {
    const auto& lut = p == 0 ? tables.luma : tables.chroma;
    size_t rowBytes = size_t(frame.width());
    for (int y = 0; y < frame.planeHeight(p); ++y) {
      uint8_t* row = frame.baseAddress(p) + size_t(y) * frame.bytesPerRow(p);
      for (size_t x = 0; x < rowBytes; ++x) row[x] = lut[row[x]];
    }
  }
}

void defaultLog(const std::string& line) { syslog(LOG_WARNING, "capture: %s", line.c_str()); }

}  // namespace

CaptureSession::CaptureSession(V4l2Api& api) : CaptureSession(api, Options{}) {}

CaptureSession::CaptureSession(V4l2Api& api, Options options) : api_(api), options_(options) {}

CaptureSession::~CaptureSession() { stopRunning(); }

bool CaptureSession::canAddInput(const CaptureDevice& device) const {
  std::lock_guard lock(mutex_);
  return !device_ && device.hasVideo() && !device.devicePath.empty();
}

void CaptureSession::addInput(const CaptureDevice& device) {
  std::lock_guard lock(mutex_);
  device_ = device;
}

void CaptureSession::setActiveFormat(const CaptureFormat& format) {
  std::lock_guard lock(mutex_);
  requested_ = format;
}

void CaptureSession::setSampleBufferDelegate(SampleBufferDelegate* delegate, SerialQueue* queue) {
  std::lock_guard lock(mutex_);
  delegate_ = delegate;
  queue_ = queue;
}

bool CaptureSession::isRunning() const { return running_; }

std::optional<CaptureFormat> CaptureSession::acceptedFormat() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

std::string CaptureSession::lastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

CaptureSession::StartFailure CaptureSession::lastFailure() const {
  std::lock_guard lock(mutex_);
  return lastFailure_;
}

CaptureSession::StartFailure CaptureSession::failureOf(int error, StartFailure otherwise) {
  if (error == EBUSY) return StartFailure::busy;
  if (error == EACCES || error == EPERM) return StartFailure::permission;
  return otherwise;
}

bool CaptureSession::fail(const std::string& what, StartFailure kind) {
  {
    std::lock_guard lock(mutex_);
    lastError_ = what;
    lastFailure_ = kind;
  }
  defaultLog(what);
  teardown();
  return false;
}

bool CaptureSession::startRunning() {
  if (running_) return true;
  CaptureDevice device;
  CaptureFormat format;
  {
    std::lock_guard lock(mutex_);
    if (!device_) {
      lastError_ = "no device";
      lastFailure_ = StartFailure::other;
      return false;
    }
    lastFailure_ = StartFailure::none;
    device = *device_;
    format = requested_ ? *requested_ : device.formats.front();
  }
  fd_ = api_.open(device.devicePath.c_str(), O_RDWR | O_NONBLOCK);
  if (fd_ < 0) {
    int error = errno;
    return fail("cannot open " + device.devicePath + ": " + std::strerror(error),
                failureOf(error, StartFailure::other));
  }

  v4l2_format fmt{};
  fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  fmt.fmt.pix.width = uint32_t(format.width);
  fmt.fmt.pix.height = uint32_t(format.height);
  fmt.fmt.pix.pixelformat = format.fourcc;
  fmt.fmt.pix.field = V4L2_FIELD_ANY;
  if (api_.ioctl(fd_, VIDIOC_S_FMT, &fmt) != 0) {
    // Busy: another program streams from the camera and holds its format.
    int error = errno;
    return fail("setting the format failed: " + std::string(std::strerror(error)),
                failureOf(error, StartFailure::format));
  }
  // The driver may adjust what it was asked for: work with what it accepted.
  CaptureFormat accepted = format;
  accepted.fourcc = fmt.fmt.pix.pixelformat;
  accepted.name = CaptureFormat::nameOf(accepted.fourcc);
  accepted.width = int(fmt.fmt.pix.width);
  accepted.height = int(fmt.fmt.pix.height);
  uint32_t f = accepted.fourcc;
  if (f != V4L2_PIX_FMT_MJPEG && f != V4L2_PIX_FMT_JPEG && f != V4L2_PIX_FMT_YUYV &&
      f != V4L2_PIX_FMT_NV12)
    return fail("the device delivers " + accepted.name + ", which cannot be converted",
                StartFailure::format);
  if (accepted.width < 2 || accepted.height < 2 || accepted.width % 2 || accepted.height % 2)
    return fail("the device accepted an unusable size", StartFailure::format);
  {
    std::lock_guard lock(mutex_);
    accepted_ = accepted;
  }

  v4l2_requestbuffers req{};
  req.count = uint32_t(options_.bufferCount);
  req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  req.memory = V4L2_MEMORY_MMAP;
  if (api_.ioctl(fd_, VIDIOC_REQBUFS, &req) != 0) {
    int error = errno;
    return fail("the device gave no capture buffers: " + std::string(std::strerror(error)),
                failureOf(error, StartFailure::other));
  }
  if (req.count < 2)
    return fail("the device gave no capture buffers: " + std::to_string(req.count) +
                    " buffer(s) where 2 are needed",
                StartFailure::other);
  for (uint32_t i = 0; i < req.count; ++i) {
    v4l2_buffer buf{};
    buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buf.memory = V4L2_MEMORY_MMAP;
    buf.index = i;
    if (api_.ioctl(fd_, VIDIOC_QUERYBUF, &buf) != 0) return fail("querying a buffer failed");
    void* p = api_.mmap(buf.length, fd_, off_t(buf.m.offset));
    if (!p) return fail("mapping a buffer failed");
    mappings_.push_back({p, buf.length});
    if (api_.ioctl(fd_, VIDIOC_QBUF, &buf) != 0) return fail("queueing a buffer failed");
  }
  if (pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) return fail("no wake pipe");

  if (f == V4L2_PIX_FMT_MJPEG || f == V4L2_PIX_FMT_JPEG) {
    decoder_ = std::make_unique<MjpegDecoderPool>(
        options_.decodeWorkers, accepted.width, accepted.height,
        [this](const PixelBufferRef& frame, int64_t ts) { deliver(frame, ts); }, defaultLog);
  } else {
    convertBuffers_ = std::make_unique<FrameBufferPool>(accepted.width, accepted.height, 4);
  }
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (api_.ioctl(fd_, VIDIOC_STREAMON, &type) != 0) {
    int error = errno;
    return fail("starting the stream failed: " + std::string(std::strerror(error)),
                failureOf(error, StartFailure::other));
  }
  stopping_ = false;
  running_ = true;
  if (auto refused = ThreadStart::start(thread_, [this] { captureLoop(); })) {
    running_ = false;
    return fail("the capture thread cannot be started: " + *refused);
  }
  return true;
}

void CaptureSession::captureLoop() {
  std::string node;
  {
    std::lock_guard lock(mutex_);
    if (device_) node = device_->devicePath;
  }
  StreamFailureRule rule;
  StreamFailureRule::Verdict verdict = StreamFailureRule::Verdict::retry;
  // Whether a failure with `error` ends the loop.
  auto ends = [&](int error) {
    std::error_code ec;
    verdict = rule.onFailure(error, node.empty() || std::filesystem::exists(node, ec));
    if (verdict == StreamFailureRule::Verdict::skip)
      defaultLog(std::string("a capture buffer failed (") + std::strerror(error) +
                 "): skipped, streaming goes on");
    return verdict == StreamFailureRule::Verdict::unplugged ||
           verdict == StreamFailureRule::Verdict::ended;
  };
  while (!stopping_) {
    int r = api_.waitReadable(fd_, wakeFds_[0], 1000);
    if (stopping_) break;
    if (r < 0) {
      if (ends(errno)) break;
      continue;
    }
    if (r == 0) continue;
    v4l2_buffer buf{};
    buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buf.memory = V4L2_MEMORY_MMAP;
    if (api_.ioctl(fd_, VIDIOC_DQBUF, &buf) != 0) {
      if (ends(errno)) break;
      continue;
    }
    if (buf.index < mappings_.size() && !(buf.flags & V4L2_BUF_FLAG_ERROR)) {
      rule.onFrame();
      size_t used = std::min<size_t>(buf.bytesused, mappings_[buf.index].length);
      int64_t ts = int64_t(buf.timestamp.tv_sec) * 1000000 + buf.timestamp.tv_usec;
      handleBuffer(static_cast<const uint8_t*>(mappings_[buf.index].address), used, ts);
    } else if (ends(StreamFailureRule::kFlaggedBufferError)) {
      break;
    }
    if (api_.ioctl(fd_, VIDIOC_QBUF, &buf) != 0 && ends(errno)) break;
  }
  const bool unplugged = verdict == StreamFailureRule::Verdict::unplugged;
  if ((unplugged || verdict == StreamFailureRule::Verdict::ended) && !stopping_) {
    running_ = false;
    const int error = rule.lastError();
    defaultLog(unplugged ? "the camera went away"
                         : std::string("capture stopped: ") + std::strerror(error));
    SampleBufferDelegate* delegate;
    SerialQueue* queue;
    {
      std::lock_guard lock(mutex_);
      delegate = delegate_;
      queue = queue_;
    }
    int reported = unplugged ? ENODEV : error;
    if (delegate && queue)
      queue->async([delegate, reported] { delegate->captureSessionEnded(reported); });
  }
}

void CaptureSession::handleBuffer(const uint8_t* data, size_t size, int64_t timestampUs) {
  SampleBufferDelegate* delegate;
  {
    std::lock_guard lock(mutex_);
    delegate = delegate_;
  }
  if (delegate && !delegate->wantsFrame()) {
    ++thinned_;
    return;
  }
  if (decoder_) {
    if (!decoder_->submit(data, size, timestampUs)) ++discarded_;
    return;
  }
  CaptureFormat fmt = *acceptedFormat();
  int w = fmt.width, h = fmt.height;
  bool yuyv = fmt.fourcc == V4L2_PIX_FMT_YUYV;
  size_t needed = yuyv ? size_t(w) * h * 2 : size_t(w) * h * 3 / 2;
  if (size < needed) {
    ++discarded_;
    defaultLog("short frame dropped");
    return;
  }
  PixelBufferRef frame = convertBuffers_->get();
  if (!frame) {
    ++discarded_;
    return;
  }
  if (yuyv) {
    libyuv::YUY2ToNV12(data, w * 2, frame->baseAddress(0), int(frame->bytesPerRow(0)),
                       frame->baseAddress(1), int(frame->bytesPerRow(1)), w, h);
  } else {
    libyuv::NV12Copy(data, w, data + size_t(w) * h, w, frame->baseAddress(0),
                     int(frame->bytesPerRow(0)), frame->baseAddress(1), int(frame->bytesPerRow(1)),
                     w, h);
  }
  expandRange(*frame);
  deliver(frame, timestampUs);
}

void CaptureSession::deliver(const PixelBufferRef& frame, int64_t timestampUs) {
  SampleBufferDelegate* delegate;
  SerialQueue* queue;
  {
    std::lock_guard lock(mutex_);
    delegate = delegate_;
    queue = queue_;
  }
  if (!delegate || !queue) return;
  // The delegate has not finished the previous frame: this one is late.
  int expected = 0;
  if (!inFlight_->compare_exchange_strong(expected, 1)) {
    ++discarded_;
    return;
  }
  ++delivered_;
  auto inFlight = inFlight_;
  queue->async([delegate, frame, timestampUs, inFlight] {
    delegate->captureOutput(frame, timestampUs);
    inFlight->store(0);
  });
}

void CaptureSession::stopRunning() {
  stopping_ = true;
  if (wakeFds_[1] >= 0) {
    char c = 1;
    [[maybe_unused]] auto n = write(wakeFds_[1], &c, 1);
  }
  if (thread_.joinable()) thread_.join();
  teardown();
  SerialQueue* queue;
  {
    std::lock_guard lock(mutex_);
    queue = queue_;
  }
  // No frame reaches the delegate after this returns.
  if (queue && !queue->isCurrent()) queue->drain();
  running_ = false;
}

void CaptureSession::teardown() {
  if (decoder_) decoder_->drain();
  decoder_.reset();
  if (fd_ >= 0) {
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    api_.ioctl(fd_, VIDIOC_STREAMOFF, &type);
  }
  for (auto& m : mappings_) api_.munmap(m.address, m.length);
  mappings_.clear();
  if (fd_ >= 0) {
    v4l2_requestbuffers req{};
    req.count = 0;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    api_.ioctl(fd_, VIDIOC_REQBUFS, &req);
    api_.close(fd_);
    fd_ = -1;
  }
  for (int& fd : wakeFds_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  convertBuffers_.reset();
  running_ = false;
}

}  // namespace platform
