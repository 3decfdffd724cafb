#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "SelvoRoiPair.h"
#include "camera/AnalysisFacade.h"
#include "camera/CameraControlQueue.h"
#include "camera/CarriedBoxes.h"
#include "camera/CameraFormat.h"
#include "camera/CameraFramePath.h"
#include "camera/CameraSettings.h"
#include "camera/ConnectMode.h"
#include "camera/ControlRanges.h"
#include "camera/CpuUsageMonitor.h"
#include "camera/DefPreset.h"
#include "camera/Display.h"
#include "camera/Flicker.h"
#include "camera/Projection.h"
#include "camera/UVCEvent.h"
#include "camera/VerticalFovMode.h"
#include "camera/VoiceDirectionPoller.h"
#include "capture/CaptureDevice.h"
#include "capture/CaptureSession.h"
#include "capture/V4l2Api.h"
#include "dispatch/Clock.h"
#include "dispatch/DispatchTimer.h"
#include "dispatch/SerialQueue.h"
#include "util/Observable.h"

namespace platform {
class UserDefaults;
class DeviceMonitor;
}  // namespace platform

namespace corvane {

class USBManager;
class ReSpeakerManager;
class PlayerManager;
class ConfigManager;
class ControlBoardViewModel;
class CameraTuning;
class EffectView;

// The camera side of the main program: finds the camera among the capture devices, opens its
// USB control side, chooses its format, runs the capture session, sets the analysis facade up
// for the camera's sizes, watches that frames keep coming and reopens a camera whose frames
// stop, once.
//
// Threads. The public operations and the observers' deliveries run on the main thread. Device
// work (discovery, the USB side, the capture session) runs on the manager's own serial queue
// "camera.connection", never on the main thread; the steps that must run on the main thread
// (facade set-up, the tuning push, the listener registration, the connection result) are
// posted from there to the main queue. Frames arrive on the serial queue "sample buffer
// delegate". Fields the device queue writes and the main thread reads are guarded by one lock.
class CameraManager {
 public:
  struct VendorProduct {
    int64_t vendor = 0;
    int64_t product = 0;
  };
  // Vendor and product ids from a model identifier; none, with the reason, when it does not
  // parse.
  using ModelIdParser =
      std::function<std::optional<VendorProduct>(const std::string& modelID, std::string* error)>;
  using Callback = std::function<void()>;
  // One layout's pairs are shared objects: a change one holder makes is seen by every other.
  using RoiPairRef = std::shared_ptr<orlith::SelvoRoiPair>;
  using RoiPairs = std::vector<RoiPairRef>;
  // The main list and the sub-window list of one layout result.
  using RoiListCallback = std::function<void(const RoiPairs& main, const RoiPairs& sub)>;

  // What the manager works with; the program's instance takes the process's own.
  struct Environment {
    platform::V4l2Api* v4l2 = nullptr;  // none: the kernel
    std::string sysRoot = "/sys";
    std::string devRoot = "/dev";
    platform::CaptureSession::Options sessionOptions;
    USBManager* usb = nullptr;
    ReSpeakerManager* respeaker = nullptr;
    PlayerManager* player = nullptr;  // the file source, subscribed to at construction
    // The settings store and the control board's model for the tuning push and the ROI
    // record restore; without a settings store neither runs.
    ConfigManager* config = nullptr;
    ControlBoardViewModel* viewModel = nullptr;
    CameraSettings* settings = nullptr;
    AnalysisFacadeFactory makeFacade;
    ModelIdParser parseModelId;                  // none: the program's model-id parsing
    platform::UserDefaults* defaults = nullptr;  // none: the program's user defaults
    // The user's caches folder and the program's executable name, for the face database.
    std::function<std::optional<std::string>()> cachesFolder;
    std::function<std::optional<std::string>()> executableName;
    // Sets the picture effects' denoise strength (0 to 6).
    std::function<void(float)> setDenoise;
    // Hands every frame the load rule lets through on to the renderer, on the delivering
    // queue, before the facade sees it.
    std::function<void(const platform::PixelBufferRef&)> publishFrame;
    // Tell the renderer which frame the facade took (delivering queue, before it is published)
    // and when the facade finished it (main thread); none: the renderer is not told.
    std::function<void(const platform::PixelBufferRef&)> frameAdmitted;
    std::function<void(const platform::PixelBufferRef&)> frameAnalysed;
    // How many frames the renderer has dropped so far for newer ones; none: it drops none.
    std::function<int64_t()> framesDropped;
    // The load monitor; none: one of the manager's own, sampling from construction on.
    CpuUsageMonitor* usageMonitor = nullptr;
    // Makes the renderer's effect view (once for the life of the manager); none: no view.
    std::function<std::shared_ptr<EffectView>()> makeEffectView;
    // Hands memory the process freed back to the system; none: the C library's.
    std::function<void()> giveBackMemory;
  };

