#include "camera/CameraManager.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "Bundle.h"
#include "FreedMemory.h"
#include "Paths.h"
#include "camera/CameraEnvironment.h"
#include "camera/CameraTuning.h"
#include "camera/CaptureFormatInfo.h"
#include "camera/PlayerManager.h"
#include "camera/ReSpeakerManager.h"
#include "camera/SetUpRestore.h"
#include "camera/USBManager.h"
#include "capture/CaptureDeviceDiscovery.h"
#include "config/ConfigManager.h"
#include "controlboard/ControlBoardViewModel.h"
#include "dispatch/MainQueue.h"
#include "log/LogManager.h"
#include "qt/DeviceMonitor.h"
#include "qt/UserDefaults.h"
#include "render/EffectView.h"
#include "render/FrameSizeLimits.h"
#include "util/StringExtension.h"

namespace corvane {

namespace {

using namespace std::chrono_literals;

double secondsSince1970(platform::Clock& clock) {
  return std::chrono::duration<double>(clock.wallNow().time_since_epoch()).count();
}

// For the gaps between frames: a change of the wall clock must not make a stall of a healthy
// camera, nor hide one.
double monotonicSeconds(platform::Clock& clock) {
  return std::chrono::duration<double>(clock.now().time_since_epoch()).count();
}

// The shortest decimal form that reads back as the same double ("3840.0" for whole numbers).
std::string shortest(double v) {
  char buffer[64];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, v);
    if (std::strtod(buffer, nullptr) == v) break;
  }
  std::string s = buffer;
  if (std::isfinite(v) && s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string hex4(int64_t v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%04llx", static_cast<unsigned long long>(v));
  return buffer;
}

const char* text(bool b) { return b ? "true" : "false"; }

bool contains(const std::vector<std::string>& list, const std::string& s) {
  return std::find(list.begin(), list.end(), s) != list.end();
}

enum ControlIndex { kBrightness, kFlicker, kContrast, kSaturation, kSharpness, kGamma };

}  // namespace

// One connection run: the discovery passes made so far and whether it reconnects.
struct CameraManager::Run {
  uint64_t generation = 0;
  bool reconnect = false;
  int64_t attempts = 0;
  int64_t retryTime = 0;
  bool sessionReplaced = false;
  std::string error;  // the localisation key of why a found camera did not start
};

CameraManager& CameraManager::shared() {
  // Never destroyed: queued work of the capture and USB sides may still run at exit.
  static CameraManager* instance = new CameraManager(CameraEnvironment::process());
  return *instance;
}

CameraManager::CameraManager(Environment environment)
    : detectEvent(Observable<double>::make(secondsSince1970(platform::Clock::shared()) * 1000.0)),
      env_(std::move(environment)),
      clock_(platform::Clock::shared()) {
  if (!env_.v4l2) env_.v4l2 = &platform::V4l2Api::system();
  if (!env_.parseModelId) {
    env_.parseModelId = [](const std::string& modelID,
                           std::string* error) -> std::optional<VendorProduct> {
      StringExtension::VendorProductResult r = StringExtension::parseVendorProductID(modelID);
      if (r.value) return VendorProduct{r.value->vendorID, r.value->productID};
      if (error)
        *error = r.error ? r.error->domain + " error " + std::to_string(r.error->code) + " (" +
                               modelID + ")"
                         : modelID;
      return std::nullopt;
    };
  }
  if (!env_.defaults) env_.defaults = &platform::UserDefaults::shared();
  // Trimming a heap of several hundred MB takes tens of milliseconds: never on the main thread.
  if (!env_.giveBackMemory)
    env_.giveBackMemory = [this] {
      deviceQueue_->async([] { platform::FreedMemory::giveBack(); });
    };
  if (!env_.cachesFolder) env_.cachesFolder = [] { return platform::Paths::caches(); };
  if (!env_.executableName)
    env_.executableName = [] { return platform::Bundle::main().executableName(); };
  deviceQueue_ = std::make_unique<platform::SerialQueue>("camera.connection");
  deliveryQueue_ = std::make_unique<platform::SerialQueue>("sample buffer delegate");
  usageMonitor_ = env_.usageMonitor;
  if (!usageMonitor_) {
    ownMonitor_ = std::make_unique<CpuUsageMonitor>();
    ownMonitor_->startSampling();
    usageMonitor_ = ownMonitor_.get();
  }
  VoiceDirectionPoller::Environment voice;
  voice.respeaker = env_.respeaker;
  voice.setSpeakerConnect = [this](bool v) { isSpeakerConnect->setValue(v); };
  voice.enableBeamforming = [this](bool v) {
    if (auto facade = currentFacade()) facade->EnableBeamforming(v);
  };
  voice.setAngle = [this](int angle, int enable) {
    if (auto facade = currentFacade()) facade->setAngle(angle, enable);
  };
  voice.queueCameraDoa = [this] { enqueueUVCEvent(UVCMode::doa, 0.0f); };
  CameraSettings* settings = env_.settings;
  voice.enableStatisticsDoa = [settings] { return settings && settings->enableStatisticsDoa(); };
  voice.statisticsDoaThreshold = [settings] {
    return settings ? settings->statisticsDoaThreshold() : int64_t(0);
  };
  voice.enableFlipDoa = [settings] { return settings && settings->enableFlipDoa(); };
  voice_ = std::make_unique<VoiceDirectionPoller>(std::move(voice), clock_);
  if (env_.config) {
    tuning_ = std::make_unique<CameraTuning>(
        *env_.config, *env_.defaults,
        env_.viewModel ? *env_.viewModel : ControlBoardViewModel::shared());
  }
  framePath_ = std::make_unique<CameraFramePath>([this] { return currentFacade(); });
  framePath_->setLoadLevel([monitor = usageMonitor_] { return monitor->qosLevel(); });
  framePath_->setFramePublisher(env_.publishFrame);
  framePath_->setAnalysisHandlers(env_.frameAdmitted, env_.frameAnalysed);
  {
    std::weak_ptr<Token> weak = token_;
    framePath_->setFrameCompletedHandler([this, weak] {
      if (weak.lock()) onMain([this] { onFrameProcessed(); });
    });
    if (env_.player) {
      CameraFramePath* path = framePath_.get();
      env_.player->setOutputBuffer([weak, path](platform::PixelBufferRef buffer) {
        if (weak.lock()) path->onPlayerBuffer(buffer);
      });
      env_.player->setupComplete->bind([this, weak](bool ok) {
        if (weak.lock()) setupPlayerSource(ok);
      });
    }
  }
  controlQueue_ = std::make_unique<CameraControlQueue>(
      env_.usb, CameraControlQueue::Handlers{
                    [this](UVCMode mode, float value) { onControlStored(mode, value); },
                    std::bind_front(&CameraManager::onDoaRead, this)});
  framePath_->setStreamEndedHandler([](int error) {
    // The watch sees the frames stop and reopens the camera once; this only tells why.
    CV_LOG_WARNING(std::string("Capture stream ended: ") +
                   (error == ENODEV ? "the camera was unplugged" : std::strerror(error)));
  });
}

CameraManager::~CameraManager() {
  alive_ = false;
  if (env_.player) env_.player->setOutputBuffer(nullptr);
  // The voice timer queues events through this manager: stop it before anything goes.
  voice_->stopVoiceDirection();
  voice_->queue().drain();
  cancelWatch();
  for (auto id : resetTimers_) clock_.cancel(id);
  token_.reset();
  deviceQueue_->drain();
  deviceQueue_->sync([this] { closeSession(); });
  deliveryQueue_->drain();
}

// ---- queues ----

void CameraManager::onMain(std::function<void()> task) {
  std::weak_ptr<Token> weak = token_;
  platform::MainQueue::shared().async([weak, task = std::move(task)] {
    if (weak.lock()) task();
  });
}

void CameraManager::onDevices(std::function<void()> task) {
  deviceQueue_->async([this, task = std::move(task)] {
    if (alive_) task();
  });
}

// ---- facade ----

std::shared_ptr<AnalysisFacade> CameraManager::currentFacade() const {
  std::lock_guard lock(facadeMutex_);
  return manager_;
}

std::shared_ptr<AnalysisFacade> CameraManager::manager() {
  std::shared_ptr<AnalysisFacade> facade = currentFacade();
  if (facade || !env_.makeFacade || analysisReleased_) return facade;
  facade = env_.makeFacade();
  if (!facade) return nullptr;
  facade->initManager();
  {
    std::lock_guard lock(facadeMutex_);
    manager_ = facade;
  }
  registerServiceObservers(*facade);
  return facade;
}

void CameraManager::registerServiceObservers(AnalysisFacade& facade) {
  std::weak_ptr<Token> weak = token_;
  facade.addDetectOnceObservable([this, weak] {
    if (!weak.lock()) return;
    onMain([this] {
      if (isFaceAutoDetect->value()) isFaceAutoDetect->setValue(false);
    });
  });
  facade.addDetectObservable([this, weak] {
    // The processing queue: the observable tells its listeners on the main queue.
    if (weak.lock()) detectEvent->setValue(secondsSince1970(clock_) * 1000.0);
  });
  facade.addLayoutObservable(
      [this, weak](AnalysisFacade::RoiPairList a, AnalysisFacade::RoiPairList b,
                   AnalysisFacade::RoiPairList c, AnalysisFacade::RoiPairList d,
                   AnalysisFacade::RoiPairList e) {
        if (weak.lock())
          onLayoutResult(std::move(a), std::move(b), std::move(c), std::move(d), std::move(e));
      });
  facade.DrawTrackingRect(drawTrackingRect->value());
  facade.DrawNormalRect(drawNormalRect->value());
  facade.DrawIgnoreRect(drawIgnoreRect->value());
}

void CameraManager::resetAnalysisFacade() {
  std::shared_ptr<AnalysisFacade> old;
  {
    std::lock_guard lock(facadeMutex_);
    old = std::move(manager_);
    manager_.reset();
  }
  fileSource_ = false;
  if (!old) return;
  // A barrier: a frame still in the facade finishes before the vision objects go.
  old->releaseSelvoInst();
  old.reset();
  // The analysis of a source that went leaves no memory behind for the next one.
  env_.giveBackMemory();
  // What the renderer and the delivering queues still hold of the old source's size goes only
  // once the next source's frames have replaced it: given back again when its frames flow.
  framesUntilGiveBack_ = kFramesUntilSourceSettled;
  manager();
}

void CameraManager::releaseAnalysis() {
  analysisReleased_ = true;
  cancelWatch();
  stopVoiceDirection();
  // After the capture closed no frame enters the facade.
  deviceQueue_->drain();
  deviceQueue_->sync([this] { closeSession(); });
  std::shared_ptr<AnalysisFacade> old;
  {
    std::lock_guard lock(facadeMutex_);
    old = std::move(manager_);
    manager_.reset();
  }
  fileSource_ = false;
  if (old) old->releaseSelvoInst();
}

void CameraManager::setupEffectView() {
  std::lock_guard lock(stateMutex_);
  if (effectView_) {
    char text[64];
    std::snprintf(text, sizeof text, "EffectView %p", static_cast<void*>(effectView_.get()));
    CV_LOG_WARNING(std::string("The effect view exists already: ") + text);
    return;
  }
  if (env_.makeEffectView) effectView_ = env_.makeEffectView();
}

std::shared_ptr<EffectView> CameraManager::effectView() const {
  std::lock_guard lock(stateMutex_);
  return effectView_;
}

// ---- discovery ----

bool CameraManager::checkCamera(const platform::CaptureDevice& device) const {
  const std::string& name = device.localizedName;
  CV_LOG_DEBUG("search camera: " + name);
  if (name.find(CAMERA_KESTOVA) != std::string::npos) return true;
  bool matched = false;
  std::vector<std::string> names =
      env_.settings ? env_.settings->cameraNames() : std::vector<std::string>{};
  for (const std::string& configured : names) {
    // An empty name would match every device.
    if (configured.empty() || name.find(configured) == std::string::npos) continue;
    CV_LOG_DEBUG("camera name find :" + name);
    matched = true;
  }
  if (matched) return true;
  CV_LOG_DEBUG("camera.modelID:" + device.modelID);
  std::string error;
  std::optional<VendorProduct> ids =
      env_.parseModelId ? env_.parseModelId(device.modelID, &error) : std::nullopt;
  if (!ids) {
    CV_LOG_DEBUG("Check camera toVnP error:" + name);
    return false;
  }
  std::string vid = hex4(ids->vendor), pid = hex4(ids->product);
  CV_LOG_DEBUG("VID:" + vid + ", PID:" + pid + " ");
  bool isPid = env_.settings && contains(env_.settings->cameraProductIds(), pid);
  bool isVid = env_.settings && contains(env_.settings->cameraVendorIds(), vid);
  CV_LOG_DEBUG(std::string("isPidSuccess:") + text(isPid) + ", isVidSuccess:" + text(isVid) + " ");
  return isPid && isVid;
}

std::optional<platform::CaptureDevice> CameraManager::findCamera() {
  std::vector<platform::CaptureDevice> devices =
      platform::CaptureDeviceDiscovery(*env_.v4l2, env_.sysRoot, env_.devRoot).devices();
  cameraDevices->setValue(devices);
  for (const auto& d : devices)
    if (checkCamera(d)) return d;
  return std::nullopt;
}

// ---- connection run ----

void CameraManager::startConnection() {
  if (analysisReleased_) return;  // the program is ending
  manager();
  auto run = std::make_shared<Run>();
  run->generation = ++generation_;
  run->reconnect = isReconnect_;
  run->retryTime = env_.settings ? env_.settings->connectRetryTime() : 0;
  if (!run->reconnect) {
    connectError->setValue("");
    connectMode->setValue(ConnectMode::searching);
  }
  onDevices([this, run] { discoveryPass(run); });
}

void CameraManager::replaceSession() {
  // The previous session still holds the device open: stop and close it first, or the new
  // session cannot stream.
  closeSession();
  videoSession_ = std::make_unique<platform::CaptureSession>(*env_.v4l2, env_.sessionOptions);
}

void CameraManager::closeSession() {
  if (videoSession_) {
    videoSession_->stopRunning();
    videoSession_.reset();
  }
  capturing_ = false;
}

void CameraManager::discoveryPass(const std::shared_ptr<Run>& run) {
  if (!run->sessionReplaced) {
    replaceSession();
    run->sessionReplaced = true;
  }
  std::optional<platform::CaptureDevice> found = findCamera();
  if (!found && !run->reconnect && run->attempts < run->retryTime) {
    // One pass a second, connectRetryTime + 1 passes in all.
    ++run->attempts;
    std::weak_ptr<Token> weak = token_;
    clock_.callAt(clock_.now() + 1s, [this, weak, run] {
      if (weak.lock()) onDevices([this, run] { discoveryPass(run); });
    });
    return;
  }
  bool failed = true;
  if (found) {
    failed = prepareCamera(*found);
    // A capture that does not start (another program holds the camera, no permission, a format
    // refused) is no connection.
    std::string error = startRunning();
    if (!failed && !error.empty()) {
      run->error = error;
      failed = true;
    }
  }
  finishRun(run, failed);
}

void CameraManager::finishRun(const std::shared_ptr<Run>& run, bool failed) {
  uint64_t generation = run->generation;
  bool reconnect = run->reconnect;
  std::string error = run->error;
  onMain([this, generation, reconnect, failed, error] {
    // A stop or a newer run came in between: this result is no longer wanted.
    if (generation != generation_) return;
    connectError->setValue(failed ? error : std::string());
    resultStep(generation, reconnect, failed);
  });
}

void CameraManager::resultStep(uint64_t generation, bool reconnect, bool failed) {
  // A stop or a newer run came in between, or the program is ending: this result is no longer
  // wanted.
  if (generation != generation_ || analysisReleased_) return;
  if (!failed) {
    if (!reconnect) {
      std::weak_ptr<Token> weak = token_;
      connectedTimer_ = clock_.callAt(clock_.now() + 2s, [this, weak, generation] {
        if (!weak.lock()) return;
        onMain([this, generation] {
          if (generation != generation_) return;
          connectedTimer_.reset();
          connectMode->setValue(ConnectMode::connected);
          startConnectionWatch();
        });
      });
    } else {
      connectMode->setValue(ConnectMode::connected);
      startConnectionWatch();
    }
    CV_LOG_INFO("Connected!!");
  } else {
    stopConnection();
    CV_LOG_ERROR("Disconnected!!");
  }
  isReconnect_ = false;
}

void CameraManager::stopConnection() {
  if (env_.settings) env_.settings->saveConfigFile();
  stopVoiceDirection();
  uint64_t generation = ++generation_;
  cancelWatch();
  onDevices([this, generation] {
    closeSession();
    // After the capture stopped no frame enters the facade; release it on the main thread.
    onMain([this, generation] {
      resetAnalysisFacade();
      if (generation == generation_) connectMode->setValue(ConnectMode::disconnected);
    });
  });
}

void CameraManager::cancelWatch() {
  if (checkConnectionTimer_) {
    checkConnectionTimer_->cancel();
    checkConnectionTimer_.reset();
  }
  if (connectedTimer_) {
    clock_.cancel(*connectedTimer_);
    connectedTimer_.reset();
  }
}

void CameraManager::startConnectionWatch() {
  framePath_->setLastFrameTime(monotonicSeconds(clock_));
  if (checkConnectionTimer_) checkConnectionTimer_->cancel();
  checkConnectionTimer_ =
      std::make_unique<platform::DispatchTimer>(platform::MainQueue::shared(), clock_);
  std::weak_ptr<Token> weak = token_;
  checkConnectionTimer_->setEventHandler([this, weak] {
    if (weak.lock()) checkConnection();
  });
  checkConnectionTimer_->schedule(1s, 1s);
  checkConnectionTimer_->resume();
}

void CameraManager::startFrameRateWatch() {
  // A file has no connection to watch, but its frame rates are shown all the same.
  if (checkConnectionTimer_) checkConnectionTimer_->cancel();
  checkConnectionTimer_ =
      std::make_unique<platform::DispatchTimer>(platform::MainQueue::shared(), clock_);
  std::weak_ptr<Token> weak = token_;
  checkConnectionTimer_->setEventHandler([this, weak] {
    if (weak.lock()) updateFrameRates();
  });
  checkConnectionTimer_->schedule(1s, 1s);
  checkConnectionTimer_->resume();
}

void CameraManager::updateFrameRates() {
  // The rate shown is the rate drawn: frames the renderer dropped for newer ones do not count.
  int64_t dropped = env_.framesDropped ? env_.framesDropped() : 0;
  int64_t droppedNow = std::max<int64_t>(0, dropped - framesDroppedBefore_);
  framesDroppedBefore_ = dropped;
  FPS->setValue(std::max<int64_t>(0, int64_t(framePath_->takeInputFPSSum()) - droppedNow));
  selvoFPS->setValue(int64_t(framePath_->takeOutputFPSSum()));
}

void CameraManager::checkConnection() {
  updateFrameRates();
  const double now = monotonicSeconds(clock_);
  double last = framePath_->lastFrameTime().value_or(now);
  double gap = now - last;
  double gapMs = gap * 1000.0;
  if (gapMs > delayTimeOfLastFrame_) {
    delayTimeOfLastFrame_ = gapMs;
    CV_LOG_INFO("delayTimeOfLastFrame: " + shortest(gapMs) + " ms");
  }
  if (gap <= 3.0) {
    // Only frames seen in time make a later stall worth another reopen; the watch's own
    // start stamp does not, or a camera that sends nothing would be reopened for ever.
    if (framePath_->frameSinceStamp()) retryCount_ = 0;
    return;
  }
  if (retryCount_ <= 0) {
    ++retryCount_;
    CV_LOG_WARNING("Retry Connection !!");
    cancelWatch();
    isReconnect_ = true;
    startConnection();
    return;
  }
  CV_LOG_ERROR("Disconnected!!");
  stopConnection();
}

// ---- preparation ----

bool CameraManager::prepareCamera(const platform::CaptureDevice& device) {
  bool failed = false;
  CV_LOG_INFO("Prepare camera device localized name: " + device.localizedName);
  currentDeviceName->setValue(device.localizedName);
  double width = 1280.0, height = 720.0;
  {
    std::lock_guard lock(stateMutex_);
    controlVideoWidth_ = 1280.0;
    controlVideoHeight_ = 720.0;
  }
  setupEffectView();
  if (!videoSession_)
    videoSession_ = std::make_unique<platform::CaptureSession>(*env_.v4l2, env_.sessionOptions);
  if (device.hasVideo()) {
    {
      std::lock_guard lock(stateMutex_);
      currentDevice_ = device;
    }
    std::string error;
    std::optional<VendorProduct> ids =
        env_.parseModelId ? env_.parseModelId(device.modelID, &error) : std::nullopt;
    if (ids &&
        (ids->vendor < 0 || ids->vendor > 0xFFFF || ids->product < 0 || ids->product > 0xFFFF)) {
      error = "the vendor or product id is not a 16-bit number: " + device.modelID;
      ids.reset();
    }
    if (!ids) {
      failed = true;
      CV_LOG_ERROR("Prepare uvc error:" + error);
    } else if (env_.usb) {
      env_.usb->openUSBFromVID(uint16_t(ids->vendor), uint16_t(ids->product), device.usbSysfsPath);
      {
        // A camera (re)connected: its own values become the defaults again.
        std::lock_guard lock(stateMutex_);
        gammaDefaultTaken_ = flickerDefaultTaken_ = false;
      }
      updateCameraFunction();
      std::vector<CaptureFormatInfo> infos;
      for (const auto& f : device.formats) {
        infos.push_back({f.name, f.width, f.height,
                         f.name + " " + std::to_string(f.width) + "x" + std::to_string(f.height) +
                             " @" + shortest(f.maxFrameRate())});
      }
      env_.usb->getCameraFormat(infos,
                                [&](CameraFormat format, std::optional<CaptureFormatInfo> chosen) {
                                  std::optional<platform::CaptureFormat> capture;
                                  if (chosen) {
                                    for (const auto& f : device.formats)
                                      if (f.name == chosen->formatName &&
                                          f.width == chosen->width && f.height == chosen->height)
                                        capture = f;
                                  }
                                  if (!formatStep(format, capture, width, height)) failed = true;
                                });
      env_.usb->getProjectionInfo([this](int32_t type, int32_t maxH, int32_t maxV, int32_t h,
                                         int32_t v, int32_t w, int32_t ht) {
        std::optional<Projection> p = Projection::make(type, maxH, maxV, h, v, w, ht);
        if (!p) {
          CV_LOG_WARNING("Unknown projection type " + std::to_string(type) + ": kept the last");
          return;
        }
        std::lock_guard lock(stateMutex_);
        projection_ = *p;
      });
    } else {
      failed = true;
      CV_LOG_ERROR("Prepare uvc error:no USB control side");
    }
    if (device.devicePath.empty()) {
      failed = true;
      CV_LOG_ERROR("Prepare device input error:" + device.localizedName + " has no device node");
    } else if (videoSession_->canAddInput(device)) {
      videoSession_->addInput(device);
    }
  }
  videoSession_->setSampleBufferDelegate(framePath_.get(), deliveryQueue_.get());
  CV_LOG_INFO(std::string("Prepare camera success: ") + text(!failed));
  return failed;
}

bool CameraManager::formatStep(CameraFormat format,
                               const std::optional<platform::CaptureFormat>& chosen, double& width,
                               double& height) {
  bool is360 = format.hfov == 360;
  CameraFormat before;
  {
    std::lock_guard lock(stateMutex_);
    before = cameraFormat_;
    if (format.width == 0 || format.height == 0)
      cameraFormat_ = CameraFormat{uint16_t(width), uint16_t(height), 0, 0, false};
    else
      cameraFormat_ = format;
    deviceFormat_ = chosen;
    is360Camera_ = is360;
    width = cameraFormat_.width;
    height = cameraFormat_.height;
    controlVideoWidth_ = 1280.0;
    double h = std::trunc(1280.0 / width * height);
    controlVideoHeight_ = std::fmod(h, 2.0) == 0 ? h : h + 1;
  }
  if (!chosen) {
    CV_LOG_ERROR("Prepare deviceFormat error" +
                 (env_.usb ? ": " + env_.usb->formatFailure() : std::string()));
    return false;
  }
  // Refused before capture starts, rather than failing in the render pass for every frame.
  if (auto refused = FrameSizeLimits::refusal(int(chosen->width), int(chosen->height))) {
    CV_LOG_ERROR("Prepare deviceFormat error: " + *refused);
    return false;
  }
  videoSession_->setActiveFormat(*chosen);
  std::string name = currentDeviceName->value();
  CV_LOG_INFO("Camera info ==================================");
  CV_LOG_INFO("name: " + name);
  CV_LOG_INFO("version: " + (env_.usb ? env_.usb->firmwareVersion() : std::string()));
  CV_LOG_INFO(std::string("is360: ") + text(is360));
  CV_LOG_INFO("resolution: width: " + shortest(width) + ", height: " + shortest(height));
  CV_LOG_INFO("==============================================");

  std::optional<std::string> caches = env_.cachesFolder();
  std::optional<std::string> executable = env_.executableName();
  if (!caches || caches->empty() || !executable || executable->empty()) {
    // Without its database folder the facade cannot be set up: the camera is not usable.
    CV_LOG_ERROR("Prepare face database error: no caches folder or executable name");
    return false;
  }
  std::filesystem::path folder = std::filesystem::path(*caches) / *executable / "face";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::string dbPath = folder.string() + "/";
  double controlW = controlVideoWidth(), controlH = controlVideoHeight();
  double dstW = outputVideoWidth_, dstH = outputVideoHeight_;
  double w = width, h = height;
  // The facade is set up, tuned and listened to on the main thread.
  onMain([this, w, h, dstW, dstH, controlW, controlH, is360, dbPath, before] {
    std::shared_ptr<AnalysisFacade> facade = manager();
    if (!facade) return;
    // The watch's reopening keeps the boxes in force; every set-up restores what the first
    // frame after the start does.
    carried_ = isReconnect_ && !fileSource_
                   ? CarriedBoxes::take(*facade, before.width, before.height)
                   : CarriedBoxes();
    facade->setup(w, h, dstW, dstH, controlW, controlH, w, h, is360, dbPath);
    firstFrame_ = true;
    fileSource_ = false;
    facade->EnableBeamforming(true);
    facade->enableSmallVideoWindow(true);
    loadConfig();
    registerStateListeners();
  });
  return true;
}

void CameraManager::storeControl(int which, double c, double lo, double hi) {
  bool enable = hi > lo;
  float value = fractionForRaw(c, lo, hi);
  std::lock_guard lock(stateMutex_);
  switch (which) {
    case kBrightness:
      brightness_.enable = enable;
      brightness_.max = 2.0f;
      brightness_.min = -2.0f;
      brightness_.value = value;
      break;
    case kContrast:
      contrast_.enable = enable;
      contrast_.value = value;
      break;
    case kSaturation:
      saturation_.enable = enable;
      saturation_.value = value;
      break;
    case kSharpness:
      sharpness_.enable = enable;
      sharpness_.value = value;
      break;
    case kGamma:
      gamma_.enable = enable;
      gamma_.max = float(hi);
      gamma_.min = float(lo);
      gamma_.value = value;
      if (!gammaDefaultTaken_) defPreset_.gamma = float(c);
      gammaDefaultTaken_ = true;
      break;
    case kFlicker: {
      int choice = (c == 0 || c == 1 || c == 2) ? int(c) : 0;
      flicker_.value = choice;
      flicker_.enable = enable;
      if (!flickerDefaultTaken_) defPreset_.flicker = choice;
      flickerDefaultTaken_ = true;
      break;
    }
    default:
      break;
  }
  // Gamma and anti-flicker belong to the camera and the room, not to a picture preset: every
  // preset carries the camera's values, so applying one leaves them as they are. The presets
  // live on the main thread.
  if ((which == kGamma || which == kFlicker) && env_.config && std::isfinite(c)) {
    int64_t raw = which == kFlicker && !(c == 0 || c == 1 || c == 2) ? 0 : int64_t(c);
    onMain([this, which, raw] {
      for (PresetModel& preset : env_.config->presets) {
        (which == kGamma ? preset.gamma : preset.flickr) = raw;
      }
    });
  }
}

void CameraManager::updateCameraFunction() {
  if (!env_.usb) return;
  auto reader = [this](int which, const char* label) {
    return [this, which, label](double c, double lo, double hi) {
      CV_LOG_INFO(std::string("[UVC] ") + label + " value: " + shortest(c) +
                  " min: " + shortest(lo) + " max: " + shortest(hi));
      storeControl(which, c, lo, hi);
    };
  };
  env_.usb->getBrightness(reader(kBrightness, "Brightness"));
  env_.usb->getFlicker(reader(kFlicker, "Flicker"));
  env_.usb->getContrast(reader(kContrast, "Contrast"));
  env_.usb->getSaturation(reader(kSaturation, "Saturation"));
  env_.usb->getSharpness(reader(kSharpness, "Sharpness"));
  {
    std::lock_guard lock(stateMutex_);
    nr_.enable = true;
  }
  env_.usb->getGamma(reader(kGamma, "Gamma"));
}

void CameraManager::watchDeviceArrivals(platform::DeviceMonitor& monitor) {
  if (watchingArrivals_) return;
  watchingArrivals_ = true;
  std::weak_ptr<Token> weak = token_;
  monitor.subscribe("video4linux", "add", [this, weak](const platform::DeviceEvent& event) {
    if (!weak.lock() || connectMode->value() != ConnectMode::disconnected) return;
    CV_LOG_INFO("video device added: " + event.devnode + "; searching the camera again");
    startConnection();
  });
}

void CameraManager::loadCameraRanges() {
  // The USB side answers on its own queue; the records are read under the state lock.
  onDevices([this] { updateCameraFunction(); });
}

std::string CameraManager::startRunning() {
  if (!videoSession_) return "error_msg_camera_start";
  if (videoSession_->isRunning()) return {};
  std::string error;
  if (!videoSession_->startRunning()) {
    CV_LOG_ERROR("Start capture error: " + videoSession_->lastError());
    using Failure = platform::CaptureSession::StartFailure;
    switch (videoSession_->lastFailure()) {
      case Failure::busy:
        error = "error_msg_camera_busy";
        break;
      case Failure::permission:
        error = "error_msg_camera_permission";
        break;
      case Failure::format:
        error = "error_msg_camera_format";
        break;
      case Failure::none:
      case Failure::other:
        error = "error_msg_camera_start";
        break;
    }
  }
  capturing_ = videoSession_->isRunning();
  bool doa = (env_.usb && env_.usb->api_version() > 6) || is360Camera();
  onMain([this, doa] {
    if (doa)
      enqueueUVCEvent(UVCMode::check_doa, 0.0f);
    else
      stopVoiceDirection();
  });
  return error;
}

bool CameraManager::isCapturing() const { return capturing_; }

// ---- listeners ----

void CameraManager::registerStateListeners() {
  if (!listenersRegistered_) {
    // Bound once for the life of the manager; each set-up only re-applies the values.
    listenersRegistered_ = true;
    std::weak_ptr<Token> weak = token_;
    auto guard = [weak](auto f) {
      return [weak, f](auto v) {
        if (weak.lock()) f(v);
      };
    };
    connectMode->bind(guard([this](ConnectMode) { updateMenuItems(); }));
    displayMode->bind(guard([this](Display d) { setDisplayMode(d); }));
    isAutoDetect->bind(guard([this](bool v) {
      setAutoDetect(v);
      setAutoTracking(v && isAutoTracking->value());
    }));
    isAutoTracking->bind(guard([this](bool v) {
      env_.defaults->set("AutoTracking", v);
      setAutoTracking(v && isAutoDetect->value());
    }));
    isFaceAutoDetect->bind(guard([this](bool v) {
      if (env_.settings && env_.settings->enableNewDetectLayout()) setFaceAutoDetect(v);
    }));
    isFaceAutoTracking->bind(guard([this](bool v) {
      if (!env_.settings || !env_.settings->enableNewDetectLayout()) return;
      env_.defaults->set("FaceAutoTracking", v);
      setFaceAutoTracking(v);
    }));
    verticalFov->bind(guard([this](VerticalFovMode mode) {
      env_.defaults->set("VerticalFov", qint64(rawValue(mode)));
      int64_t value = env_.settings ? env_.settings->fovValue(int(rawValue(mode))) : 0;
      enqueueUVCEvent(UVCMode::fov, float(value));
    }));
    drawNormalRect->bind(guard([this](bool v) {
      if (auto f = manager()) f->DrawNormalRect(v);
    }));
    drawTrackingRect->bind(guard([this](bool v) {
      if (auto f = manager()) f->DrawTrackingRect(v);
    }));
    drawIgnoreRect->bind(guard([this](bool v) {
      if (auto f = manager()) f->DrawIgnoreRect(v);
    }));
  }
  applyStateListeners();
}

void CameraManager::applyStateListeners() {
  updateMenuItems();
  bool autoDetect = isAutoDetect->value();
  setAutoDetect(autoDetect);
  setAutoTracking(autoDetect && isAutoTracking->value());
  bool autoTracking = isAutoTracking->value();
  env_.defaults->set("AutoTracking", autoTracking);
  setAutoTracking(autoTracking && isAutoDetect->value());
  if (env_.settings && env_.settings->enableNewDetectLayout()) {
    setFaceAutoDetect(isFaceAutoDetect->value());
    bool face = isFaceAutoTracking->value();
    env_.defaults->set("FaceAutoTracking", face);
    setFaceAutoTracking(face);
  }
}

void CameraManager::setMenuItemsUpdater(Callback updater) {
  menuItemsUpdater_ = std::move(updater);
}

void CameraManager::updateMenuItems() {
  if (menuItemsUpdater_) menuItemsUpdater_();
}

void CameraManager::notifyListeners(const std::map<std::string, Callback>& table) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : table) keys.push_back(key);
  for (const auto& key : keys) {
    auto it = table.find(key);
    if (it != table.end() && it->second) it->second();
  }
}

