#pragma once

#include <libusb.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "camera/CameraFormat.h"
#include "camera/CaptureFormatInfo.h"
#include "camera/DoaFormat.h"
#include "camera/UsbConnector.h"
#include "camera/UsbTransport.h"
#include "dispatch/Clock.h"
#include "dispatch/Queue.h"

namespace corvane {

// The program's path to the camera's controls: UVC processing-unit requests for the six picture
// controls and vendor extension-unit requests for the firmware information, capture format,
// field of view, voice direction, identity strings, text commands and update status.
//
// Threads: the reads, the format choice, the text commands and the update-mode requests run on
// the caller's thread and complete there; the picture-control writes, the vertical field of
// view, the DOA read and the status checks run on the request queue (the global queue) and
// complete on the completion queue (the main queue). Transfers and the frame buffers are
// serialised by one lock, so requests of one kind never share a buffer at the same time.
class USBManager {
 public:
  using ValuesCompletion = std::function<void(double cur, double min, double max)>;
  using BoolCompletion = std::function<void(bool)>;
  using FormatCompletion =
      std::function<void(CameraFormat, std::optional<CaptureFormatInfo> chosen)>;
  using ProjectionCompletion =
      std::function<void(int32_t type, int32_t max_hfov, int32_t max_vfov, int32_t hfov,
                         int32_t vfov, int32_t width, int32_t height)>;
  using DoaCompletion = std::function<void(DoaFormat)>;
  // The record and, when the request failed, why (empty when it was read).
  using DoaReadCompletion = std::function<void(DoaFormat, const std::string& failure)>;
  using TextCompletion = std::function<void(const std::string&)>;
  using StatusCompletion = std::function<void(uint8_t status, uint8_t second)>;

  // Transfer directions of the wrappers.
  static constexpr int kHostToDevice = 1;
  static constexpr int kDeviceToHost = 2;
  static constexpr unsigned kTimeoutMs = 1000;
  static constexpr size_t kCommandFrameSize = 61;
  static constexpr size_t kMaxCommandLength = 59;

  // The process-wide instance: the camera through its V4L2 node (libusb when no driver holds
  // it), requests on the global queue, completions on the main queue.
  static USBManager& shared();
  // The process's instance reaches the camera through `connector` instead (a simulated camera);
  // only before the first use of shared().
  static void useConnector(std::shared_ptr<UsbConnector> connector);
  // Null queues stand for the global and the main queue.
  explicit USBManager(std::shared_ptr<UsbConnector> connector,
                      platform::Queue* requestQueue = nullptr,
                      platform::Queue* completionQueue = nullptr);
  // Waits for its requests still running on the request queue; ends a status loop.
  ~USBManager();
  USBManager(const USBManager&) = delete;
  USBManager& operator=(const USBManager&) = delete;

  // 0: the device list was read; 1: the USB layer could not be started; 2: no device list.
  int openUSBFromVID(uint16_t vendorId, uint16_t productId);
  // The same, preferring the USB device at that sysfs path (the capture device's).
  int openUSBFromVID(uint16_t vendorId, uint16_t productId, const std::string& usbSysfsPath);
  static libusb_device_handle* findDeviceHandle(libusb_device** list, uint16_t vendorId,
                                                uint16_t productId);

  void getInfo();
  void getCameraFormat(const std::vector<CaptureFormatInfo>& formats, FormatCompletion complete);
  void getProjectionInfo(const ProjectionCompletion& complete);
  CameraFormat setResolution(int32_t width, int32_t height);

  void getBrightness(const ValuesCompletion& complete);
  void getFlicker(const ValuesCompletion& complete);
  void getContrast(const ValuesCompletion& complete);
  void getSaturation(const ValuesCompletion& complete);
  void getSharpness(const ValuesCompletion& complete);
  void getGamma(const ValuesCompletion& complete);

  // `fraction` is the position on the control's range, 0 to 1.
  void setBrightness(double fraction, BoolCompletion complete);
  void setContrast(double fraction, BoolCompletion complete);
  void setSaturation(double fraction, BoolCompletion complete);
  void setSharpness(double fraction, BoolCompletion complete);
  void setGamma(double fraction, BoolCompletion complete);
  // The power-line frequency's raw value (the control board's flicker choice as its integer).
  void setFlicker(int64_t value, BoolCompletion complete);
  void setVerticalFov(int64_t value, BoolCompletion complete);

  void getDoaFormat(DoaCompletion complete);
  // The same read, telling a failed request from a camera that has no direction to give: a
  // failure delivers the default record with its reason. A camera whose interface predates the
  // request gives the default record and no failure.
  void readDoaFormat(DoaReadCompletion complete);

  std::string getXuid();
  void getCustomerVersion();
  std::string getChipId();
  void cmd(const std::string& command, const TextCompletion& complete);

  void checkStatus(StatusCompletion complete);
  // Reads the status once a second and delivers each reading until 5 or 6; ends without a
  // word when the camera is closed or kStatusLoopSilentReads reads in a row failed.
  void startCheckStatusLoop(StatusCompletion complete);
  static constexpr int kStatusLoopSilentReads = 60;
  // Block the caller for the camera's switch-over (10 s and 5 s).
  void setUpdateMode(const BoolCompletion& complete);
  void triggerUpdate(const BoolCompletion& complete);

