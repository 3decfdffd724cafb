#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "NotificationCenter.h"
#include "VolumeCandidates.h"
#include "dispatch/DispatchTimer.h"
#include "dispatch/SerialQueue.h"
#include "hid/HIDComm.h"
#include "hid/HIDDriver.h"
#include "hid/HIDDriverDelegate.h"
#include "hid/HidBackend.h"
#include "update/HIDUpdateFlow.h"
#include "update/MassStorageVolumes.h"
#include "update/TrackedQueue.h"

namespace qd4718 {

// The framework speaks through the platform's notification center.
using platform::Notification;
using platform::NotificationCenter;
using platform::NotificationDictionary;

// The notifications the manager posts (sender: the manager), each with a NotificationDictionary.
inline constexpr const char* HIDManagerConnected = "HIDManagerConnected";
inline constexpr const char* HIDManagerDisconnected = "HIDManagerDisconnected";
inline constexpr const char* HIDManagerCheckStatus = "HIDManagerCheckStatus";
inline constexpr const char* HIDManagerPrepareUpdate = "HIDManagerPrepareUpdate";
inline constexpr const char* HIDManagerMoveFile = "HIDManagerMoveFile";
inline constexpr const char* HIDManagerStartUpdate = "HIDManagerStartUpdate";
inline constexpr const char* HIDManagerUpdating = "HIDManagerUpdating";
inline constexpr const char* HIDManagerCompleteUpdate = "HIDManagerCompleteUpdate";
inline constexpr const char* HIDManagerError = "HIDManagerError";

// Drives the update of the audio device's firmware through HIDUPDATE_FLOW: reads the device's
// identity, switches it into update mode, copies the image onto its volume, starts the update
// and follows it to the end, posting progress, completion and errors.
//
// Threads: every step, timer tick, reply and device arrival or removal runs on one serial queue,
// the driver's thread, so the flow's state needs no lock; the public calls post to that queue.
class HIDManager : public HIDDriverDelegate {
 public:
  static constexpr int kReportSize = 64;
  static constexpr int kUpdateVendorId = 0x2E8B;
  static constexpr int kUpdateProductId = 0x5FFF;
  static constexpr auto kTimerInterval = std::chrono::seconds(1);
  static constexpr int kDeviceReturnTicks = 80;
  static constexpr const char* kFirmwareFileName = "update.swu";
  static constexpr const char* kVolumeMarker = "mtk_disk";

  struct Backends {
    std::shared_ptr<HidBackend> hid;
    std::shared_ptr<MassStorageVolumes> volumes;
  };
  // The system's hidraw nodes and mount table; only the device's own disks (updateDisks()) are
  // mounted to look for its volume.
  static Backends systemBackends(int vendorId, int productId);
  // The USB devices whose disks may be the device's volume: the device's own ids and those of
  // its update mode, as the driver matches them; a disk of any other product is left alone.
  static platform::VolumeCandidates::Rule updateDisks(int vendorId, int productId);

  HIDManager(int vendorId, int productId, std::string filePath);
  HIDManager(int vendorId, int productId, std::string filePath, Backends backends);
  ~HIDManager() override;
  HIDManager(const HIDManager&) = delete;
  HIDManager& operator=(const HIDManager&) = delete;

  // Starts the driver: devices are looked for from now on.
  void start();
  // Starts a run: checks the firmware file, then the flow from GET_VER, with its 1.0 s timer.
  // Ignored while a run is under way.
  void FirmwareUpdate();

  // Runs a task on the driver's thread and waits for it.
  void sync(const std::function<void()>& task);
  // Waits until the driver's thread has nothing left to do (what its tasks queue included).
  void drain();

  HIDUPDATE_FLOW flowStatusNow();
  std::vector<std::string> deviceIdsNow();
  std::optional<HIDDevice> connectedDeviceNow();