void CameraManager::setRoiDicEntry(const std::string& registrant, RoiListCallback callback) {
  roiDic_.emplace(registrant, std::move(callback));
}

void CameraManager::onLayoutResult(AnalysisFacade::RoiPairList a, AnalysisFacade::RoiPairList b,
                                   AnalysisFacade::RoiPairList c, AnalysisFacade::RoiPairList d,
                                   AnalysisFacade::RoiPairList e) {
  RoiPairs mainList, subList;
  for (const auto* list : {&a, &b, &c})
    for (const auto& dictionary : *list)
      mainList.push_back(std::make_shared<orlith::SelvoRoiPair>(dictionary));
  for (const auto* list : {&d, &e})
    for (const auto& dictionary : *list)
      subList.push_back(std::make_shared<orlith::SelvoRoiPair>(dictionary));
  std::vector<std::string> keys;
  for (const auto& [key, callback] : roiDic_) keys.push_back(key);
  for (const auto& key : keys) {
    auto it = roiDic_.find(key);
    if (it != roiDic_.end() && it->second) it->second(mainList, subList);
  }
}

void CameraManager::onFrameProcessed() {
  if (framesUntilGiveBack_ > 0 && --framesUntilGiveBack_ == 0) env_.giveBackMemory();
  if (!firstFrame_) return;
  firstFrame_ = false;
  const CameraFormat format = cameraFormat();
  const SetUpRestore::Plan plan =
      SetUpRestore::plan({carried_.taken(), carried_.fits(format.width, format.height),
                          int(carried_.boxes().size()), int(carried_.ignoreAreas().size()),
                          env_.settings && env_.settings->enableNewDetectLayout() &&
                              env_.settings->enableLaunchDetect()});
  std::shared_ptr<AnalysisFacade> facade = manager();
  if (tuning_ && facade) tuning_->loadRoiRecord(*facade, *this, plan.recordBoxes);
  if (plan.carryBoxes && facade) carried_.putInto(*facade);
  carried_ = CarriedBoxes();
  if (plan.launchDetect && facade) facade->detectOnce();
}