  // The frames a new source runs through the analysis before the memory of the old one, freed
  // by then in the renderer and the analysis as well, is handed back: a second at the camera's
  // rate, long enough for every picture of the old size to have been replaced.
  static constexpr int kFramesUntilSourceSettled = 30;

  static constexpr const char* CAMERA_KESTOVA = "Kestova Camera";
  static constexpr const char* CAMERA_C615 = "C615";

  // The program's instance, over the program's own USB side, microphone array, file source,
  // settings, analysis framework and renderer; made on first use, kept for the process's life.
  static CameraManager& shared();
  explicit CameraManager(Environment environment);
  ~CameraManager();
  CameraManager(const CameraManager&) = delete;
  CameraManager& operator=(const CameraManager&) = delete;

  // ---- discovery and connection (main thread) ----
  void startConnection();
  void stopConnection();
  void startConnectionWatch();
  void checkConnection();
  // Takes the frame counts of the last second into FPS and selvoFPS.
  void updateFrameRates();
  void startFrameRateWatch();
  // A video device arriving while the camera is disconnected starts a new search (once
  // registered; later calls change nothing).
  void watchDeviceArrivals(platform::DeviceMonitor& monitor);
  // Device queue or main thread; reads only the device and the settings snapshot given.
  bool checkCamera(const platform::CaptureDevice& device) const;
  std::optional<platform::CaptureDevice> findCamera();

  // ---- preparation (device queue) ----
  // True when the preparation failed.
  bool prepareCamera(const platform::CaptureDevice& device);
  void updateCameraFunction();
  // Starts the capture; the localisation key of the reason it did not start, else empty.
  std::string startRunning();

  // ---- facade (main thread) ----
  // The facade, made (with its observers) when there is none.
  std::shared_ptr<AnalysisFacade> manager();
  void resetAnalysisFacade();
  // The program ends: the capture stops and the facade goes, its workers ended, while the
  // process's statics (the vision library's thread-local data among them) still exist. No
  // facade is made afterwards.
  void releaseAnalysis();
  // Makes the effect view on the first call; later calls only log.
  void setupEffectView();
  std::shared_ptr<EffectView> effectView() const;
  void registerStateListeners();

  // ---- file source (main thread) ----
  // The file source finished (true) or gave up (false) its set-up.
  void setupPlayerSource(bool ok);

  // ---- camera controls (main thread; enqueueing from another thread is posted there) ----
  void enqueueUVCEvent(UVCMode mode, float value);
  std::vector<UVCEvent> uvcQueue() const;
  bool inCheckUVCProcess() const;
  // Queues the change when the control is enabled and its value differs (NaN differs).
  void queueIfChanged(UVCMode mode, float value);
  void queueFlickerIfChanged(int choice);
  // Puts every picture control back to its default, the writes a little apart in time.
  void resetCameraFunction();
  // The noise-reduction position the control board applied (0..1 of its range).
  void setNrValue(float value);
  // The fraction of a control's range that the USB side turns back into exactly `raw`.
  static float fractionForRaw(double raw, double min, double max);

  // ---- tuning (main thread) ----
  // Pushes the tuning values of the settings into the facade.
  void loadConfig();
  // Restores the current ROI record into the facade and the observable state.
  void loadRoiRecord();
  // What the last restore left out of its record (the picture draws only so many outlines);
  // read, and put back to 0, by whoever tells the user.
  int recordBoxesLeftOut = 0;
  int recordIgnoreAreasLeftOut = 0;

  // ---- mode switches (main thread) ----
  void setDisplayMode(Display mode);
  void setAutoDetect(bool isAutoDetect);
  void setAutoTracking(bool isAutoTracking);
  void setFaceAutoDetect(bool isFaceAutoDetect);
  void setFaceAutoTracking(bool isFaceAutoTracking);
  void stopVoiceDirection();

  // ---- registrations by class name; the first registration of a name stays ----
  void setRoiDicEntry(const std::string& registrant, RoiListCallback callback);
  void setDisplayModeDicEntry(const std::string& registrant, Callback callback);
  void setFitModeDicEntry(const std::string& registrant, Callback callback);
  // Told on the main thread when the menu items that follow the camera state must update.
  void setMenuItemsUpdater(Callback updater);