  // Transfer wrappers: true when the request moved all its bytes; false at once, without a
  // transfer, when no camera is connected.
  bool controlUVCWarp(int direction, uint8_t request, uint16_t control, uint8_t* argument,
                      uint16_t len);
  bool controlXUWarp(int direction, uint16_t control, uint8_t* argument, uint16_t len);
  bool controlXUWarp(int direction, uint16_t control, uint16_t index, uint8_t* argument,
                     uint16_t len);

  std::shared_ptr<UsbTransport> camera_device() const;
  bool isConnect() const { return isConnect_.load(); }
  uint64_t status() const { return status_; }
  int64_t api_version() const { return api_version_.load(); }
  std::string firmwareVersion() const;
  // The last request that failed and why ("GET_CUR of selector 0x0200 on unit 0x0200: stalled by
  // the camera"); empty while none has.
  std::string lastFailure() const;
  // Why the last getCameraFormat chose no capture format; empty when it chose one.
  std::string formatFailure() const;
  std::string chipId() const;
  std::string machineId() const;
  std::string vendor_id() const;
  std::string product_id() const;

  double brightness_max() const { return value(kBrightness, kMax); }
  double brightness_min() const { return value(kBrightness, kMin); }
  double brightness_cur() const { return value(kBrightness, kCur); }
  double flicker_max() const { return value(kFlicker, kMax); }
  double flicker_min() const { return value(kFlicker, kMin); }
  double flicker_cur() const { return value(kFlicker, kCur); }
  double contrast_max() const { return value(kContrast, kMax); }
  double contrast_min() const { return value(kContrast, kMin); }
  double contrast_cur() const { return value(kContrast, kCur); }
  double saturation_max() const { return value(kSaturation, kMax); }
  double saturation_min() const { return value(kSaturation, kMin); }
  double saturation_cur() const { return value(kSaturation, kCur); }
  double sharpness_max() const { return value(kSharpness, kMax); }
  double sharpness_min() const { return value(kSharpness, kMin); }
  double sharpness_cur() const { return value(kSharpness, kCur); }
  double gamma_max() const { return value(kGamma, kMax); }
  double gamma_min() const { return value(kGamma, kMin); }
  double gamma_cur() const { return value(kGamma, kCur); }

  // The raw value a fraction of the range gives, as the camera takes it (16 bits, wrapped).
  static int16_t rawValueForFraction(double min, double max, double fraction);

 protected:
  // SET_CUR of the command frame (one frame shared by every text command), then GET_CUR of the
  // 61-byte reply into `reply`; false when either failed. Text commands never overlap.
  bool textCommand(const std::string& command, uint8_t* reply);
  // `body` on the request queue; the destructor waits for it.
  void runAsync(std::function<void()> body);
  // `completion` on the completion queue.
  void complete(std::function<void()> completion);
  // Waits on the shared clock; false when the manager is going away before the time passed.
  bool pause(platform::Clock::Duration duration);

 private:
  enum Control { kBrightness, kFlicker, kContrast, kSaturation, kSharpness, kGamma, kControls };
  enum Bound { kMax, kMin, kCur };
  struct ControlInfo {
    const char* name;
    uint8_t selector;
    uint16_t readLength;
  };
  static const ControlInfo& info(Control control);

  double value(Control control, Bound bound) const;
  void readControl(Control control, const ValuesCompletion& complete);
  void writeControl(Control control, double fraction, BoolCompletion complete);
  // `failure`, when given, gets why a transfer that returns false failed; the caller then tells
  // it (no line here).
  bool transfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                uint16_t len, std::string* failure = nullptr);

  std::shared_ptr<UsbConnector> connector_;
  platform::Queue* requestQueue_;
  platform::Queue* completionQueue_;

  // Identity and values; short holds only, never across a transfer.
  mutable std::mutex stateMutex_;
  std::shared_ptr<UsbTransport> camera_device_;
  std::atomic<bool> isConnect_{false};
  const uint64_t status_ = 2;
  std::atomic<int64_t> api_version_{0};
  std::string firmwareVersion_;
  std::string lastFailure_;
  std::string formatFailure_;
  std::string chipId_;
  std::string machineId_;
  std::string vendor_id_;
  std::string product_id_;
  std::array<std::array<double, 3>, kControls> values_{};

  // Transfers, the raw values last read and the frame buffers, one per request kind.
  std::recursive_mutex ioMutex_;
  std::array<std::array<int16_t, 3>, kControls> raw_{};  // flicker holds a signed 8-bit value
  uint8_t info_[28] = {};
  uint8_t doa_[12] = {};
  uint8_t uvc_c4_[14] = {};
  uint8_t uvc_c4_old_[8] = {};
  uint8_t xuid_[32] = {};
  uint8_t customerVersion_[32] = {};
  uint8_t command_[kCommandFrameSize] = {};
  uint8_t verticalFov_[4] = {};
  uint8_t status_block_[60] = {};
  uint8_t updateMode_[1] = {};

  // Work still running on the request queue, and the pauses the destructor cuts short.
  struct Pause;
  std::mutex tasksMutex_;
  std::condition_variable tasksDone_;
  int activeTasks_ = 0;
  bool stopping_ = false;
  std::set<std::shared_ptr<Pause>> pauses_;
};

}  // namespace corvane