void CameraManager::setDisplayModeDicEntry(const std::string& registrant, Callback callback) {
  didSetDisplayModeDic_.emplace(registrant, std::move(callback));
}

void CameraManager::setFitModeDicEntry(const std::string& registrant, Callback callback) {
  didSetFitModeDic_.emplace(registrant, std::move(callback));
}

// ---- mode switches ----

void CameraManager::setDisplayMode(Display mode) {
  static const std::map<Display, const char*> names = {
      {Display::compose, "compose"},   {Display::focus, "focus"},
      {Display::grid, "grid"},         {Display::presentation, "presentation"},
      {Display::speaker, "speaker"},   {Display::singleSpeaker, "singleSpeaker"},
      {Display::topDown, "topDown"},   {Display::twoGroup, "twoGroup"},
      {Display::panorama, "panorama"}, {Display::bodyFit, "bodyFit"},
      {Display::audioFit, "audioFit"}};
  CV_LOG_INFO(std::string("change DisplayMode to: ") + names.at(mode));
  int64_t code = rawValue(mode);
  if (env_.settings) env_.settings->setDefaultDisplayMode(code - 10);
  std::shared_ptr<AnalysisFacade> facade = manager();
  if (!facade) return;
  bool autoDetect = isAutoDetect->value();
  int interval = int(detectInterval);
  bool drawFromObservables = true;
  switch (mode) {
    case Display::speaker:
    case Display::singleSpeaker:
      if (env_.settings) env_.settings->setIsSingleSpeakerMode(mode == Display::singleSpeaker);
      [[fallthrough]];
    case Display::compose:
    case Display::grid:
    case Display::presentation:
    case Display::twoGroup:
    case Display::panorama:
      facade->setDisplayMode(long(code));
      facade->enableAutoDetect(autoDetect, interval);
      break;
    case Display::topDown:
      facade->setDisplayMode(long(code));
      facade->enableAutoDetect(autoDetect, interval);
      drawFromObservables = false;
      break;
    case Display::focus:
      facade->setDisplayMode(11);
      facade->setFitMode(10);
      facade->enableAutoDetect(false, interval);
      drawFromObservables = false;
      break;
    case Display::bodyFit:
    case Display::audioFit:
      facade->setDisplayMode(11);
      facade->setFitMode(mode == Display::bodyFit ? 12 : 11);
      facade->enableAutoDetect(autoDetect, interval);
      break;
  }
  facade->DrawNormalRect(drawFromObservables && drawNormalRect->value());
  facade->DrawIgnoreRect(drawFromObservables && drawIgnoreRect->value());
  facade->DrawTrackingRect(drawFromObservables && drawTrackingRect->value());
  notifyListeners(didSetDisplayModeDic_);
}

