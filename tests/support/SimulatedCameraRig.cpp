#include "SimulatedCameraRig.h"

#include <libyuv.h>
#include <turbojpeg.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "camera/CameraEnvironment.h"
#include "camera/USBManager.h"
#include "camera/VideoDecoder.h"
#include "main/VirtualCameraSink.h"
#include "qt/DeviceMonitor.h"

namespace testsupport {

namespace {

// A frame the driver has no free buffer for is lost, as a real camera's is: never more than
// this many wait in the node.
constexpr size_t kMaxWaitingFrames = 2;

std::vector<uint8_t> encodeBgrx(const std::vector<uint8_t>& pixels, int width, int height) {
  tjhandle h = tjInitCompress();
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> out;
  if (tjCompress2(h, pixels.data(), width, width * 4, height, TJPF_BGRX, &buf, &size, TJSAMP_422,
                  85, TJFLAG_FASTDCT) == 0)
    out.assign(buf, buf + size);
  tjFree(buf);
  tjDestroy(h);
  return out;
}

}  // namespace

std::vector<std::vector<uint8_t>> SimulatedCameraRig::clipFrames(const std::string& path, int width,
                                                                 int height, int count,
                                                                 std::string* error) {
  std::vector<std::vector<uint8_t>> frames;
  std::string why;
  auto decoder = corvane::VideoDecoder::open(path, why);
  if (!decoder) {
    if (error) *error = why;
    return frames;
  }
  const int w = decoder->width(), h = decoder->height();
  std::vector<uint8_t> argb(size_t(w) * h * 4);
  std::vector<uint8_t> scaled(size_t(width) * height * 4);
  bool more = true;
  while (int(frames.size()) < count && more) {
    platform::PixelBufferRef frame = decoder->currentBuffer();
    if (!frame) break;
    // The decoder hands out full-range NV12, as the camera's own frames are.
    libyuv::NV12ToARGBMatrix(frame->baseAddress(0), int(frame->bytesPerRow(0)),
                             frame->baseAddress(1), int(frame->bytesPerRow(1)), argb.data(), w * 4,
                             &libyuv::kYuvJPEGConstants, w, h);
    const std::vector<uint8_t>* pixels = &argb;
    if (w != width || h != height) {
      libyuv::ARGBScale(argb.data(), w * 4, w, h, scaled.data(), width * 4, width, height,
                        libyuv::kFilterBilinear);
      pixels = &scaled;
    }
    frames.push_back(encodeBgrx(*pixels, width, height));
    more = decoder->advance();
  }
  if (frames.empty() && error) *error = "no frame could be decoded";
  return frames;
}

SimulatedCameraRig::SimulatedCameraRig(Options options)
    : options_(std::move(options)),
      usb_(std::make_shared<SimulatedCamera>()),
      ownEvents_(std::make_unique<FakeDeviceEventSource>()) {
  events_ = ownEvents_.get();
  usb_->setApiLevel(5);
  usb_->addMode(uint16_t(options_.width), uint16_t(options_.height), {360, 101, 360, 120, 1});
  std::lock_guard lock(mutex_);
  addNodesLocked();
  // The virtual camera's device, made beforehand as scripts/setup's module makes it.
  sysfs_.addVirtualNode(kLoopbackNode, corvane::VirtualCameraSink::kCardLabel);
  loopback_.addNode(sysfs_.devicePath(kLoopbackNode),
                    FakeV4l2Device::loopbackNode(corvane::VirtualCameraSink::kCardLabel, 7,
                                                 platform::LoopbackOutput::kClientUsageEvent));
  loopback_.keepLastWriteOnly();
  loopbackOutput_ =
      std::make_unique<platform::LoopbackOutput>(loopback_, sysfs_.sysRoot(), sysfs_.devRoot());
}

SimulatedCameraRig::~SimulatedCameraRig() { stop(); }

void SimulatedCameraRig::addNodesLocked() {
  sysfs_.addUsbVideoNode(kCaptureNode, kUsbPort, SimulatedCamera::kVendorId,
                         SimulatedCamera::kProductId, options_.name);
  sysfs_.addUsbVideoNode(kMetadataNode, kUsbPort, SimulatedCamera::kVendorId,
                         SimulatedCamera::kProductId, options_.name);
  std::ofstream(sysfs_.sysRoot() + "/class/video4linux/" + kMetadataNode + "/index") << "1\n";
  addDeviceNodesLocked();
}

void SimulatedCameraRig::addDeviceNodesLocked() {
  FakeV4l2Device::Node capture;
  capture.card = options_.name;
  capture.busInfo = std::string("usb-0000:00:14.0-") + kUsbPort;
  capture.formats = {{V4L2_PIX_FMT_MJPEG, {{1280, 720}, {options_.width, options_.height}}, {30}}};
  capture_.addNode(sysfs_.devicePath(kCaptureNode), capture);
  FakeV4l2Device::Node metadata = capture;
  metadata.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
  metadata.formats = {};
  capture_.addNode(sysfs_.devicePath(kMetadataNode), metadata);
}

void SimulatedCameraRig::install() {
  std::lock_guard lock(mutex_);
  if (installed_) return;
  installed_ = true;
  FakeV4l2Device* capture = &capture_;
  const std::string sysRoot = sysfs_.sysRoot(), devRoot = sysfs_.devRoot();
  corvane::CameraEnvironment::useDevices([capture, sysRoot, devRoot](auto& env) {
    env.v4l2 = capture;
    env.sysRoot = sysRoot;
    env.devRoot = devRoot;
  });
  corvane::USBManager::useConnector(usb_->connector());
  platform::DeviceMonitor::useSource(std::move(ownEvents_));
  corvane::VirtualCameraSink::useOutput(loopbackOutput_.get());
}

void SimulatedCameraRig::start() {
  std::lock_guard lock(mutex_);
  if (thread_.joinable()) return;
  stopping_ = false;
  thread_ = std::thread([this] { streamLoop(); });
}

void SimulatedCameraRig::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void SimulatedCameraRig::streamLoop() {
  using Clock = std::chrono::steady_clock;
  std::unique_lock lock(mutex_);
  const auto period = std::chrono::nanoseconds(1'000'000'000LL / options_.framesPerSecond);
  auto due = Clock::now();
  while (!stopping_) {
    if (plugged_ && !stalled_ && !options_.frames.empty() &&
        capture_.pendingFrames() < kMaxWaitingFrames) {
      capture_.pushFrame(options_.frames[next_ % options_.frames.size()]);
      ++next_;
      ++streamed_;
    }
    due += period;
    // A loop that fell behind (a busy machine) does not try to catch up with a burst.
    if (due < Clock::now()) due = Clock::now();
    wake_.wait_until(lock, due, [this] { return stopping_; });
  }
}

void SimulatedCameraRig::unplug() {
  std::lock_guard lock(mutex_);
  if (!plugged_) return;
  plugged_ = false;
  usb_->unplug();
  capture_.unplug();
  sysfs_.removeUsbDevice(kUsbPort);
  const std::string usbPath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + std::string(kUsbPort);
  for (const char* node : {kMetadataNode, kCaptureNode})
    events_->push({"remove", "video4linux", "/dev/" + std::string(node),
                   usbPath + "/" + kUsbPort + ":1.0/video4linux/" + node});
  events_->push({"remove", "usb", "/dev/bus/usb/001/002", usbPath});
}

void SimulatedCameraRig::plug() {
  std::lock_guard lock(mutex_);
  if (plugged_) return;
  plugged_ = true;
  addNodesLocked();
  capture_.replug();
  usb_->plugIn();
  const std::string usbPath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + std::string(kUsbPort);
  events_->push({"add", "usb", "/dev/bus/usb/001/003", usbPath});
  for (const char* node : {kCaptureNode, kMetadataNode})
    events_->push({"add", "video4linux", "/dev/" + std::string(node),
                   usbPath + "/" + kUsbPort + ":1.0/video4linux/" + node});
}

bool SimulatedCameraRig::pluggedIn() const {
  std::lock_guard lock(mutex_);
  return plugged_;
}

void SimulatedCameraRig::failOneBuffer(int error) { capture_.failDequeues(error, 1); }

void SimulatedCameraRig::flagOneBuffer() { capture_.flagErrorBuffers(1); }

void SimulatedCameraRig::setStalled(bool stalled) {
  std::lock_guard lock(mutex_);
  stalled_ = stalled;
}

bool SimulatedCameraRig::stalled() const {
  std::lock_guard lock(mutex_);
  return stalled_;
}

void SimulatedCameraRig::setFrames(int width, int height,
                                   std::vector<std::vector<uint8_t>> frames) {
  std::lock_guard lock(mutex_);
  options_.width = width;
  options_.height = height;
  options_.frames = std::move(frames);
  next_ = 0;
  usb_->addMode(uint16_t(width), uint16_t(height), {360, 101, 360, 120, 1});
  addDeviceNodesLocked();
}

// The voice-direction request: the camera's extension unit 3, selector 0x0B. Its type code stays
// the one the rig starts with (0), which makes the camera the program's voice source.
void SimulatedCameraRig::setVoice(std::optional<int> degrees) {
  usb_->setDoaBlock(SimulatedCamera::doaBlock(0, degrees.has_value(), degrees.value_or(0)));
}

void SimulatedCameraRig::failVoiceRequest(std::optional<SimulatedCamera::Failure> failure) {
  usb_->failSelector(failure, 0x0300, 0x0B);
}

size_t SimulatedCameraRig::loopbackFrames() const { return loopback_.writeSizes().size(); }

}  // namespace testsupport