  // HIDDriverDelegate, on the driver's thread.
  void delegateConnect(const HIDDevice& device) override;
  void delegateDisconnect(const std::string& id) override;
  void delegateDataReceive(int length, const std::vector<uint8_t>& data) override;
  void delegateErrorState(int32_t, const std::string&) override {}
  void delegateUpdateDevicde(int32_t) override {}
  void delegateUploadDone() override {}
  bool hasConnectedDevice() const override { return connectedDevice != nullptr; }

  // Texts of the device states that "get_state" reports.
  static const char* strState(int index);
  static std::string invalidStateText(int64_t state);

  // The rest runs on the driver's thread only.
  void FirmwareUpdateFlow(bool isResponse, const std::optional<std::vector<uint8_t>>& data);
  void EnableWaitTimer(bool enable);
  void checkWaitTimer();
  // `reason`, when given, goes with the error as "reason": why it happened, in a user's words.
  void postNotificationError(const std::string& error, const std::string& id,
                             const std::string& name, const std::string& reason = {});
  bool searchMassStorage(const std::string& storageID, std::string& mediaPath);
  // `why`: on failure, what stood in the way (the volume not mounted, read-only, full).
  bool copyToMassStorage(const std::string& mediaPath, const std::string& filePath,
                         std::string* why = nullptr);
  bool ejectMassStorage(const std::string& storageID);

  std::unique_ptr<HIDDriver> rfDeviceDriver;
  std::string filePath;
  std::string mediaPath;
  std::shared_ptr<HIDComm> connectedDevice;
  std::vector<std::shared_ptr<HIDComm>> devices;
  int32_t selectedIndex = -1;
  HIDUPDATE_FLOW flowStatus = HIDUPDATE_FLOW::UAC_UPDATE_FLOW_IDLE;
  int retryCount = 0;
  int waitCount = 0;
  std::unique_ptr<platform::DispatchTimer> waitTimer;
  std::string backupStorageID;

 private:
  // A command step's send on a tick; false when it ended the run instead.
  bool sendCommand(const std::string& fullName, int limit, const std::vector<uint8_t>& data = {});
  // A reply's text, or its decimal number; nothing when it is neither.
  static std::optional<std::string> replyText(const std::optional<std::vector<uint8_t>>& data);
  static std::optional<int64_t> replyNumber(const std::optional<std::vector<uint8_t>>& data);
  // A reply arrived: the timer stops and the retries start over.
  void takeReply();
  void nextState();
  void post(const char* name, NotificationDictionary object);
  std::string deviceId() const;
  std::string deviceName() const;
  // Disks nobody mounted are mounted read-only for this look-up.
  std::optional<std::string> findVolume(const std::string& storageID);

  void FlowCheckFirmwareFile();
  void FlowGetVersion(bool isResponse, const std::optional<std::vector<uint8_t>>& data);
  void FlowCheckUpdateFlag(bool isResponse, const std::optional<std::vector<uint8_t>>& data);
  void FlowRemountStorage(bool isResponse, const std::optional<std::vector<uint8_t>>& data);
  void FlowChangeMode(HIDMODE mode, bool isResponse,
                      const std::optional<std::vector<uint8_t>>& data);
  void FlowWaitChangeState(bool isResponse);
  void FlowIsHIDDevice(bool isResponse);
  void FlowGetUSBStorage();
  void FlowUploadFirmwareFile(const std::string& media, const std::string& file);
  void FlowStartUpdate(bool isResponse, const std::optional<std::vector<uint8_t>>& data);
  void FlowGetState(int which, bool isResponse, const std::optional<std::vector<uint8_t>>& data);

  std::shared_ptr<MassStorageVolumes> volumes_;
  // Declared last: destroyed first, so no task of it outlives the state above.
  std::unique_ptr<platform::SerialQueue> thread_;
  std::unique_ptr<TrackedQueue> queue_;  // every task for the thread goes through it
};

}  // namespace qd4718