void CameraManager::setAutoDetect(bool v) {
  CV_LOG_INFO(std::string("change isAutoDetect to: ") + text(v));
  if (env_.settings) env_.settings->setDefaultAutoDetect(v);
  if (auto facade = manager()) facade->enableAutoDetect(v, int(detectInterval));
  updateMenuItems();
}

void CameraManager::setAutoTracking(bool v) {
  CV_LOG_INFO(std::string("change isAutoTracking to: ") + text(v));
  auto facade = manager();
  if (!facade) return;
  if (v)
    facade->EnableAutoDetectTracking();
  else
    facade->DisableAutoDetectTracking();
}

void CameraManager::setFaceAutoDetect(bool v) {
  CV_LOG_INFO(std::string("change isFaceAutoDetect to: ") + text(v));
  if (!v) return;
  if (auto facade = manager()) facade->detectOnce();
}

void CameraManager::setFaceAutoTracking(bool v) {
  CV_LOG_INFO(std::string("change isFaceAutoTracking to: ") + text(v));
  updateMenuItems();
  isAutoDetect->setValue(v);
  isAutoTracking->setValue(v);
}

void CameraManager::stopVoiceDirection() { voice_->stopVoiceDirection(); }

// ---- file source ----

void CameraManager::setupPlayerSource(bool ok) {
  if (!ok) {
    connectMode->setValue(ConnectMode::disconnected);
    // The facade was set up for the file's frames; the camera's are another size.
    if (fileSource_) {
      fileSource_ = false;
      resetAnalysisFacade();
    }
    startConnection();
    return;
  }
  stopConnection();
  // After the stop's own steps (capture closed, facade replaced) have run.
  onDevices([this] { onMain([this] { setupFileFacade(); }); });
}

