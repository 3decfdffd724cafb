#include "update/HIDManager.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "BoundedFile.h"
#include "QD4718Log.h"
#include "dispatch/MainQueue.h"
#include "hid/HidapiBackend.h"
#include "update/FirmwareFile.h"
#include "update/SystemMassStorageVolumes.h"

namespace qd4718 {

namespace {

using Flow = HIDUPDATE_FLOW;
using Bytes = std::optional<std::vector<uint8_t>>;

constexpr const char* kStates[] = {"Init State",
                                   "Finished",
                                   "Vendor is not match",
                                   "Newer version",
                                   "HW version not compatible",
                                   "Write FW done",
                                   "Unknown",
                                   "Unknown",
                                   "Processing",
                                   "Upgrage fail"};

constexpr int kRetryLimit = 1;
constexpr int kFinalStateRetryLimit = 9;

bool isEnded(Flow state) {
  return state == Flow::UAC_UPDATE_FLOW_IDLE || state == Flow::UAC_UPDATE_FLOW_ERROR_HANDLE_0 ||
         state == Flow::UAC_UPDATE_FLOW_ERROR_HANDLE_1 ||
         state == Flow::UAC_UPDATE_FLOW_PASS_HANDLE || state == Flow::UAC_UPDATE_FLOW_FINISH;
}

}  // namespace

platform::VolumeCandidates::Rule HIDManager::updateDisks(int vendorId, int productId) {
  platform::VolumeCandidates::Rule rule;
  if (vendorId >= 0 && vendorId <= 0xFFFF && productId >= 0 && productId <= 0xFFFF)
    rule.add({uint16_t(vendorId), uint16_t(productId)});
  rule.add({uint16_t(kUpdateVendorId), uint16_t(kUpdateProductId)});
  return rule;
}

HIDManager::Backends HIDManager::systemBackends(int vendorId, int productId) {
  return Backends{std::make_shared<HidapiBackend>(),
                  std::make_shared<SystemMassStorageVolumes>(updateDisks(vendorId, productId))};
}

HIDManager::HIDManager(int vendorId, int productId, std::string path)
    : HIDManager(vendorId, productId, std::move(path), systemBackends(vendorId, productId)) {}

HIDManager::HIDManager(int vendorId, int productId, std::string path, Backends backends)
    : filePath(std::move(path)),
      volumes_(std::move(backends.volumes)),
      thread_(std::make_unique<platform::SerialQueue>("qd4718.hid")),
      queue_(std::make_unique<TrackedQueue>(*thread_)) {
  std::vector<HIDDeviceData> matching = {
      HIDDeviceData{vendorId, productId, std::nullopt, std::nullopt},
      HIDDeviceData{kUpdateVendorId, kUpdateProductId, std::nullopt, std::nullopt}};
  rfDeviceDriver =
      std::make_unique<HIDDriver>(std::move(matching), kReportSize, backends.hid, *queue_);
  rfDeviceDriver->delegate = this;
}

void HIDManager::start() {
  queue_->async([this] { rfDeviceDriver->start(); });
}

HIDManager::~HIDManager() {
  queue_->sync([this] {
    if (waitTimer) waitTimer->cancel();
    waitTimer.reset();
    rfDeviceDriver->close();
    rfDeviceDriver->delegate = nullptr;
  });
  queue_->waitIdle();
  thread_.reset();
}

void HIDManager::FirmwareUpdate() {
  queue_->async([this] {
    if (!isEnded(flowStatus)) {
      // A second start would talk to a device that is half-way through its update.
      QD4718_LOG_WARNING("An update is already running");
      return;
    }
    flowStatus = Flow::UAC_UPDATE_FLOW_CHECK_FW_FILE;
    EnableWaitTimer(true);
    checkWaitTimer();
  });
}

void HIDManager::sync(const std::function<void()>& task) { queue_->sync(task); }

void HIDManager::drain() { queue_->waitIdle(); }

HIDUPDATE_FLOW HIDManager::flowStatusNow() {
  Flow state{};
  queue_->sync([&] { state = flowStatus; });
  return state;
}

std::vector<std::string> HIDManager::deviceIdsNow() {
  std::vector<std::string> ids;
  queue_->sync([&] {
    for (const auto& d : devices) ids.push_back(d->deviceInfo.id);
  });
  return ids;
}

std::optional<HIDDevice> HIDManager::connectedDeviceNow() {
  std::optional<HIDDevice> device;
  queue_->sync([&] {
    if (connectedDevice) device = connectedDevice->deviceInfo;
  });
  return device;
}

const char* HIDManager::strState(int index) {
  return index >= 0 && index <= 9 ? kStates[index] : "Unknown";
}

std::string HIDManager::invalidStateText(int64_t state) {
  int64_t magnitude = state < 0 ? -state : state;
  if (magnitude <= 9) return std::string("Invalid state!![") + strState(int(magnitude)) + "]";
  char text[64];
  std::snprintf(text, sizeof text, "Invalid state!![state = 0x%02X]", static_cast<unsigned>(state));
  return text;
}

// ---- the step -------------------------------------------------------------------------------

void HIDManager::FirmwareUpdateFlow(bool isResponse, const Bytes& data) {
  const int raw = static_cast<int>(flowStatus);
  if (raw < 19) post(HIDManagerUpdating, {{"progress", int64_t(raw)}});
  switch (flowStatus) {
    case Flow::UAC_UPDATE_FLOW_CHECK_FW_FILE:
      FlowCheckFirmwareFile();
      break;
    case Flow::UAC_UPDATE_FLOW_GET_VER:
      FlowGetVersion(isResponse, data);
      break;
    case Flow::UAC_UPDATE_FLOW_CHECK_UPDATE_FLAG:
      FlowCheckUpdateFlag(isResponse, data);
      break;
    case Flow::UAC_UPDATE_FLOW_REMOUNT_USB_STORAGE:
      FlowRemountStorage(isResponse, data);
      break;
    case Flow::UAC_UPDATE_FLOW_ENTRY_INTO_UPDATE_MODE:
      FlowChangeMode(HIDMODE::update, isResponse, data);
      break;
    case Flow::UAC_UPDATE_FLOW_ENTRY_INTO_NORMAL_MODE:
      FlowChangeMode(HIDMODE::normal, isResponse, data);
      break;
    case Flow::UAC_UPDATE_FLOW_WAIT_ENTRY_INTO_UPDATE_MODE:
    case Flow::UAC_UPDATE_FLOW_WAIT_ENTRY_INTO_NORMAL_MODE:
      FlowWaitChangeState(isResponse);
      break;
    case Flow::UAC_UPDATE_FLOW_CHECK_DEVICE:
    case Flow::UAC_UPDATE_FLOW_GET_HID_DEVICE:
      FlowIsHIDDevice(isResponse);
      break;
    case Flow::UAC_UPDATE_FLOW_GET_USB_STORAGE:
      FlowGetUSBStorage();
      break;
    case Flow::UAC_UPDATE_FLOW_UPLOAD_FW_FILE:
      FlowUploadFirmwareFile(mediaPath, filePath);
      break;
    case Flow::UAC_UPDATE_FLOW_START_UPDATE:
      FlowStartUpdate(isResponse, data);
      break;
    case Flow::UAC_UPDATE_FLOW_GET_STATUS_1:
      FlowGetState(1, isResponse, data);
      break;
    case Flow::UAC_UPDATE_FLOW_GET_STATUS_2:
      FlowGetState(2, isResponse, data);
      break;
    case Flow::UAC_UPDATE_FLOW_PASS_HANDLE:
      EnableWaitTimer(false);
      post(HIDManagerCompleteUpdate, {{"id", deviceId()}, {"name", deviceName()}});
      flowStatus = Flow::UAC_UPDATE_FLOW_FINISH;
      break;
    default:
      break;  // idle, never-entered and end states do nothing
  }
}

void HIDManager::EnableWaitTimer(bool enable) {
  if (waitTimer) waitTimer->cancel();
  waitTimer.reset();
  if (enable) {
    waitTimer = std::make_unique<platform::DispatchTimer>(*queue_);
    waitTimer->setEventHandler([this] { checkWaitTimer(); });
    waitTimer->schedule(kTimerInterval, kTimerInterval);
    waitTimer->resume();
  }
  retryCount = 0;
}

void HIDManager::checkWaitTimer() {
  Flow before;
  do {
    before = flowStatus;
    FirmwareUpdateFlow(false, std::nullopt);
  } while (flowStatus != before);
}

void HIDManager::delegateDataReceive(int, const std::vector<uint8_t>& data) {
  if (!connectedDevice) return;
  Flow before = flowStatus;
  FirmwareUpdateFlow(true, data);
  while (flowStatus != before) {
    before = flowStatus;
    FirmwareUpdateFlow(false, std::nullopt);
  }
}

void HIDManager::postNotificationError(const std::string& error, const std::string& id,
                                       const std::string& name, const std::string& reason) {
  QD4718_LOG_ERROR(reason.empty() ? error : error + " (" + reason + ")");
  // The run is over: nothing is left for the timer to do.
  if (waitTimer) waitTimer->cancel();
  waitTimer.reset();
  NotificationDictionary object{{"error", error}, {"id", id}, {"name", name}};
  if (!reason.empty()) object["reason"] = reason;
  post(HIDManagerError, std::move(object));
  flowStatus = Flow::UAC_UPDATE_FLOW_ERROR_HANDLE_0;
}

void HIDManager::post(const char* name, NotificationDictionary object) {
  NotificationCenter::shared().post(name, this, std::move(object));
}

std::string HIDManager::deviceId() const {
  return connectedDevice ? connectedDevice->deviceInfo.id : "";
}

std::string HIDManager::deviceName() const {
  return connectedDevice ? connectedDevice->deviceInfo.name : "";
}

bool HIDManager::sendCommand(const std::string& fullName, int limit,
                             const std::vector<uint8_t>& data) {
  if (!connectedDevice || retryCount > limit) {
    const int tries = retryCount;  // the timer's stop starts the count again
    EnableWaitTimer(false);
    // Which command went unanswered, for the log: the one whose reply was awaited last.
    std::string awaited = rfDeviceDriver->waitCommand;
    if (awaited.rfind(HIDDriver::kInfoPrefix, 0) == 0)
      awaited.erase(0, std::strlen(HIDDriver::kInfoPrefix));
    postNotificationError(
        "Communication error!!", "", "",
        !connectedDevice ? "no device is connected"
                         : "no reply to " + awaited + " after " + std::to_string(tries) + " tries");
    return false;
  }
  rfDeviceDriver->waitCommand = fullName;
  std::string command = fullName;
  if (command.rfind(HIDDriver::kInfoPrefix, 0) == 0)
    command.erase(0, std::strlen(HIDDriver::kInfoPrefix));
  connectedDevice->sendCommad(command, data);
  ++retryCount;
  return true;
}

std::optional<std::string> HIDManager::replyText(const Bytes& data) {
  if (!data) return std::nullopt;
  return HIDComm::convertByteDataToString(*data, false, true);
}

std::optional<int64_t> HIDManager::replyNumber(const Bytes& data) {
  auto text = replyText(data);
  if (!text) return std::nullopt;
  std::string t = *text;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  while (!t.empty() && t.front() == ' ') t.erase(0, 1);
  if (t.empty() || t.size() > 18) return std::nullopt;
  size_t start = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (start == t.size() || t.find_first_not_of("0123456789", start) != std::string::npos) {
    return std::nullopt;
  }
  return std::strtoll(t.c_str(), nullptr, 10);
}

void HIDManager::takeReply() { EnableWaitTimer(false); }

void HIDManager::nextState() { flowStatus = static_cast<Flow>(static_cast<int>(flowStatus) + 1); }

// ---- the steps ------------------------------------------------------------------------------

void HIDManager::FlowCheckFirmwareFile() {
  // Checked before the device is touched, so a bad file never leaves it in update mode.
  std::string problem = FirmwareFile::problem(filePath);
  if (!problem.empty()) {
    QD4718_LOG_ERROR("Firmware file: " + problem);
    postNotificationError("Can not read firmware file!!", deviceId(), deviceName());
    return;
  }
  flowStatus = Flow::UAC_UPDATE_FLOW_GET_VER;
}

void HIDManager::FlowGetVersion(bool isResponse, const Bytes& data) {
  if (!isResponse) {
    if (connectedDevice) rfDeviceDriver->backupHIDComm = connectedDevice;
    sendCommand("get_deviceInfo.get_type", kRetryLimit);
    return;
  }
  if (!data) return;
  takeReply();
  flowStatus = Flow::UAC_UPDATE_FLOW_CHECK_UPDATE_FLAG;
  EnableWaitTimer(true);
}

void HIDManager::FlowCheckUpdateFlag(bool isResponse, const Bytes& data) {
  if (!isResponse) {
    sendCommand("get_update_flag", kRetryLimit);
    return;
  }
  auto flag = replyNumber(data);
  if (!flag) {
    QD4718_LOG_WARNING("Update flag reply is not a number; asking again");
    return;
  }
  takeReply();
  if (*flag == 2) {
    if (!connectedDevice) {
      flowStatus = Flow::UAC_UPDATE_FLOW_ERROR_HANDLE_0;
      return;
    }
    backupStorageID = connectedDevice->deviceInfo.storageID;
    if (searchMassStorage(backupStorageID, mediaPath)) {
      flowStatus = Flow::UAC_UPDATE_FLOW_UPLOAD_FW_FILE;
    } else {
      flowStatus = Flow::UAC_UPDATE_FLOW_REMOUNT_USB_STORAGE;
      EnableWaitTimer(true);
    }
  } else if (*flag == 0) {
    flowStatus = Flow::UAC_UPDATE_FLOW_ENTRY_INTO_UPDATE_MODE;
    EnableWaitTimer(true);
  } else {
    // Left silent, the caller would wait for an end that never comes.
    postNotificationError("Invalid update flag!![" + std::to_string(*flag) + "]", deviceId(),
                          deviceName());
  }
}

void HIDManager::FlowRemountStorage(bool isResponse, const Bytes& data) {
  if (!isResponse) {
    sendCommand("remount_disk", kRetryLimit);
    return;
  }
  if (!data) return;
  takeReply();
  flowStatus = Flow::UAC_UPDATE_FLOW_GET_USB_STORAGE;
}

void HIDManager::FlowChangeMode(HIDMODE mode, bool isResponse, const Bytes& data) {
  if (!isResponse) {
    if (mode == HIDMODE::update) {
      if (connectedDevice) backupStorageID = connectedDevice->deviceInfo.storageID;
      sendCommand("kernel_1", kRetryLimit);
    } else {
      sendCommand("reboot", kRetryLimit);
    }
    return;
  }
  auto seconds = replyNumber(data);
  if (!seconds) {
    // Taken as no reply: the retries go on rather than the run stalling here.
    QD4718_LOG_WARNING("Mode change reply is not a number; asking again");
    return;
  }
  takeReply();
  nextState();
  waitCount = static_cast<int>(std::clamp<int64_t>(*seconds, 0, 3600));
  QD4718_LOG_INFO("wait " + std::to_string(waitCount) + " sec");
  EnableWaitTimer(true);
}

void HIDManager::FlowWaitChangeState(bool isResponse) {
  if (isResponse) return;  // a reply is not a tick: it must not shorten the wait
  --waitCount;
  QD4718_LOG_DEBUG("wait " + std::to_string(waitCount));
  if (waitCount <= 0) {
    EnableWaitTimer(false);
    QD4718_LOG_INFO("Completed entry mode");
    waitCount = kDeviceReturnTicks;
    EnableWaitTimer(true);
    nextState();
  }
}

void HIDManager::FlowIsHIDDevice(bool isResponse) {
  if (isResponse) return;
  if (!connectedDevice) {
    --waitCount;
    QD4718_LOG_DEBUG("wait " + std::to_string(waitCount) + " sec");
    if (waitCount < 1) {
      EnableWaitTimer(false);
      // Left silent, the caller would wait for an end that never comes.
      postNotificationError("Get HID Device failed!!", "", "");
    }
    return;
  }
  EnableWaitTimer(false);
  nextState();
  if (flowStatus == Flow::UAC_UPDATE_FLOW_GET_STATUS_2) EnableWaitTimer(true);
}

void HIDManager::FlowGetUSBStorage() {
  if (searchMassStorage(backupStorageID, mediaPath)) {
    nextState();
  } else {
    postNotificationError("Can not get storage!!", "", "");
  }
}

void HIDManager::FlowUploadFirmwareFile(const std::string& media, const std::string& file) {
  std::string why;
  if (!copyToMassStorage(media, file, &why)) {
    postNotificationError("Can not save file!!", deviceId(), deviceName(),
                          "the firmware could not be saved on " + media + ": " + why);
    return;
  }
  if (!ejectMassStorage(backupStorageID)) {
    postNotificationError("Can not eject mass storage!!", deviceId(), deviceName());
    return;
  }
  nextState();
  EnableWaitTimer(true);
}

void HIDManager::FlowStartUpdate(bool isResponse, const Bytes& data) {
  if (!isResponse) {
    std::string name = kFirmwareFileName;
    sendCommand("start_update", kRetryLimit, std::vector<uint8_t>(name.begin(), name.end()));
    return;
  }
  auto text = replyText(data);
  if (!text) return;
  takeReply();
  if (*text != "OK") {
    postNotificationError("Can not start Update!!", deviceId(), deviceName());
    return;
  }
  waitCount = -999;
  nextState();
  post(HIDManagerStartUpdate, {{"id", deviceId()}, {"name", deviceName()}});
  EnableWaitTimer(true);
}

void HIDManager::FlowGetState(int which, bool isResponse, const Bytes& data) {
  if (!isResponse) {
    sendCommand("get_state", which == 2 ? kFinalStateRetryLimit : kRetryLimit);
    return;
  }
  auto state = replyNumber(data);
  if (!state) {
    QD4718_LOG_WARNING("State reply is not a number; asking again");
    return;
  }
  takeReply();
  if (which == 1 && *state == 8) {
    EnableWaitTimer(true);  // still processing: ask again in a second, for as long as it says so
  } else if (which == 1 && *state == 5) {
    QD4718_LOG_INFO("Completed entry mode");
    nextState();
    EnableWaitTimer(true);
  } else if (which == 2 && *state == 1) {
    flowStatus = Flow::UAC_UPDATE_FLOW_PASS_HANDLE;
  } else {
    postNotificationError(invalidStateText(*state), deviceId(), deviceName());
  }
}

// ---- mass storage ---------------------------------------------------------------------------

std::optional<std::string> HIDManager::findVolume(const std::string& storageID) {
  if (storageID.empty()) {
    // Every text holds the empty text: that would pick whatever volume comes first.
    QD4718_LOG_ERROR("The device reported no storage id");
    return std::nullopt;
  }
  auto matches = [&storageID](const std::string& root) {
    // Any volume may carry a file of that name: a FIFO or a huge file is refused, not read.
    std::string text, why;
    if (!platform::BoundedFile::read(root + "/" + kVolumeMarker,
                                     platform::BoundedFile::kMarkerBytes, text, &why)) {
      QD4718_LOG_INFO("volume storage id unreadable: " + why);
      return false;
    }
    std::erase_if(text, [](char c) { return c == '\n' || c == '\r'; });
    QD4718_LOG_INFO("volume storage id: " + text);
    QD4718_LOG_INFO("target storage id: " + storageID);
    return text.find(storageID) != std::string::npos;
  };
  if (!volumes_) return std::nullopt;
  for (const auto& root : volumes_->mountedVolumes())
    if (matches(root)) return root;
  // Nothing mounted it (a desktop without automount): mount what the device attached.
  std::string missing;
  std::vector<std::string> mounted = volumes_->mountMatching(matches, &missing);
  if (!mounted.empty()) return mounted.front();
  QD4718_LOG_ERROR("No volume with \"" + std::string(kVolumeMarker) + "\" naming storage id " +
                   storageID + ": " + missing);
  return std::nullopt;
}

bool HIDManager::searchMassStorage(const std::string& storageID, std::string& path) {
  if (volumes_) volumes_->settle();
  auto root = findVolume(storageID);
  if (!root) return false;
  path = *root;
  return true;
}

bool HIDManager::copyToMassStorage(const std::string& media, const std::string& file,
                                   std::string* why) {
  std::string problem;
  auto fail = [&](const std::string& text) {
    if (why) *why = text;
    return false;
  };
  if (media.empty()) return fail("the volume is not mounted");
  if (volumes_) {
    // A mount point left behind by a volume that went is a folder of this machine's own disk:
    // the image must not land there.
    auto roots = volumes_->mountedVolumes();
    if (std::find(roots.begin(), roots.end(), media) == roots.end())
      return fail("the volume is not mounted");
  }
  // The one step that writes: a volume the look-up mounted read-only is mounted again for it.
  std::string root = volumes_ ? volumes_->writable(media, &problem) : media;
  if (root.empty()) {
    QD4718_LOG_ERROR("Cannot write to " + media + ": " + problem);
    return fail(problem);
  }
  if (!FirmwareFile::copy(file, root + "/" + kFirmwareFileName, FirmwareFile::kChunkSize, &problem))
    return fail(problem);
  return true;
}

bool HIDManager::ejectMassStorage(const std::string& storageID) {
  auto root = findVolume(storageID);
  return root && volumes_->eject(*root);
}

// ---- device presence ------------------------------------------------------------------------

void HIDManager::delegateConnect(const HIDDevice& device) {
  auto comm = std::make_shared<HIDComm>(device);
  for (auto& entry : devices) {
    if (entry->deviceInfo.id == device.id) {
      entry = comm;
      QD4718_LOG_INFO("ReConnect: " + device.name + " " + device.id);
      connectedDevice = comm;
      QD4718_LOG_INFO("Set connectedDevice");
      return;
    }
  }
  devices.push_back(comm);
  QD4718_LOG_INFO("Connect: " + device.name + " " + device.id);
  if (selectedIndex == -1) {
    connectedDevice = comm;
    selectedIndex = 0;
  }
  // From the main queue: a caller that creates the facade and registers its callbacks there is
  // sure to hear of a device that was already plugged in.
  const void* sender = this;
  NotificationDictionary object{{"id", device.id}, {"name", device.name}};
  platform::MainQueue::shared().async(
      [sender, object] { NotificationCenter::shared().post(HIDManagerConnected, sender, object); });
}

void HIDManager::delegateDisconnect(const std::string& id) {
  QD4718_LOG_INFO("Disconnect: " + id);
  if (isEnded(flowStatus)) {
    for (auto it = devices.begin(); it != devices.end(); ++it) {
      if ((*it)->deviceInfo.id == id) {
        devices.erase(it);
        QD4718_LOG_INFO("remove devices index");
        break;
      }
    }
    if (devices.empty()) selectedIndex = -1;
  }
  if (connectedDevice && connectedDevice->deviceInfo.id == id) {
    connectedDevice.reset();
    QD4718_LOG_INFO("Clear connectedDevice");
  }
}

}  // namespace qd4718
