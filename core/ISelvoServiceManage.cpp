#include "ISelvoServiceManage.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

#include "Bundle.h"
#include "NV12Picture.h"
#include "OrlithLog.h"
#include "RecognizerRecords.h"
#include "RectIdCounter.h"
#include "RoiPairConversion.h"
#include "dispatch/Clock.h"
#include "dispatch/MainQueue.h"
#include "facedetect/FaceDetectorSource.h"

namespace orlith {

using namespace selvo;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

namespace {

const char* const kDefaultImages[7] = {
    "img-thumbnail-default@2x.png", "icon_misrophone0001.png", "icon-pin@2x.png",    "icon_dot.png",
    "tag_name_style0.png",          "tag_name_style1.png",     "tag_name_style2.png"};

enum ImageName { kLogo, kVoice, kPin, kAnchor, kTag0, kTag1, kTag2 };

enum Refusal { kNone, kNotSetUp, kBadFrame, kCopyFailed };

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  char buf[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof(buf), fmt, args);
  va_end(args);
  return buf;
}

int64_t nowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             platform::Clock::shared().now().time_since_epoch())
      .count();
}

int roundUpEven(int n) { return n % 2 ? n + 1 : n; }

// The list sizes the library takes are ints; a list that does not fit skips its step.
struct Overflow {};
int checkedCount(size_t n) {
  if (n > size_t(INT_MAX)) throw Overflow{};
  return int(n);
}

std::weak_ptr<ISelvoServiceManage>& sharedSlot() {
  static std::weak_ptr<ISelvoServiceManage> slot;
  return slot;
}
std::shared_ptr<ISelvoServiceManage>& sharedInstance() {
  static std::shared_ptr<ISelvoServiceManage> instance;
  return instance;
}
std::mutex sharedMutex;

// The library's images and model sit in share/orlith beside the program's own share folder.
std::string resourceFolder() {
  std::filesystem::path exe(platform::Bundle::executablePath());
  return (exe.parent_path().parent_path() / "share" / "orlith").string();
}

}  // namespace

ISelvoServiceManage::ISelvoServiceManage()
    : processQueue(std::make_unique<platform::SerialQueue>("process.queue")) {}

ISelvoServiceManage::~ISelvoServiceManage() {
  configured_.store(false);
  if (!processQueue->isCurrent()) processQueue->drain();
  releaseOnQueue();
  ORLITH_LOG_DEBUG("[ISelvoServiceManage] dealloc");
}

std::shared_ptr<ISelvoServiceManage> ISelvoServiceManage::shared() {
  std::lock_guard lock(sharedMutex);
  auto& instance = sharedInstance();
  if (!instance) {
    ORLITH_LOG_INFO("[ISelvoServiceManage] get new shared instance");
    instance = std::make_shared<ISelvoServiceManage>();
    instance->initManager();
    sharedSlot() = instance;
  }
  return instance;
}

// ---------------------------------------------------------------------------------------------
// Creation, set-up, release

void ISelvoServiceManage::initManager() { initManager(std::make_shared<SelvoObjectFactory>()); }

void ISelvoServiceManage::initManager(std::shared_ptr<SelvoObjectFactory> factory) {
  setOffset(0);
  setPool_count(3);
  setInWorkingThread(true);
  setM_tracker_type(1);
  {
    std::lock_guard lock(objectMutex_);
    std::string* paths[7] = {&defaultLogoPath,       &voiceIndicatorIconPath, &pinIconPath,
                             &anchorPointSymbolPath, &normalTagPath,          &trackTagPath,
                             &speakTagPath};
    for (int i = 0; i < 7; ++i) *paths[i] = kDefaultImages[i];
  }
  syncOnQueue([this, factory = std::move(factory)]() mutable {
    detectPool.clear();
    if (!factory_ && factory) factory_ = std::move(factory);
    createObjects();
  });
}

void ISelvoServiceManage::createObjects() {
  if (!factory_) return;
  // The library finds its model and images in its resource folder, given before any object
  // exists; the process's working directory is never changed.
  if (std::strlen(GetSelvoResourceFolder()) == 0) SetSelvoResourceFolder(resourceFolder().c_str());
  auto make = [](const char* what, int result) {
    if (result != 0) ORLITH_LOG_ERROR(std::string("no ") + what + " from the vision library");
  };
  // Objects that exist already (a second initManager) are kept.
  if (!m_frame_manager) make("frame manager", factory_->CreateFrameManager(&m_frame_manager));
  if (!detector_wrapper_inst) make("detector", factory_->CreateDetector(&detector_wrapper_inst));
  if (!m_tracker_correlation) make("tracker", factory_->CreateTracker(&m_tracker_correlation));
  if (!m_tracker_opticalflow) make("tracker", factory_->CreateTracker(&m_tracker_opticalflow));
  if (!recognizer_wapper_inst) {
    make("face recogniser", factory_->CreateRecognizer(&recognizer_wapper_inst));
  }
  if (!layout_wrapper_inst) make("layout engine", factory_->CreateLayout(&layout_wrapper_inst));
  if (!layout_setting_wrapper_inst) {
    make("layout settings", factory_->CreateLayoutSetting(&layout_setting_wrapper_inst));
  }
  // The framework's own face detector; the pipeline uses it only when the process runs
  // translated.
  if (!detector) detector = std::make_shared<FaceDetectorSource>(IDetector::shared());
}

void ISelvoServiceManage::setup(DoubleSize videoSize, DoubleSize dstSize, DoubleSize controlSize,
                                DoubleSize processSize, char is360, const char* dbPath) {
  std::string db = dbPath ? dbPath : "";
  syncOnQueue([&] {
    try {
      setupOnQueue(videoSize, dstSize, controlSize, processSize, is360 != 0, db);
    } catch (const std::exception& e) {
      ORLITH_LOG_ERROR(std::string("set-up failed: ") + e.what());
    }
  });
}