void CameraManager::setupFileFacade() {
  if (!env_.player) return;
  QSizeF size = env_.player->frameSize();
  double w = size.width(), h = size.height();
  auto usable = [](double v) { return std::isfinite(v) && v > -1 && v < 65536; };
  if (!usable(w) || !usable(h) || w < 2 || h < 2) {
    CV_LOG_ERROR("Player source error: unusable frame size " + shortest(w) + " x " + shortest(h));
    return;
  }
  double controlH = std::trunc(1280.0 / w * h);
  if (std::fmod(controlH, 2.0) != 0) controlH += 1;
  {
    std::lock_guard lock(stateMutex_);
    cameraFormat_ = CameraFormat{uint16_t(w), uint16_t(h), 0, 0, false};
    // The control size follows the file, as it follows a camera.
    controlVideoWidth_ = 1280.0;
    controlVideoHeight_ = controlH;
  }
  connectMode->setValue(ConnectMode::connected);
  startFrameRateWatch();
  std::optional<std::string> caches = env_.cachesFolder();
  std::optional<std::string> executable = env_.executableName();
  if (!caches || caches->empty() || !executable || executable->empty()) {
    CV_LOG_ERROR("Player source error: no caches folder or executable name");
    return;
  }
  std::filesystem::path folder = std::filesystem::path(*caches) / *executable / "face";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::shared_ptr<AnalysisFacade> facade = manager();
  if (!facade) return;
  facade->setup(w, h, outputVideoWidth_, outputVideoHeight_, 1280.0, controlH, w, h, w == 4992.0,
                folder.string() + "/");
  fileSource_ = true;
  firstFrame_ = true;
  facade->EnableBeamforming(true);
  facade->enableSmallVideoWindow(true);
  // The stored switches first, as for the camera: the listeners store what they are given, and
  // would otherwise write today's values over the ones the user left.
  loadConfig();
  registerStateListeners();
}