  // ---- state readable from any thread ----
  CameraFormat cameraFormat() const;
  std::optional<platform::CaptureFormat> deviceFormat() const;
  bool is360Camera() const;
  Projection projection() const;
  std::optional<platform::CaptureDevice> currentDevice() const;
  double controlVideoWidth() const;
  double controlVideoHeight() const;
  int outputVideoWidth() const { return outputVideoWidth_; }
  int outputVideoHeight() const { return outputVideoHeight_; }
  int retryCount() const { return retryCount_; }
  bool isReconnect() const { return isReconnect_; }
  double delayTimeOfLastFrame() const { return delayTimeOfLastFrame_; }
  Brightness brightness() const;
  Flicker flicker() const;
  Contrast contrast() const;
  Saturation saturation() const;
  Brightness sharpness() const;
  NR nr() const;
  Gamma gamma() const;
  DefPreset defPreset() const;
  CameraFramePath& framePath() { return *framePath_; }
  CpuUsageMonitor& usageMonitor() { return *usageMonitor_; }
  VoiceDirectionPoller& voiceDirection() { return *voice_; }
  bool firstFrame() const { return firstFrame_; }
  // True while a capture session streams.
  bool isCapturing() const;
  // The device queue and the frames' delivery queue (tests drain them).
  platform::SerialQueue& deviceQueue() { return *deviceQueue_; }
  platform::SerialQueue& deliveryQueue() { return *deliveryQueue_; }

  // ---- observable state ----
  const ObservableRef<std::string> currentDeviceName = Observable<std::string>::make("");
  const ObservableRef<std::vector<platform::CaptureDevice>> cameraDevices =
      Observable<std::vector<platform::CaptureDevice>>::make({});
  const ObservableRef<bool> inReading = Observable<bool>::make(false);
  const ObservableRef<ConnectMode> connectMode =
      Observable<ConnectMode>::make(ConnectMode::searching);
  // Why the last connection failed although the camera was found (the localisation key of a
  // capture that would not start: busy, no permission, format refused); empty otherwise. Set
  // before `connectMode` turns disconnected.
  const ObservableRef<std::string> connectError = Observable<std::string>::make("");
  const ObservableRef<int64_t> FPS = Observable<int64_t>::make(0);
  const ObservableRef<int64_t> selvoFPS = Observable<int64_t>::make(0);
  const ObservableRef<bool> drawNormalRect = Observable<bool>::make(true);
  const ObservableRef<bool> drawTrackingRect = Observable<bool>::make(true);
  const ObservableRef<bool> drawIgnoreRect = Observable<bool>::make(true);
  const ObservableRef<VerticalFovMode> verticalFov =
      Observable<VerticalFovMode>::make(VerticalFovMode::mid);
  const ObservableRef<bool> isSpeakerConnect = Observable<bool>::make(false);
  const ObservableRef<Display> displayMode = Observable<Display>::make(Display::compose);
  const ObservableRef<double> detectEvent;
  const ObservableRef<bool> isAutoDetect = Observable<bool>::make(false);
  const ObservableRef<bool> isAutoTracking = Observable<bool>::make(false);
  const ObservableRef<bool> isFaceAutoDetect = Observable<bool>::make(false);
  const ObservableRef<bool> isFaceAutoTracking = Observable<bool>::make(false);
  const ObservableRef<bool> loadRecord = Observable<bool>::make(false);

  int64_t detectInterval = 0;
  double focusRectAspectRatio = 0.5625;
  int64_t editOffsetDatumPoint = 0;
  // The banner of a 180-degree camera: its stored vertical offset, and the divisor of the frame
  // width that gives its height.
  double bannerPositionY = 0;
  double bannerAspectRatio = 6.0;

  // The USB control side the manager works with (the program's shared one), or none.
  USBManager* usbManager() const { return env_.usb; }
  // Reads the picture controls' ranges and values from the camera into the control records.
  void loadCameraRanges();
  // Whether the output size has been reset since the frame path last cleared it.
  bool resolutionChange() const { return framePath_->resolutionChange(); }
  // Asks the frame path to set the output back to 1280 x 720 before its next frame.
  void setResolutionChange(bool changed) { framePath_->setResolutionChange(changed); }

 private:
  struct Token {};
  struct Run;

  // Runs `task` on the main queue while this manager exists.
  void onMain(std::function<void()> task);
  // Runs `task` on the device queue while this manager exists.
  void onDevices(std::function<void()> task);
  std::shared_ptr<AnalysisFacade> currentFacade() const;
  void registerServiceObservers(AnalysisFacade& facade);
  void applyStateListeners();
  void updateMenuItems();
  void notifyListeners(const std::map<std::string, Callback>& table);
  void onLayoutResult(AnalysisFacade::RoiPairList a, AnalysisFacade::RoiPairList b,
                      AnalysisFacade::RoiPairList c, AnalysisFacade::RoiPairList d,
                      AnalysisFacade::RoiPairList e);
  void onFrameProcessed();
  void setupFileFacade();