void ISelvoServiceManage::setupOnQueue(DoubleSize videoSize, DoubleSize dstSize,
                                       DoubleSize controlSize, DoubleSize processSize, bool is360,
                                       const std::string& dbPath) {
  int W = int(videoSize.width), H = int(videoSize.height);
  int OW = int(dstSize.width), OH = int(dstSize.height);
  int SW = int(controlSize.width), SH = roundUpEven(int(controlSize.height));
  int PW = int(processSize.width), PH = int(processSize.height);
  if (W <= 0 || H <= 0 || OW <= 0 || OH <= 0 || PW <= 0 || PH <= 0 || SW < 0 || SH < 0 || W % 2 ||
      H % 2) {
    ORLITH_LOG_ERROR(
        format("set-up refused: video %dx%d, output %dx%d, process %dx%d", W, H, OW, OH, PW, PH));
    return;
  }
  bool rosetta = detector && detector->runningWithRosetta();
  ORLITH_LOG_INFO(format("Running with rosetta 1: %d", rosetta ? 1 : 0));

  setM_is_360_fov(is360 ? 1 : 0);
  setM_do_face_recognition(false);
  setM_draw_ignore_rect(true);
  setDraw_sub_video(false);
  setM_enable_draw_ref_line(false);
  setM_enable_sub_window_draw_rect(true);
  setM_draw_normal_rect(true);
  setM_draw_tracking_rect(true);

  setM_video_width(W);
  setM_video_height(H);
  setM_process_width(PW);
  setM_process_height(PH);
  setM_relayout_width(OW);
  setM_relayout_height(OH);
  setM_sub_video_width(SW);
  setM_sub_video_height(SH);
  {
    std::lock_guard lock(objectMutex_);
    setM_reinit_width(OW);
    setM_reinit_height(OH);
  }
  setM_process_scale(float(W) / float(PW));
  setM_editview_scale_panorama(float(SW) / float(W));
  setM_enable_relayout(int64_t(OW) * 9 == int64_t(OH) * 16);
  setEnable_beamforming(false);
  setReinit(false);
  setBuffer_size(unsigned(int64_t(W) * H * 3 / 2));
  setSub_video_buffer_size(unsigned(int64_t(SW) * SH * 3 / 2));
  setRelayout_buffer_size(unsigned(int64_t(OW) * OH * 3 / 2));
  setM_min_side_length(320);

  auto rm = std::make_shared<RectManager>();
  rm->SetVideoInfo(W, H, is360);
  {
    std::lock_guard lock(rectManagerMutex_);
    m_rect_manager_inst = rm;
  }

  setFrame_id(0);
  if (m_frame_manager) m_frame_manager->Init(W, H, is360, 0);
  setImg_id(0);
  // The detector's confidence, model and reinforcement keep what arrived before set-up.
  setM_one_click_detect(false);
  replaceOwed_ = false;
  setM_enable_auto_detect(false);
  setM_force_do_detect(false);

  selvo_detect_callback = std::make_unique<SelvoDetectCallback>();
  m_current_detect_buffer.assign(size_t(PW) * size_t(PH) * 3 / 2, 0);

  if (detector_wrapper_inst) {
    detector_wrapper_inst->SetNativeMode(!rosetta);
    detector_wrapper_inst->Init(W, H, is360, m_detect_model_type(), 0, m_detect_conf_ratio());
    if (m_frame_manager) detector_wrapper_inst->SetFrameManager(m_frame_manager);
    detector_wrapper_inst->EnableReinforcementDetect(m_enable_reinforcement_detect());
    detector_wrapper_inst->SetCallback(selvo_detect_callback.get());
  }
  if (detector) detector->setSrcType(is360);

  temp_track_rect.clear();
  for (auto [tracker, kind] : {std::pair{m_tracker_correlation, int(TRACKER_CORRELATION)},
                               std::pair{m_tracker_opticalflow, int(TRACKER_OPTICAL_FLOW)}}) {
    if (tracker && tracker->Init(PW, PH, is360, kind) && m_frame_manager) {
      tracker->SetFrameManager(m_frame_manager);
    }
  }

  setM_enable_mirror(false);
  setIs_decoder_buffer_ready(false);
  m_pre_decoded_buffer.assign(buffer_size(), 0);

  if (recognizer_wapper_inst) {
    if (dbPath.empty()) {
      ORLITH_LOG_WARNING("no face database folder: the recogniser stays closed");
    } else if (!recognizer_wapper_inst->Init(dbPath.c_str())) {
      ORLITH_LOG_ERROR("the face database in " + dbPath + " cannot be used");
    }
  }

  {
    std::lock_guard lock(objectMutex_);
    float fw = float(W / 4);
    m_focus_manual_rect = rect{};
    m_focus_manual_rect.width = fw;
    m_focus_manual_rect.height = fw * 9 / 16;
    m_focus_manual_rect.x = float(W / 2) - fw / 2;
    m_focus_manual_rect.y = float(H / 2) - m_focus_manual_rect.height / 2;
    m_focus_manual_rect.id = rm->NewRectId();
    m_pip_manual_rect = m_focus_manual_rect;
    m_pip_manual_rect.id = rm->NewRectId();
    int s = W / 30;
    m_180_move_icon_rect = rect{};
    m_180_move_icon_rect.width = m_180_move_icon_rect.height = float(s);
    m_180_move_icon_rect.x = float(W - s - 1);
    m_180_move_icon_rect.y = float(W / 6 + (H - W / 6) / 2 - s - 1);
  }

  setM_enable_auto_fit(true);
  setM_is_voice(false);
  setM_scale(float(OW) / float(W));
  setM_scale_panorama(float(OW) / float(W));
  setM_direction(0);
  setM_focusmode_policy(1);
  setM_voice_angle_offset(0);
  setM_auto_fit_rect_width_pixels(250);

  if (layout_wrapper_inst) layout_wrapper_inst->Init(is360, W, H, OW, OH, SW, SH, 0);

  std::string paths[7];
  for (int i = 0; i < 7; ++i) paths[i] = imagePath(i);
  ORLITH_LOG_INFO("_defaultLogoPath:" + paths[kLogo]);
  ORLITH_LOG_INFO("_voiceIndicatorIconPath:" + paths[kVoice]);
  ORLITH_LOG_INFO("_pinIconPath:" + paths[kPin]);
  ORLITH_LOG_INFO("_anchorPointSymbolPath:" + paths[kAnchor]);
  if (auto* layout = layout_wrapper_inst) {
    layout->SetDefaultLogoPath(paths[kLogo].c_str());
    layout->SetVoiceIndicatorIconPath(paths[kVoice].c_str());
    layout->SetPinIconPath(paths[kPin].c_str());
    layout->SetAnchorPointSymbolPath(paths[kAnchor].c_str());
    layout->SetIgnoreTagIconPath("icon_ignore_tag.png");
    for (int style = 0; style < 3; ++style) {
      layout->SetNameTagImage(paths[kTag0 + style].c_str(), style);
    }
  }

  setDrag_icon_target_size(W / 30);
  setPositions(6);
  setUp_ = true;
  if (!is360 && m_enable_relayout()) {
    if (layout_wrapper_inst) {
      layout_wrapper_inst->SetViewMoveIcon("icon-view-move@2x.png", W / 30, W / 30, 6);
    }
    heightOffsetOnQueue(roundUpEven((H - W / 6) / 2));
  }

  setDefault_cropped_face_width(500);
  setDefault_cropped_face_height(500);
  cropped_face_buffer.assign(375000, 0);
  if (layout_wrapper_inst) layout_wrapper_inst->SetFocusModeROIExtendPixel(250);
  configured_.store(true);
  lastRefusal_.store(kNone);
}

void ISelvoServiceManage::reset(DoubleSize size) {
  std::lock_guard lock(objectMutex_);
  setM_reinit_width(int(size.width));
  setM_reinit_height(int(size.height));
  setReinit(true);
}

void ISelvoServiceManage::addLayoutObservable(LayoutObserver observer) {
  std::lock_guard lock(objectMutex_);
  studio_layout_callback = std::move(observer);
}

void ISelvoServiceManage::addDetectObservable(Observer observer) {
  std::lock_guard lock(objectMutex_);
  studio_detect_callback = std::move(observer);
}

void ISelvoServiceManage::addDetectOnceObservable(Observer observer) {
  std::lock_guard lock(objectMutex_);
  studio_detect_once_callback = std::move(observer);
}

void ISelvoServiceManage::releaseSelvoInst() {
  // No frame is admitted any more; those already queued run first, then the objects go. The
  // call returns once they are gone and every worker of the library has ended (the detector
  // joins its thread when released), so the program may exit right after it.
  configured_.store(false);
  auto self = weak_from_this().lock();
  if (processQueue->isCurrent()) {
    releaseOnQueue();
  } else {
    // The pooled worker hands its frames to the queue and waits for them: it ends first.
    m_buffer_params_pool.stop();
    processQueue->sync([this] { releaseOnQueue(); });
  }
  std::lock_guard lock(sharedMutex);
  if (sharedInstance().get() == this) {
    {
      std::lock_guard objectLock(objectMutex_);
      studio_layout_callback = nullptr;
      studio_detect_callback = nullptr;
      studio_detect_once_callback = nullptr;
    }
    sharedInstance().reset();
  }
}

void ISelvoServiceManage::releaseOnQueue() {
  setUp_ = false;
  if (factory_) {
    if (detector_wrapper_inst) factory_->ReleaseDetector(detector_wrapper_inst);
    if (m_tracker_correlation) factory_->ReleaseTracker(m_tracker_correlation);
    if (m_tracker_opticalflow) factory_->ReleaseTracker(m_tracker_opticalflow);
    if (recognizer_wapper_inst) {
      recognizer_wapper_inst->Stop();
      factory_->ReleaseRecognizer(recognizer_wapper_inst);
    }
    if (layout_wrapper_inst) factory_->ReleaseLayout(layout_wrapper_inst);
    if (layout_setting_wrapper_inst) factory_->ReleaseLayoutSetting(layout_setting_wrapper_inst);
    if (m_frame_manager) factory_->ReleaseFrameManager(m_frame_manager);
  }
  detector_wrapper_inst = nullptr;
  m_tracker_correlation = m_tracker_opticalflow = nullptr;
  recognizer_wapper_inst = nullptr;
  layout_wrapper_inst = nullptr;
  layout_setting_wrapper_inst = nullptr;
  m_frame_manager = nullptr;
  m_pre_decoded_buffer = {};
  m_current_detect_buffer = {};
  cropped_face_buffer = {};
  {
    std::lock_guard lock(rectManagerMutex_);
    m_rect_manager_inst.reset();
  }
  setInWorkingThread(false);
  m_buffer_params_pool.stop();
  detectBuffer.reset();
  detectBufferAddress = nullptr;
  copies_.clear();
}