void CameraManager::loadConfig() {
  std::shared_ptr<AnalysisFacade> facade = manager();
  if (tuning_ && facade) tuning_->loadConfig(*facade, *this);
}

void CameraManager::loadRoiRecord() {
  std::shared_ptr<AnalysisFacade> facade = manager();
  if (tuning_ && facade) tuning_->loadRoiRecord(*facade, *this);
}

// ---- camera controls ----

void CameraManager::enqueueUVCEvent(UVCMode mode, float value) {
  if (!platform::MainQueue::shared().isMainThread()) {
    // The queue is the main thread's; the voice timer's events are posted there.
    onMain([this, mode, value] { controlQueue_->enqueueUVCEvent(mode, value); });
    return;
  }
  controlQueue_->enqueueUVCEvent(mode, value);
}

std::vector<UVCEvent> CameraManager::uvcQueue() const { return controlQueue_->uvcQueue(); }
bool CameraManager::inCheckUVCProcess() const { return controlQueue_->inCheckUVCProcess(); }

void CameraManager::onControlStored(UVCMode mode, float value) {
  std::lock_guard lock(stateMutex_);
  switch (mode) {
    case UVCMode::brightness:
      brightness_.value = value;
      break;
    case UVCMode::flicker: {
      int v = int(value);
      flicker_.value = (float(v) == value && v >= 0 && v <= 2) ? v : 0;
      break;
    }
    case UVCMode::contrast:
      contrast_.value = value;
      break;
    case UVCMode::saturation:
      saturation_.value = value;
      break;
    case UVCMode::sharpness:
      sharpness_.value = value;
      break;
    case UVCMode::gamma:
      gamma_.value = value;
      break;
    default:
      break;
  }
}