  void discoveryPass(const std::shared_ptr<Run>& run);
  void finishRun(const std::shared_ptr<Run>& run, bool failed);
  void resultStep(uint64_t generation, bool reconnect, bool failed);
  void replaceSession();
  void closeSession();
  void cancelWatch();
  bool formatStep(CameraFormat format, const std::optional<platform::CaptureFormat>& chosen,
                  double& width, double& height);
  void storeControl(int which, double cur, double min, double max);
  void onControlStored(UVCMode mode, float value);
  void onDoaRead(UVCMode mode, const DoaFormat& doa, const std::string& failure);
  void chooseDoaSource(bool microphoneArray, const DoaFormat& doa);

  Environment env_;
  platform::Clock& clock_;
  std::shared_ptr<Token> token_ = std::make_shared<Token>();
  std::atomic<bool> alive_{true};
  std::atomic<bool> analysisReleased_{false};

  // Main thread.
  std::shared_ptr<AnalysisFacade> manager_;
  mutable std::mutex facadeMutex_;  // the pointer, for the frame path's reads
  int retryCount_ = 0;
  bool isReconnect_ = false;
  double delayTimeOfLastFrame_ = 0;
  int64_t framesDroppedBefore_ = 0;  // the renderer's count at the last rate update
  uint64_t generation_ = 0;
  std::unique_ptr<platform::DispatchTimer> checkConnectionTimer_;
  std::optional<platform::Clock::TimerId> connectedTimer_;
  bool listenersRegistered_ = false;
  bool watchingArrivals_ = false;
  Callback menuItemsUpdater_;
  std::map<std::string, RoiListCallback> roiDic_;
  bool firstFrame_ = true;
  CarriedBoxes carried_;  // what the watch's reopening carries into the new set-up
  int framesUntilGiveBack_ = 0;  // counts a new source's analysed frames down to the give-back
  bool fileSource_ = false;      // the facade is set up for the file source
  std::map<std::string, Callback> didSetDisplayModeDic_;
  std::map<std::string, Callback> didSetFitModeDic_;

  // Written on the device queue, read anywhere: under stateMutex_.
  mutable std::mutex stateMutex_;
  CameraFormat cameraFormat_{1920, 1080, 0, 0, false};
  std::optional<platform::CaptureFormat> deviceFormat_;
  bool is360Camera_ = false;
  Projection projection_;
  std::optional<platform::CaptureDevice> currentDevice_;
  double controlVideoWidth_ = 0;
  double controlVideoHeight_ = 0;
  Brightness brightness_{false, 2.0f, -2.0f, 0};
  Flicker flicker_{false, {0, 1, 2}, 0};
  Contrast contrast_;
  Saturation saturation_;
  Brightness sharpness_{false, 2.0f, -2.0f, 0};
  NR nr_{{false, 100.0f, 0, 0}};
  Gamma gamma_;
  DefPreset defPreset_{0, 0, 128.0f, 3.0f, 3.0f, 2.0f, 0, 50};  // lighting 50: the picture as it is
  // The camera's own gamma and anti-flicker are taken from the first read after it connects; later
  // read-backs (the board's reset reads the ranges again) would otherwise make the user's current
  // values the defaults the reset returns to.
  bool gammaDefaultTaken_ = false;
  bool flickerDefaultTaken_ = false;

  std::atomic<int> outputVideoWidth_{1280};
  std::atomic<int> outputVideoHeight_{720};

  // Main thread.
  std::unique_ptr<CameraControlQueue> controlQueue_;
  std::vector<platform::Clock::TimerId> resetTimers_;

  // Device queue only.
  std::unique_ptr<platform::CaptureSession> videoSession_;
  std::atomic<bool> capturing_{false};

  std::unique_ptr<CpuUsageMonitor> ownMonitor_;
  CpuUsageMonitor* usageMonitor_ = nullptr;
  std::unique_ptr<VoiceDirectionPoller> voice_;
  std::unique_ptr<CameraTuning> tuning_;
  std::shared_ptr<EffectView> effectView_;  // under stateMutex_

  // Declared last: destroyed first, so no queued task outlives the fields it uses.
  std::unique_ptr<CameraFramePath> framePath_;
  std::unique_ptr<platform::SerialQueue> deliveryQueue_;
  std::unique_ptr<platform::SerialQueue> deviceQueue_;
};

}  // namespace corvane