// ---------------------------------------------------------------------------------------------
// Helpers

void ISelvoServiceManage::onQueue(std::function<void()> f) {
  auto self = weak_from_this().lock();
  processQueue->async([this, self, f = std::move(f)] {
    if (!setUp_) return;
    try {
      f();
    } catch (...) {
      ORLITH_LOG_ERROR("a queued operation failed");
    }
  });
}

void ISelvoServiceManage::forwardLayout(std::function<void(ISELVO_LAYOUT&)> f) {
  onQueue([this, f = std::move(f)] {
    if (layout_wrapper_inst) f(*layout_wrapper_inst);
  });
}

void ISelvoServiceManage::forwardLayoutSetting(std::function<void(ISELVO_LAYOUT_SETTING&)> f) {
  onQueue([this, f = std::move(f)] {
    if (layout_setting_wrapper_inst) f(*layout_setting_wrapper_inst);
  });
}

void ISelvoServiceManage::forwardDetector(std::function<void(ISELVO_DETECTOR&)> f) {
  onQueue([this, f = std::move(f)] {
    if (detector_wrapper_inst) f(*detector_wrapper_inst);
  });
}

std::shared_ptr<RectManager> ISelvoServiceManage::rectManager() const {
  if (!configured_.load()) return nullptr;
  std::lock_guard lock(rectManagerMutex_);
  return m_rect_manager_inst;
}

std::shared_ptr<RectManager> ISelvoServiceManage::queueRectManager() const {
  std::lock_guard lock(rectManagerMutex_);
  return m_rect_manager_inst;
}

ISelvoServiceManage::rect ISelvoServiceManage::focusManualRect() const {
  std::lock_guard lock(objectMutex_);
  return m_focus_manual_rect;
}

ISelvoServiceManage::rect ISelvoServiceManage::pipManualRect() const {
  std::lock_guard lock(objectMutex_);
  return m_pip_manual_rect;
}

ISelvoServiceManage::rect ISelvoServiceManage::viewMoveIconRect() const {
  std::lock_guard lock(objectMutex_);
  return m_180_move_icon_rect;
}

std::string ISelvoServiceManage::imagePath(int which) const {
  std::lock_guard lock(objectMutex_);
  const std::string* paths[7] = {&defaultLogoPath,       &voiceIndicatorIconPath, &pinIconPath,
                                 &anchorPointSymbolPath, &normalTagPath,          &trackTagPath,
                                 &speakTagPath};
  return which >= 0 && which < 7 ? *paths[which] : std::string();
}

// ---------------------------------------------------------------------------------------------
// The frame pipeline

void ISelvoServiceManage::refuseFrame(int reason, const std::string& message) {
  // One line per run of refused frames, not one per frame.
  if (lastRefusal_.exchange(reason) != reason) ORLITH_LOG_ERROR(message);
}

void ISelvoServiceManage::imageProcessWithPixelBuffer(const PixelBufferRef& frame,
                                                      std::function<void()> done) {
  if (!done) done = [] {};
  if (!admitted()) {
    refuseFrame(kNotSetUp, "frame refused: the analysis is not set up");
    platform::MainQueue::shared().async(std::move(done));
    return;
  }
  int W = m_video_width(), H = m_video_height();
  PixelBufferRef copy;
  if (!frame || frame->format() != PixelFormat::NV12FullRange || frame->width() != W ||
      frame->height() != H) {
    refuseFrame(kBadFrame, frame ? format("frame refused: %dx%d %s, the analysis takes %dx%d 420f",
                                          frame->width(), frame->height(),
                                          platform::pixelFormatName(frame->format()), W, H)
                                 : std::string("frame refused: no pixel buffer"));
  } else if (!(copy = copies_.take(W, H))) {
    refuseFrame(kCopyFailed, "YUVBufferCopyWithPixelBuffer :: failed");
  } else {
    frame->lock(true);
    bool copied = YUVBufferCopyWithPixelBuffer(*frame, *copy);
    frame->unlock(true);
    if (!copied) {
      refuseFrame(kCopyFailed, "YUVBufferCopyWithPixelBuffer :: failed");
      copy.reset();
    } else {
      lastRefusal_.store(kNone);
    }
  }
  auto self = weak_from_this().lock();
  processQueue->async([this, self, copy, done = std::move(done)]() mutable {
    try {
      processFrame(copy);
    } catch (const std::exception& e) {
      ORLITH_LOG_ERROR(std::string("frame step failed: ") + e.what());
    } catch (...) {
      ORLITH_LOG_ERROR("frame step failed");
    }
    detectBuffer.reset();
    detectBufferAddress = nullptr;
    copies_.give(std::move(copy), m_video_width(), m_video_height());
    platform::MainQueue::shared().async(std::move(done));
  });
}

void ISelvoServiceManage::setupQueue() {
  setInWorkingThread(true);
  m_buffer_params_pool.setupQueue(m_process_width(), m_process_height());
}

std::shared_ptr<VideoSampleParams> ISelvoServiceManage::getEmptyParams() {
  return m_buffer_params_pool.getEmptyParams();
}

void ISelvoServiceManage::startWorkingThread() {
  std::weak_ptr<ISelvoServiceManage> weak = weak_from_this();
  bool started = m_buffer_params_pool.startWorkingThread([this, weak](const PixelBufferRef& slot) {
    auto self = weak.lock();
    if (!self) return;
    // The pipeline reads video-size frames; a slot of another size would be read past its end.
    if (slot->width() != m_video_width() || slot->height() != m_video_height()) {
      refuseFrame(kBadFrame, "pooled frame refused: its size is not the video size");
      return;
    }
    processQueue->sync([this, &slot] { processFrame(slot); });
  });
  if (!started) ORLITH_LOG_ERROR("the analysis cannot start: its worker thread cannot be started");
}

void ISelvoServiceManage::processFrame(const PixelBufferRef& copy) {
  auto rmRef = queueRectManager();
  RectManager* rm = setUp_ ? rmRef.get() : nullptr;
  if (!rm) return;
  bool havePixels = copy != nullptr;
  unsigned id = 0;
  bool detect = false, tracked = false;
  if (havePixels) {
    detectBuffer = copy;
    detectBuffer->lock();
    detectBufferAddress = detectBuffer->baseAddress(0);
    detect = do_detect(rm);
    tracked = rm->HasRectTracked();
    if (m_frame_manager) {
      id = m_frame_manager->AddFrame(detectBufferAddress, m_video_width(), m_video_height(), detect,
                                     tracked);
      m_frame_manager->BeginFrame(id);
    }
    havePixels = id != 0;
  }
  detectFrame(detect, id, havePixels, rm);
  trackFrame(tracked, id, havePixels, rm);
  drawLayout(rm);
  if (id != 0 && m_frame_manager) m_frame_manager->EndFrame(id);
  if (detectBuffer) detectBuffer->unlock();
}

bool ISelvoServiceManage::do_detect(RectManager* rm) {
  int64_t now = nowMicroseconds();
  // A detection asked for (detect once, the detect button, tracking turned on) looks at the
  // whole picture at once; the periodic ones may look again only where the picture changed.
  if (m_one_click_detect()) {
    setM_force_do_detect(false);
    fullPassAsked_ = true;
    return true;
  }
  if (m_force_do_detect()) {
    setM_force_do_detect(false);
    fullPassAsked_ = true;
    return true;
  }
  if (m_enable_auto_detect() || (rm && rm->HasDetectRectTracked())) {
    int64_t elapsedMs = (now - m_auto_detect_interval_()) / 1000;
    if (elapsedMs >= m_detect_interval_ms()) {
      setM_auto_detect_interval_(now);
      return true;
    }
  }
  return false;
}