void CameraManager::onDoaRead(UVCMode mode, const DoaFormat& doa, const std::string& failure) {
  voice_->readOutcome(failure);
  if (mode == UVCMode::doa) return voice_->handleDoa(doa.angle, doa.voice);
  // Looking for the microphone array is USB work: off the main thread, then back.
  ReSpeakerManager* respeaker = env_.respeaker;
  onDevices([this, respeaker, doa] {
    bool array = respeaker && respeaker->checkRespeaker();
    onMain([this, array, doa] { chooseDoaSource(array, doa); });
  });
}

void CameraManager::chooseDoaSource(bool microphoneArray, const DoaFormat& doa) {
  manager();
  if (microphoneArray) {
    CV_LOG_INFO("[DOA] Use respeaker");
    voice_->startVoiceDirection(false, true);
  } else if (doa.type == 1) {
    CV_LOG_INFO("[DOA] No DOA Devicer");
    voice_->startVoiceDirection(false, false);
  } else {
    CV_LOG_INFO("[DOA] Use UART");
    voice_->handleDoa(doa.angle, doa.voice);
    voice_->startVoiceDirection(true, true);
  }
}

void CameraManager::queueIfChanged(UVCMode mode, float value) {
  Brightness control;
  switch (mode) {
    case UVCMode::brightness:
      control = brightness();
      break;
    case UVCMode::contrast:
      control = contrast();
      break;
    case UVCMode::saturation:
      control = saturation();
      break;
    case UVCMode::sharpness:
      control = sharpness();
      break;
    case UVCMode::gamma:
      control = gamma();
      break;
    default:
      return;
  }
  if (control.enable && !(control.value == value)) enqueueUVCEvent(mode, value);
}