void ISelvoServiceManage::detectFrame(bool detect, unsigned frameId, bool havePixels,
                                      RectManager* rm) {
  ISELVO_DETECTOR* det = detector_wrapper_inst;
  bool translated = detector && detector->runningWithRosetta();
  if (havePixels) {
    if (detect) {
      Observer onDetect, onDetectOnce;
      {
        std::lock_guard lock(objectMutex_);
        onDetect = studio_detect_callback;
        onDetectOnce = studio_detect_once_callback;
      }
      if (onDetect) onDetect();
      if (m_one_click_detect()) {
        // Owed before it is told taken, so the request never looks settled in between.
        replaceFrom_ = frameId;
        replaceOwed_ = true;
        setM_one_click_detect(false);
        if (onDetectOnce) onDetectOnce();
      }
      if (translated) detector->detectWithYUVPixelBuffer(detectBuffer);
      if (det && fullPassAsked_) det->RequestFullPass();
      fullPassAsked_ = false;
      if (det) det->AddFrame(frameId, true);
      setImg_id(img_id() + 1);
      ORLITH_LOG_FRAME_DEBUG("[selvo] detector add frame");
    } else if (det) {
      det->AddFrame(frameId, false);
    }
  }
  if (!det) return;
  if (translated && detector->isUpdated()) {
    detector->setIsUpdated(false);
    int n = std::max(0, detector->rectsCount());
    std::vector<DoubleRect> found = detector->origRects();
    std::vector<rect> rects(size_t(n), rect{0, 0, 0, 0, 0, 0});
    for (int i = 0; i < n && size_t(i) < found.size(); ++i) {
      const DoubleRect& f = found[size_t(i)];
      rects[size_t(i)] = rect{float(f.x), float(f.y), float(f.width), float(f.height), 0, 0};
    }
    det->SetExternalResults(rects.data(), n);
  }
  int count = 0;
  int r = det->GetResultCount(&count);
  if (r <= 0) return;
  if (count < 0 || count > 4096) {
    ORLITH_LOG_ERROR(format("detector reported %d results: ignored", count));
    return;
  }
  std::vector<rect> found(static_cast<size_t>(count)), adjusted(static_cast<size_t>(count));
  if (count > 0) det->GetResults(found.data(), adjusted.data(), count);
  for (int i = 0; i < count; ++i) {
    int id = rm->NewRectId();
    found[size_t(i)].id = adjusted[size_t(i)].id = id;
  }
  if (replaceOwed_) {
    unsigned resultFrame = 0;
    const bool known = det->GetResultFrameId(&resultFrame);
    if (!known || int32_t(resultFrame - replaceFrom_.load()) >= 0) {
      replaceOwed_ = false;
      rm->ClearPrevDetectResults();
    }
  }
  setRects_updated(true);
  orig_detect_rect = found;
  adjust_detect_rects = adjusted;
  // The one merge of this result; the tracking step only renews the trackers' targets. A
  // one-shot result (detect once, or the launch detection with auto-detect off) is merged too.
  if (!m_enable_auto_detect() && rm->HasDetectRectTracked()) {
    rm->SetDetectedRects_replace_tracking(adjust_detect_rects);
  } else {
    rm->SetDetectedRects(adjust_detect_rects);
  }
}

void ISelvoServiceManage::trackFrame(bool tracked, unsigned frameId, bool havePixels,
                                     RectManager* rm) {
  bool changed = rm->ValidateTrackedRect();
  if (tracked && havePixels) {
    if (m_tracker_correlation) m_tracker_correlation->Track(frameId);
    if (m_tracker_opticalflow) m_tracker_opticalflow->Track(frameId);
  }
  try {
    if (rects_updated() || changed) {
      setRects_updated(false);
      temp_track_rect = resize_to_process(rm->GetTrackedDetectRects());
      if (m_tracker_correlation) {
        m_tracker_correlation->SetTargets(temp_track_rect.data(),
                                          checkedCount(temp_track_rect.size()));
      }
      temp_track_rect = resize_to_process(rm->GetTrackedManualRects());
      if (m_tracker_opticalflow) {
        m_tracker_opticalflow->SetTargets(temp_track_rect.data(),
                                          checkedCount(temp_track_rect.size()));
      }
      return;
    }
  } catch (const Overflow&) {
    ORLITH_LOG_ERROR("int overflowed.");
    return;
  }
  for (ISELVO_TRACKER* tracker : {m_tracker_correlation, m_tracker_opticalflow}) {
    if (!tracker) continue;
    int n = 0;
    tracker->GetResultCount(&n);
    if (n == -1) continue;
    if (n < 0 || n > 4096) {
      ORLITH_LOG_ERROR(format("tracker reported %d results: ignored", n));
      continue;
    }
    temp_track_rect.assign(size_t(n), rect{});
    if (n > 0) tracker->GetResults(temp_track_rect.data(), n);
    rm->SetTrackedRects(resize_to_rectmanager(temp_track_rect));
  }
}

std::vector<ISelvoServiceManage::rect> ISelvoServiceManage::resize_to_process(
    const std::vector<rect>& rects) const {
  float scale = m_process_scale();
  if (scale == 1.0f || scale <= 0) return rects;
  std::vector<rect> out = rects;
  for (auto& r : out) {
    ORLITH_LOG_FRAME_DEBUG(format("[selvo]3 rect(%f, %f, %f, %f)", r.x, r.y, r.width, r.height));
    r.x /= scale;
    r.y /= scale;
    r.width /= scale;
    r.height /= scale;
    ORLITH_LOG_FRAME_DEBUG(format("[selvo]4 rect(%f, %f, %f, %f)", r.x, r.y, r.width, r.height));
  }
  return out;
}

std::vector<ISelvoServiceManage::rect> ISelvoServiceManage::resize_to_rectmanager(
    const std::vector<rect>& rects) const {
  float scale = m_process_scale();
  if (scale == 1.0f || scale <= 0) return rects;
  std::vector<rect> out = rects;
  for (auto& r : out) {
    ORLITH_LOG_FRAME_DEBUG(format("[selvo]1 rect(%f, %f, %f, %f)", r.x, r.y, r.width, r.height));
    r.x *= scale;
    r.y *= scale;
    r.width *= scale;
    r.height *= scale;
    ORLITH_LOG_FRAME_DEBUG(format("[selvo]1 rect(%f, %f, %f, %f)", r.x, r.y, r.width, r.height));
  }
  return out;
}

void ISelvoServiceManage::reinitLayout() {
  int RW, RH;
  {
    std::lock_guard lock(objectMutex_);
    RW = m_reinit_width();
    RH = m_reinit_height();
    setReinit(false);
  }
  int OW = m_relayout_width(), OH = m_relayout_height();
  if (RW <= 0 || RH <= 0 || (RW == OW && RH == OH)) return;
  ORLITH_LOG_DEBUG(format("Size changed, re-init layout handler and render (%d, %d) -> (%d, %d).",
                          OW, OH, RW, RH));
  int W = m_video_width(), H = m_video_height();
  bool is360 = m_is_360_fov() != 0;
  setM_relayout_width(RW);
  setM_relayout_height(RH);
  setM_scale_panorama(float(RW) / float(W));
  // Only a 16:9 output has ROI pairs, whatever size it had before.
  setM_enable_relayout(int64_t(RW) * 9 == int64_t(RH) * 16);
  ISELVO_LAYOUT* layout = layout_wrapper_inst;
  if (layout) {
    layout->Reinit(is360, W, H, RW, RH, m_sub_video_width(), m_sub_video_height(), 0);
    layout->SetDefaultLogoPath(imagePath(kLogo).c_str());
    layout->SetVoiceIndicatorIconPath(imagePath(kVoice).c_str());
    layout->SetPinIconPath(imagePath(kPin).c_str());
    if (!is360 && m_enable_relayout()) {
      int side = drag_icon_target_size();
      layout->SetViewMoveIcon("icon-view-move@2x.png", side, side, positions());
      float v[4] = {0, 0, 0, 0};
      layout->GetViewMoveIconRect(v, 4);
      float s = m_editview_scale_panorama();
      if (s > 0) {
        std::lock_guard lock(objectMutex_);
        m_180_move_icon_rect.x = v[0] / s;
        m_180_move_icon_rect.y = v[1] / s;
        m_180_move_icon_rect.width = v[2] / s;
        m_180_move_icon_rect.height = v[3] / s;
      }
    }
  }
  setRelayout_buffer_size(unsigned(int64_t(RW) * RH * 3 / 2));
}