void CameraManager::queueFlickerIfChanged(int choice) {
  Flicker f = flicker();
  if (f.enable && f.value != choice) enqueueUVCEvent(UVCMode::flicker, float(choice));
}

void CameraManager::setNrValue(float value) {
  std::lock_guard lock(stateMutex_);
  nr_.value = value;
}

float CameraManager::fractionForRaw(double raw, double min, double max) {
  if (!(max > min)) return 0;
  double exact = (raw - min) / (max - min);
  float f = float(exact);
  // The USB side truncates range x fraction: never let float rounding land below the raw value.
  while (double(f) * (max - min) < raw - min) f = std::nextafter(f, 2.0f);
  return f;
}

void CameraManager::resetCameraFunction() {
  if (!env_.usb) return;
  // A reset still under way gives way to this one.
  for (auto id : resetTimers_) clock_.cancel(id);
  resetTimers_.clear();
  USBManager& usb = *env_.usb;
  DefPreset preset = defPreset();
  struct Step {
    double delaySeconds;
    UVCMode mode;
    double raw, min, max;
  };
  const Step steps[] = {
      {0.0, UVCMode::brightness, 0, usb.brightness_min(), usb.brightness_max()},
      {0.3, UVCMode::contrast, 128, usb.contrast_min(), usb.contrast_max()},
      {0.45, UVCMode::saturation, 3, usb.saturation_min(), usb.saturation_max()},
      {0.6, UVCMode::sharpness, 3, usb.sharpness_min(), usb.sharpness_max()},
      {0.75, UVCMode::gamma, preset.gamma, usb.gamma_min(), usb.gamma_max()},
  };
  std::weak_ptr<Token> weak = token_;
  auto later = [&](double seconds, std::function<void()> step) {
    auto delay = std::chrono::duration_cast<platform::Clock::Duration>(
        std::chrono::duration<double>(seconds));
    resetTimers_.push_back(clock_.callAt(clock_.now() + delay, [this, weak, step] {
      if (weak.lock()) onMain(step);
    }));
  };
  Brightness records[] = {brightness(), contrast(), saturation(), sharpness(), gamma()};
  for (size_t i = 0; i < std::size(steps); ++i) {
    const Step& s = steps[i];
    // An empty range has no default position: that control is left as it is.
    if (!records[i].enable || !(s.max > s.min)) continue;
    float value = fractionForRaw(s.raw, s.min, s.max);
    UVCMode mode = s.mode;
    later(s.delaySeconds, [this, mode, value] { queueIfChanged(mode, value); });
  }
  int flickerChoice = preset.flicker;
  later(0.15, [this, flickerChoice] { queueFlickerIfChanged(flickerChoice); });

  NR noise = nr();
  if (noise.enable && noise.max > noise.min) {
    float value = float((3.0 - double(noise.min)) / (double(noise.max) - double(noise.min)));
    if (value != noise.value) {
      {
        std::lock_guard lock(stateMutex_);
        nr_.value = value;
      }
      // The renderer takes whole noise-reduction levels 0..6 of the ratio.
      if (env_.setDenoise) env_.setDenoise(MetalManager::denoiseLevel(value));
    }
  }
}

// ---- state ----

CameraFormat CameraManager::cameraFormat() const {
  std::lock_guard lock(stateMutex_);
  return cameraFormat_;
}
std::optional<platform::CaptureFormat> CameraManager::deviceFormat() const {
  std::lock_guard lock(stateMutex_);
  return deviceFormat_;
}
bool CameraManager::is360Camera() const {
  std::lock_guard lock(stateMutex_);
  return is360Camera_;
}
Projection CameraManager::projection() const {
  std::lock_guard lock(stateMutex_);
  return projection_;
}
std::optional<platform::CaptureDevice> CameraManager::currentDevice() const {
  std::lock_guard lock(stateMutex_);
  return currentDevice_;
}
double CameraManager::controlVideoWidth() const {
  std::lock_guard lock(stateMutex_);
  return controlVideoWidth_;
}
double CameraManager::controlVideoHeight() const {
  std::lock_guard lock(stateMutex_);
  return controlVideoHeight_;
}
Brightness CameraManager::brightness() const {
  std::lock_guard lock(stateMutex_);
  return brightness_;
}
Flicker CameraManager::flicker() const {
  std::lock_guard lock(stateMutex_);
  return flicker_;
}
Contrast CameraManager::contrast() const {
  std::lock_guard lock(stateMutex_);
  return contrast_;
}
Saturation CameraManager::saturation() const {
  std::lock_guard lock(stateMutex_);
  return saturation_;
}
Brightness CameraManager::sharpness() const {
  std::lock_guard lock(stateMutex_);
  return sharpness_;
}
NR CameraManager::nr() const {
  std::lock_guard lock(stateMutex_);
  return nr_;
}
Gamma CameraManager::gamma() const {
  std::lock_guard lock(stateMutex_);
  return gamma_;
}
DefPreset CameraManager::defPreset() const {
  std::lock_guard lock(stateMutex_);
  return defPreset_;
}

}  // namespace corvane