void ISelvoServiceManage::drawLayout(RectManager* rm) {
  ISELVO_LAYOUT* layout = layout_wrapper_inst;
  RoiPairList arrays[5];
  if (layout) {
    try {
      int mode = layout->GetLayoutMode();
      bool focusFixed = mode == LAYOUT_FOCUS && m_focusmode_policy() == 1;
      std::vector<rect> tracked, untracked;
      if (focusFixed) {
        layout->SetManualRect(LAYOUT_FOCUS, focusManualRect());
      } else {
        if (mode == LAYOUT_PRESENTATION)
          layout->SetManualRect(LAYOUT_PRESENTATION, pipManualRect());
        untracked = rm->GetUntrackedRects();
        tracked = rm->GetTrackedDisplayRects();
      }
      std::vector<rect> ignore = rm->GetIgnoreAreas();
      if (reinit()) reinitLayout();
      std::vector<int> pinned = rm->GetPinnedIds();
      rect temp;
      if (rm->GetTempRect(temp)) {
        if (rm->IsIgnoreAreaEditing()) {
          ignore.push_back(temp);
        } else if (!focusFixed) {
          untracked.push_back(temp);
        }
      }
      layout->SetRects(tracked.data(), checkedCount(tracked.size()), untracked.data(),
                       checkedCount(untracked.size()));
      layout->SetIgnoreAreas(ignore.data(), checkedCount(ignore.size()));
      layout->SetPinnedIds(checkedCount(pinned.size()), pinned.data());
      layout->SetContentOffset(offset());

      tags.clear();
      rm->GetAllTagPairs(tags);
      for (const auto& [rectId, person] : tags) {
        layout->SetNameTag(rectId, person.name.c_str(),
                           RoiPairConversion::companyOf(person).c_str(),
                           RoiPairConversion::titleOf(person).c_str());
      }
      bool isNew = false;
      int latest = -1;
      rm->GetLatestManulRectId(isNew, latest);
      if (isNew) layout->SetLatestManualRectId(latest);
      int transforming = -1;
      if (!rm->GetTransformRectId(transforming)) transforming = -1;
      layout->SetTransformingRectId(transforming);

      layout->SetFrameTime(nowMicroseconds());
      if (m_enable_relayout()) {
        if (enable_beamforming()) {
          float a = m_direction();
          if (a > 360) {
            ORLITH_LOG_DEBUG(format("[selvo] AddVOADirection receives invalid angle = %f.", a));
          }
          // Folded into (-180, 180] whatever the sign of the offset.
          int v = (int(a) + m_voice_angle_offset()) % 360;
          if (v > 180) v -= 360;
          if (v <= -180) v += 360;
          layout->AddVoiceDirection(m_is_voice(), v);
        }
        DoBufferLayout_ROIPairs();
        for (int type = 1; type <= 3; ++type) {
          int count = -11;
          if (GetROIPairCount(type, count) && count > 0) {
            GetROIPairs(type, count, arrays[type - 1]);
          }
        }
      }
      if (draw_sub_video()) {
        SetSrcToSubwindow_ROIPairs(m_video_width(), m_video_height(), m_sub_video_width(),
                                   m_sub_video_height());
        int slot = 3;
        for (int type : {1, 3}) {
          int count = -11;
          if (GetSubwindowROIPairCount(type, count) && count > 0) {
            GetSubwindowROIPairs(type, count, arrays[slot]);
          }
          ++slot;
        }
      }
    } catch (const Overflow&) {
      ORLITH_LOG_ERROR("int overflowed.");
      for (auto& a : arrays) a.clear();
    }
  }
  // Owned through a shared pointer, the observer is the one set when the arrays arrive;
  // otherwise the facade may be gone by then, so the one set now is taken.
  auto self = weak_from_this().lock();
  LayoutObserver snapshot;
  if (!self) {
    std::lock_guard lock(objectMutex_);
    snapshot = studio_layout_callback;
  }
  platform::MainQueue::shared().async([this, self, snapshot = std::move(snapshot),
                                       a0 = std::move(arrays[0]), a1 = std::move(arrays[1]),
                                       a2 = std::move(arrays[2]), a3 = std::move(arrays[3]),
                                       a4 = std::move(arrays[4])]() mutable {
    LayoutObserver observer = std::move(snapshot);
    if (self) {
      std::lock_guard lock(objectMutex_);
      observer = studio_layout_callback;
    }
    if (observer) {
      observer(std::move(a0), std::move(a1), std::move(a2), std::move(a3), std::move(a4));
    }
  });
}

// ---------------------------------------------------------------------------------------------
// ROI-pair access

void ISelvoServiceManage::DoBufferLayout_ROIPairs() {
  syncOnQueue([this] {
    if (setUp_ && layout_wrapper_inst) layout_wrapper_inst->DoBufferLayout();
  });
}

void ISelvoServiceManage::SetSrcToSubwindow_ROIPairs(int srcWidth, int srcHeight, int subWidth,
                                                     int subHeight) {
  syncOnQueue([&] {
    if (setUp_ && layout_wrapper_inst) {
      layout_wrapper_inst->SetSrcToSubwindow(srcWidth, srcHeight, subWidth, subHeight);
    }
  });
}

bool ISelvoServiceManage::GetROIPairCount(long type, int& count) {
  bool ok = false;
  if (type < 1 || type > 3) return false;
  syncOnQueue([&] {
    if (setUp_ && layout_wrapper_inst) ok = layout_wrapper_inst->GetROIPairCount(int(type), &count);
  });
  return ok;
}

bool ISelvoServiceManage::GetSubwindowROIPairCount(long type, int& count) {
  bool ok = false;
  if (type != 1 && type != 3) return false;
  syncOnQueue([&] {
    if (setUp_ && layout_wrapper_inst) {
      ok = layout_wrapper_inst->GetSubwindowROIPairCount(int(type), &count);
    }
  });
  return ok;
}

bool ISelvoServiceManage::GetROIPairs(long type, int count, RoiPairList& output) {
  return fetchPairs(true, type, count, output);
}

bool ISelvoServiceManage::GetSubwindowROIPairs(long type, int count, RoiPairList& output) {
  return fetchPairs(false, type, count, output);
}

bool ISelvoServiceManage::fetchPairs(bool mainLayout, long type, int count, RoiPairList& output) {
  if (type < 1 || type > 3 || count <= 0) return false;
  if (count > kMaxRoiPairs) {
    ORLITH_LOG_ERROR(format("the layout reported %d ROI pairs: ignored", count));
    return false;
  }
  bool ok = false;
  syncOnQueue([&] {
    if (!setUp_ || !layout_wrapper_inst) return;
    std::vector<roi_pair> records(static_cast<size_t>(count));
    ok = mainLayout ? layout_wrapper_inst->GetROIPairs(int(type), count, records.data())
                    : layout_wrapper_inst->GetSubwindowROIPairs(int(type), count, records.data());
    if (ok) _convert_to_selvo_roi_pair(records, output, count, mainLayout ? 1 : 0);
  });
  return ok;
}

void ISelvoServiceManage::_convert_to_selvo_roi_pair(const std::vector<roi_pair>& records,
                                                     RoiPairList& output, int count,
                                                     int from) const {
  for (int i = 0; i < count && size_t(i) < records.size(); ++i) {
    output.push_back(RoiPairConversion::convert(records[size_t(i)], from == 1, tags).dictionary());
  }
}

// ---------------------------------------------------------------------------------------------
// Tuning handed on

void ISelvoServiceManage::EnableBeamforming(char enable) {
  setEnable_beamforming(enable != 0);
  forwardLayout([on = enable != 0](ISELVO_LAYOUT& l) { l.EnableBeamforming(on); });
}

void ISelvoServiceManage::SetAngleTolerance(int degrees) {
  forwardLayout([=](ISELVO_LAYOUT& l) { l.SetAngleTolerance(degrees); });
}

void ISelvoServiceManage::SetMaxGridCount(int count) {
  forwardLayout([=](ISELVO_LAYOUT& l) { l.SetMaxGridCount(count); });
}

void ISelvoServiceManage::SetFocusModeROIExtendPixel(unsigned pixels) {
  forwardLayout([=](ISELVO_LAYOUT& l) { l.SetFocusModeROIExtendPixel(int(pixels)); });
}

void ISelvoServiceManage::EnableROIAutoMerge(bool enable) {
  forwardLayout([=](ISELVO_LAYOUT& l) { l.EnableROIAutoMerge(enable); });
}

void ISelvoServiceManage::SetGridComposeModeMaxCount(int count) {
  forwardLayout([=](ISELVO_LAYOUT& l) { l.SetGridComposeModeMaxCount(count); });
}

void ISelvoServiceManage::SetPIPSmallWindowSize(long level) {
  if (level < 1 || level > 3) return;
  forwardLayout([=](ISELVO_LAYOUT& l) { l.SetPIPSmallWindowSize(int(level)); });
}

void ISelvoServiceManage::SetBeamformingHightlightTime(int milliseconds) {
  forwardLayoutSetting(
      [=](ISELVO_LAYOUT_SETTING& s) { s.SetBeamformingHighlightTime(milliseconds); });
}

void ISelvoServiceManage::SetSpeakerClearTime(int milliseconds) {
  forwardLayoutSetting([=](ISELVO_LAYOUT_SETTING& s) { s.SetSpeakerClearTime(milliseconds); });
}

void ISelvoServiceManage::SetStableROITolerance(int tolerance, int maximum) {
  forwardLayoutSetting(
      [=](ISELVO_LAYOUT_SETTING& s) { s.SetStableROITolerance(tolerance, maximum); });
}

void ISelvoServiceManage::SetPIPEnlargeScaleLimit(float limit) {
  forwardLayoutSetting([=](ISELVO_LAYOUT_SETTING& s) { s.SetPIPEnlargeScaleLimit(limit); });
}

void ISelvoServiceManage::SpeakerModeTransitionAlways(bool always) {
  forwardLayoutSetting([=](ISELVO_LAYOUT_SETTING& s) { s.SetSpeakerModeTransitionAlways(always); });
}

void ISelvoServiceManage::SetMinSrcHeightScale(float scale) {
  forwardLayoutSetting([=](ISELVO_LAYOUT_SETTING& s) { s.SetMinSrcHeightScale(scale); });
}

void ISelvoServiceManage::SetVideoPanWeight(float weight) {
  forwardLayoutSetting([=](ISELVO_LAYOUT_SETTING& s) { s.SetVideoPanWeight(weight); });
}

void ISelvoServiceManage::SetTransitionFrameCount(int frames) {
  forwardLayoutSetting([=](ISELVO_LAYOUT_SETTING& s) { s.SetTransitionFrameCount(frames); });
}

void ISelvoServiceManage::EnableNameTag(bool enable) {
  forwardLayoutSetting([=](ISELVO_LAYOUT_SETTING& s) { s.EnableNameTag(enable); });
}

void ISelvoServiceManage::EnableShowScaleFactor(char enable) {
  forwardLayoutSetting(
      [on = enable != 0](ISELVO_LAYOUT_SETTING& s) { s.EnableShowScaleFactor(on); });
}

void ISelvoServiceManage::SetMinRectSideLength(int side) {
  setM_min_side_length(side);
  if (auto rm = rectManager()) rm->SetMinSideLength(side);
  forwardDetector([=](ISELVO_DETECTOR& d) { d.SetMinRectSideLength(side); });
}

// ---------------------------------------------------------------------------------------------
// Values kept here or in the rectangle manager

void ISelvoServiceManage::SetDetectConfThreshold(float threshold) {
  setM_detect_conf_ratio(threshold);
  forwardDetector([=](ISELVO_DETECTOR& d) { d.SetConfidenceThreshold(threshold); });
}

void ISelvoServiceManage::SetDetectModelType(int type) {
  ORLITH_LOG_DEBUG(format("[backdoor] SetDetectModelType %d", type));
  if (type < 0 || type > 2) return;
  setM_detect_model_type(type);
  forwardDetector([=](ISELVO_DETECTOR& d) { d.SetModelType(type); });
}

void ISelvoServiceManage::EnableFaceRecognition(bool enable) { setM_do_face_recognition(enable); }

void ISelvoServiceManage::enableReinforcementDetect(char enable) {
  setM_enable_reinforcement_detect(enable != 0);
  forwardDetector([on = enable != 0](ISELVO_DETECTOR& d) { d.EnableReinforcementDetect(on); });
}

void ISelvoServiceManage::SetVoiceAngleOffset(int degrees) {
  ORLITH_LOG_DEBUG(format("SetVoiceAngleOffset = %d.", degrees));
  setM_voice_angle_offset(degrees);
}

void ISelvoServiceManage::setAngle(int angle, int enable) {
  setM_direction(float(angle));
  setM_is_voice(enable == 1);
}

void ISelvoServiceManage::setContentOffset(int value) {
  setOffset(value);
  if (auto rm = rectManager()) rm->SetBasePositionOffset(value);
}

int ISelvoServiceManage::getContentOffset() const { return offset(); }

bool ISelvoServiceManage::IsBeamformingAvailabl() const { return enable_beamforming(); }

void ISelvoServiceManage::enableSmallVideoWindow(char enable) { setDraw_sub_video(enable != 0); }

void ISelvoServiceManage::enableDrawRefLine(char enable) { setM_enable_draw_ref_line(enable != 0); }

void ISelvoServiceManage::EnableAccumulateDetection(bool enable) {
  setM_tracker_type(enable ? 2 : 1);
}

bool ISelvoServiceManage::GetAccumulateDetectionStatus() const { return m_tracker_type() == 2; }

void ISelvoServiceManage::SetTrackerType(long type) {
  setM_tracker_type(type >= 0 && type <= 2 ? int(type) : 1);
}

void ISelvoServiceManage::SetManualFocusRectInitPlace(int x, int y, int width, int height) {
  std::lock_guard lock(objectMutex_);
  m_focus_manual_rect.x = float(x);
  m_focus_manual_rect.y = float(y);
  m_focus_manual_rect.width = float(width);
  m_focus_manual_rect.height = float(height);
}

void ISelvoServiceManage::SetPresentRectInitPlace(int x, int y, int width, int height) {
  std::lock_guard lock(objectMutex_);
  m_pip_manual_rect.x = float(x);
  m_pip_manual_rect.y = float(y);
  m_pip_manual_rect.width = float(width);
  m_pip_manual_rect.height = float(height);
}

// ---------------------------------------------------------------------------------------------
// Display mode, fit policy, draw flags

unsigned ISelvoServiceManage::drawMask() const {
  unsigned mask = ~0u;
  if (!m_draw_normal_rect()) mask &= ~(1u << 0);
  if (!m_draw_tracking_rect()) mask &= ~(1u << 1);
  if (!m_draw_ignore_rect()) mask &= ~(1u << 13);
  return mask;
}

void ISelvoServiceManage::setDrawFlags(unsigned mask) {
  forwardLayout([=](ISELVO_LAYOUT& l) { l.SetDrawFlags(mask); });
}

void ISelvoServiceManage::setDisplayMode(long mode) {
  auto rm = rectManager();
  if (!rm) return;
  setCurrent_mode(mode);
  // Display modes 10..18; two groups (17) is its own layout mode.
  static constexpr int kLayoutModes[] = {
      LAYOUT_COMPOSE,      LAYOUT_FOCUS,      LAYOUT_GRID,
      LAYOUT_PRESENTATION, LAYOUT_SPEAKER,    LAYOUT_SINGLE_SPEAKER,
      LAYOUT_TOP_DOWN,     LAYOUT_TWO_GROUPS, LAYOUT_PANORAMA};
  if (mode < 10 || mode > 18) return;
  int layoutMode = kLayoutModes[mode - 10];
  forwardLayout([=](ISELVO_LAYOUT& l) { l.SetLayoutMode(layoutMode); });
  rm->SetLayoutMode(layoutMode);
}

void ISelvoServiceManage::setFitMode(long mode) {
  int policy = mode == 12 ? 3 : mode == 11 ? 2 : 1;
  setM_focusmode_policy(policy);
  forwardLayout([=](ISELVO_LAYOUT& l) { l.SetFitPolicy(policy); });
}

void ISelvoServiceManage::enableDrawRect(bool enable) {
  setDrawFlags(enable ? drawMask() : ~(0x7u | (0xFu << 10)));
}

void ISelvoServiceManage::DrawNormalRect(bool draw) {
  setM_draw_normal_rect(draw);
  setDrawFlags(drawMask());
}

void ISelvoServiceManage::DrawTrackingRect(bool draw) {
  setM_draw_tracking_rect(draw);
  setDrawFlags(drawMask());
}

void ISelvoServiceManage::DrawIgnoreRect(bool draw) {
  setM_draw_ignore_rect(draw);
  setDrawFlags(drawMask());
}

void ISelvoServiceManage::StartIgnoreAreaEditing() {
  auto rm = rectManager();
  if (!rm) return;
  rm->StartIgnoreAreaEditing();
  setDrawFlags(~(0x7u | (0x7u << 10)));
}

void ISelvoServiceManage::EndIgnoreAreaEditing(bool keep) {
  auto rm = rectManager();
  if (!rm) return;
  rm->EndIgnoreAreaEditing(keep);
  setDrawFlags(drawMask());
}

void ISelvoServiceManage::EnableEditWindowIgnoreIcon(bool enable) {
  unsigned mask = ~1u | (enable ? 1u : 0u);
  forwardLayout([=](ISELVO_LAYOUT& l) { l.SetEditWindowIgnoreIconFlags(mask); });
}

void ISelvoServiceManage::setEnableDrawRect(bool enable) {
  setM_enable_sub_window_draw_rect(enable);
  forwardLayout([=](ISELVO_LAYOUT& l) { l.EnableSubWindowDrawRect(1, enable); });
}

void ISelvoServiceManage::setMirror(char mirror) {
  auto rm = rectManager();
  if (!rm) return;
  bool on = mirror != 0;
  rm->SetMirror(on);
  forwardLayout([=](ISELVO_LAYOUT& l) { l.SetMirror(on); });
  setM_enable_mirror(on);
}

// ---------------------------------------------------------------------------------------------
// Detection control

void ISelvoServiceManage::enableAutoDetect(char enable, int intervalMs) {
  setM_auto_detect_interval_(nowMicroseconds());
  setM_detect_interval_ms(intervalMs);
  setM_enable_auto_detect(enable != 0);
  setM_force_do_detect(enable != 0);
}

void ISelvoServiceManage::detectOnce() { setM_one_click_detect(true); }

// ---------------------------------------------------------------------------------------------
// Focus and picture-in-picture rectangles

void ISelvoServiceManage::GetFocusManualRect(int& x, int& y, int& width, int& height) {
  std::lock_guard lock(objectMutex_);
  x = int(m_focus_manual_rect.x);
  y = int(m_focus_manual_rect.y);
  width = int(m_focus_manual_rect.width);
  height = int(m_focus_manual_rect.height);
}

void ISelvoServiceManage::GetPipManualRect(int& x, int& y, int& width, int& height) {
  std::lock_guard lock(objectMutex_);
  x = int(m_pip_manual_rect.x);
  y = int(m_pip_manual_rect.y);
  width = int(m_pip_manual_rect.width);
  height = int(m_pip_manual_rect.height);
}

void ISelvoServiceManage::GetFocusModeManualRect(int& x, int& y, int& width, int& height) {
  auto rm = rectManager();
  if (!rm) return;
  int mode = rm->LayoutMode();
  if (mode != LAYOUT_FOCUS && mode != LAYOUT_PRESENTATION) return;
  std::lock_guard lock(objectMutex_);
  const rect& r = mode == LAYOUT_FOCUS ? m_focus_manual_rect : m_pip_manual_rect;
  int W = m_video_width();
  width = int(r.width);
  height = int(r.height);
  int v = m_enable_mirror() ? W - int(r.x) - width : int(r.x);
  if (v >= W) v = W - width;
  if (v <= 0) v = 0;
  x = v;
  y = int(r.y);
}

void ISelvoServiceManage::SetFocusModeManualRect(int x, int y, int width, int height) {
  auto rm = rectManager();
  if (!rm) return;
  int mode = rm->LayoutMode();
  if (mode != LAYOUT_FOCUS && mode != LAYOUT_PRESENTATION) return;
  std::lock_guard lock(objectMutex_);
  rect& r = mode == LAYOUT_FOCUS ? m_focus_manual_rect : m_pip_manual_rect;
  int W = m_video_width(), H = m_video_height();
  r.width = float(width);
  r.height = float(height);
  int v = m_enable_mirror() ? W - (x + width) : x;
  if (v >= W) v = W - width;
  if (v < 0) v = 0;
  r.x = float(v);
  r.y = float(y);
  RectManager::validateRectSize(r, W, H, height, false, 0);
}

void ISelvoServiceManage::GetViewMoveIconRect(int& x, int& y, int& width, int& height) {
  std::lock_guard lock(objectMutex_);
  x = int(m_180_move_icon_rect.x);
  y = int(m_180_move_icon_rect.y);
  width = int(m_180_move_icon_rect.width);
  height = int(m_180_move_icon_rect.height);
}

void ISelvoServiceManage::heightOffsetOnQueue(int offset) {
  if (!setUp_ || !layout_wrapper_inst || m_is_360_fov() != 0) return;
  layout_wrapper_inst->SetHeightOffsetFor180Video(offset);
  float v[4] = {0, 0, 0, 0};
  layout_wrapper_inst->GetViewMoveIconRect(v, 4);
  float s = m_editview_scale_panorama();
  if (s <= 0) return;
  std::lock_guard lock(objectMutex_);
  m_180_move_icon_rect.x = v[0] / s;
  m_180_move_icon_rect.y = v[1] / s;
  m_180_move_icon_rect.width = v[2] / s;
  m_180_move_icon_rect.height = v[3] / s;
}

void ISelvoServiceManage::SetHeightOffsetFor180Video(int offset) {
  onQueue([this, offset] { heightOffsetOnQueue(offset); });
}

bool ISelvoServiceManage::IsRectFocusedInPIPMode(int id) {
  bool focused = false;
  syncOnQueue([&] {
    int current = -1;
    if (setUp_ && layout_wrapper_inst && layout_wrapper_inst->GetFocusedRectInPIP(0, &current)) {
      focused = current == id;
    }
  });
  return focused;
}

// ---------------------------------------------------------------------------------------------
// Image replacement

void ISelvoServiceManage::replaceImage(int which, const std::string& path, const char* logName,
                                       bool log) {
  if (log) ORLITH_LOG_INFO(std::string(logName) + ":" + path);
  std::string* fields[7] = {&defaultLogoPath,       &voiceIndicatorIconPath, &pinIconPath,
                            &anchorPointSymbolPath, &normalTagPath,          &trackTagPath,
                            &speakTagPath};
  if (path.empty()) {
    if (log) ORLITH_LOG_INFO(std::string(logName) + " 2");
    std::lock_guard lock(objectMutex_);
    *fields[which] = kDefaultImages[which];
    return;
  }
  if (log) ORLITH_LOG_INFO(std::string(logName) + " 1");
  {
    std::lock_guard lock(objectMutex_);
    *fields[which] = path;
  }
  forwardLayout([which, path](ISELVO_LAYOUT& l) {
    switch (which) {
      case kLogo:
        l.SetDefaultLogoPath(path.c_str());
        break;
      case kVoice:
        l.SetVoiceIndicatorIconPath(path.c_str());
        break;
      case kPin:
        l.SetPinIconPath(path.c_str());
        break;
      case kAnchor:
        l.SetAnchorPointSymbolPath(path.c_str());
        break;
      default:
        l.SetNameTagImage(path.c_str(), which - kTag0);
        break;
    }
  });
}

void ISelvoServiceManage::replaceDefaultLogoPath(const std::string& path) {
  replaceImage(kLogo, path, "replaceDefaultLogoPath", true);
}
void ISelvoServiceManage::replaceVoiceIndicatorIconPath(const std::string& path) {
  replaceImage(kVoice, path, "replaceVoiceIndicatorIconPath", false);
}
void ISelvoServiceManage::replacePinIconPath(const std::string& path) {
  replaceImage(kPin, path, "replacePinIconPath", false);
}
void ISelvoServiceManage::replaceAnchorPointSymbolPath(const std::string& path) {
  replaceImage(kAnchor, path, "replaceAnchorPointSymbolPath", false);
}
void ISelvoServiceManage::replaceNormalTagPath(const std::string& path) {
  replaceImage(kTag0, path, "replaceNormalTagPath", true);
}
void ISelvoServiceManage::replaceTrackTagPath(const std::string& path) {
  replaceImage(kTag1, path, "replaceTrackTagPath", true);
}
void ISelvoServiceManage::replaceSpeakTagPath(const std::string& path) {
  replaceImage(kTag2, path, "replaceSpeakTagPath", true);
}

// ---------------------------------------------------------------------------------------------
// Person and face recognition (waits for the processing queue, where the recogniser lives)

void ISelvoServiceManage::addRecognizeObservable(RecognizeObserver observer) {
  std::lock_guard lock(objectMutex_);
  studio_recognize_callback = std::move(observer);
}

void ISelvoServiceManage::setRecognizeCallback() {}

void ISelvoServiceManage::getPersonInfo(int personId, SelvoPersonInfo& info) {
  syncOnQueue([&] {
    PersonInfo record;
    if (!setUp_ || !recognizer_wapper_inst) return;
    recognizer_wapper_inst->GetPersonInfo(personId, &record);
    info = RecognizerRecords::toObject(record);
  });
}

void ISelvoServiceManage::getFaceInfo(int faceId, SelvoFaceInfo& info) {
  syncOnQueue([&] {
    FaceInfo record;
    if (!setUp_ || !recognizer_wapper_inst) return;
    recognizer_wapper_inst->GetFaceInfo(faceId, &record);
    info = RecognizerRecords::toObject(record);
  });
}

void ISelvoServiceManage::getAllPersonInfosCount(int& count) {
  withRecognizer([&](ISELVO_FACE_RECOGNIZER& r) { r.GetPersonCount(&count); });
}

void ISelvoServiceManage::getAllPersonInfosContent(std::vector<SelvoPersonInfo>& out) {
  withRecognizer([&](ISELVO_FACE_RECOGNIZER& r) { RecognizerRecords::appendPersons(r, out); });
}

void ISelvoServiceManage::GetAllFaceInfosContentByPerson(std::vector<SelvoFaceInfo>& out,
                                                         short personId) {
  withRecognizer(
      [&](ISELVO_FACE_RECOGNIZER& r) { RecognizerRecords::appendFaces(r, personId, out); });
}

void ISelvoServiceManage::updatePersonInfo(int personId, const SelvoPersonInfo& info) {
  auto rm = rectManager();
  if (!rm) return;
  withRecognizer([&](ISELVO_FACE_RECOGNIZER& r) {
    PersonInfo record;
    if (RecognizerRecords::update(r, personId, info, record)) {
      rm->SetPersonInfoByPersonid(&record, personId);
    }
  });
}

void ISelvoServiceManage::deletePerson(int personId) {
  withRecognizer([&](ISELVO_FACE_RECOGNIZER& r) { r.DeletePerson(personId); });
}

void ISelvoServiceManage::deleteFace(int faceId) {
  withRecognizer([&](ISELVO_FACE_RECOGNIZER& r) { r.DeleteFace(faceId); });
}

void ISelvoServiceManage::removeUnnamedPerson() {
  withRecognizer([&](ISELVO_FACE_RECOGNIZER& r) { r.RemoveUnnamedPerson(); });
}

bool ISelvoServiceManage::ChangePersonThumbnailFace(short personId, short thumbnailFaceId) {
  bool ok = false;
  syncOnQueue([&] {
    if (setUp_ && recognizer_wapper_inst) {
      ok = recognizer_wapper_inst->ChangePersonThumbnailFace(personId, thumbnailFaceId);
    }
  });
  return ok;
}

std::string ISelvoServiceManage::GetFaceImgPathByPersonID(int personId) {
  bool known;
  {
    std::lock_guard lock(objectMutex_);
    known = std::find(m_all_person_id.begin(), m_all_person_id.end(), personId) !=
            m_all_person_id.end();
  }
  if (!known) {
    ORLITH_LOG_WARNING(format("GetFaceImgPathByFaceID person_id: %d invalid", personId));
    return {};
  }
  std::string path;
  withRecognizer(
      [&](ISELVO_FACE_RECOGNIZER& r) { path = RecognizerRecords::thumbnailPath(r, personId); });
  return path;
}

bool ISelvoServiceManage::getPersonInfoByPersonID(int personId) {
  PersonInfo record;
  bool got = false;
  syncOnQueue([&] {
    if (setUp_ && recognizer_wapper_inst) {
      got = recognizer_wapper_inst->GetPersonInfo(personId, &record);
    }
  });
  std::lock_guard lock(objectMutex_);
  if (got) m_current_person_info = record;
  bool listed =
      std::find(m_all_person_id.begin(), m_all_person_id.end(), personId) != m_all_person_id.end();
  if (listed) return true;
  if (got && record.person_id == personId) {
    m_all_person_id.push_back(personId);
    return true;
  }
  return false;
}

void ISelvoServiceManage::mergePerson(short personId, short targetPersonId) {
  withRecognizer([&](ISELVO_FACE_RECOGNIZER& r) { r.MergePerson(personId, targetPersonId); });
}

std::string ISelvoServiceManage::GetRecgnizedPersonName() {
  std::lock_guard lock(objectMutex_);
  return m_current_person_info.name;
}

std::string ISelvoServiceManage::GetRecgnizedPersonCompany() {
  std::lock_guard lock(objectMutex_);
  return m_current_person_info.company;
}

std::string ISelvoServiceManage::GetRecgnizedPersonTitle() {
  std::lock_guard lock(objectMutex_);
  return m_current_person_info.title;
}

// ---------------------------------------------------------------------------------------------
// Picture helpers

bool ISelvoServiceManage::YUVBufferCopyWithPixelBuffer(const PixelBuffer& from, PixelBuffer& to) {
  return NV12Picture::copy(from, to);
}

void ISelvoServiceManage::_nv12_mirror(uint8_t* bytes, int width, int height) {
  NV12Picture::mirror(bytes, width, height);
}

void ISelvoServiceManage::_nv12_add_ref_line(uint8_t* bytes, int width, int height) {
  NV12Picture::addReferenceLines(bytes, width, height);
}

std::vector<ISelvoServiceManage::rect> ISelvoServiceManage::mirror_rects(
    const std::vector<rect>& rects, int width) {
  std::vector<rect> out = rects;
  for (auto& r : out) r.x = float(width) - r.x - r.width;
  return out;
}

}  // namespace orlith
