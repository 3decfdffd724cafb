#include "hid/HIDDriver.h"

#include <array>
#include <cstdio>

#include "QD4718Log.h"
#include "hid/HIDInterfaceChoice.h"
#include "hid/HIDReportChannel.h"
#include "hid/Utf8.h"

namespace qd4718 {

namespace {

// The device-information chain, in the order it is asked.
constexpr std::array<const char*, 7> kInfoChain = {"get_type",      "get_hw_ver", "get_sw_ver",
                                                   "get_git_rev",   "get_date",   "get_line_mode",
                                                   "get_storage_id"};

// The commands whose replies go to the update flow.
constexpr std::array<const char*, 9> kFlowCommands = {
    "get_update_flag", "remount_disk", "kernel_1",         "kernel_0",      "reboot",
    "start_update",    "get_state",    "set_force_update", "set_debug_mode"};

std::string* infoField(HIDDevice& device, const std::string& command) {
  if (command == "get_type") return &device.type;
  if (command == "get_hw_ver") return &device.hwVer;
  if (command == "get_sw_ver") return &device.swVer;
  if (command == "get_git_rev") return &device.gitRev;
  if (command == "get_date") return &device.date;
  if (command == "get_line_mode") return &device.lineMode;
  if (command == "get_storage_id") return &device.storageID;
  return nullptr;
}

}  // namespace

HIDDriver::HIDDriver(std::vector<HIDDeviceData> matching, int size,
                     std::shared_ptr<HidBackend> backend, platform::Queue& queue)
    : vp(std::move(matching)), reportSize(size), backend_(std::move(backend)), queue_(queue) {}

HIDDriver::~HIDDriver() { close(); }

void HIDDriver::start() { restart(); }

void HIDDriver::restart() {
  if (!backend_) return;
  scan();
  scanTimer_ = std::make_unique<platform::DispatchTimer>(queue_);
  scanTimer_->setEventHandler([this] { scan(); });
  scanTimer_->schedule(kScanInterval, kScanInterval);
  scanTimer_->resume();
}

void HIDDriver::close() {
  if (scanTimer_) scanTimer_->cancel();
  scanTimer_.reset();
  for (auto& [path, open] : open_) open.channel->close();
  open_.clear();
}

bool HIDDriver::matches(const HidBackend::DeviceInfo& info) const {
  for (const auto& entry : vp) {
    if (entry.vendorId != info.vendorId || entry.productId != info.productId) continue;
    if (entry.usagePage && *entry.usagePage != info.usagePage) continue;
    if (entry.usage && *entry.usage != info.usage) continue;
    return true;
  }
  return false;
}

void HIDDriver::scan() {
  std::vector<HidBackend::DeviceInfo> matching;
  for (auto& info : backend_->enumerate()) {
    if (matches(info)) matching.push_back(std::move(info));
  }
  std::set<std::string> inUse;
  for (const auto& [path, open] : open_) inUse.insert(path);
  // One node per device: the one its text protocol's reports belong to.
  std::set<std::string> present;
  std::vector<HidBackend::DeviceInfo> arrived;
  for (auto& info : HIDInterfaceChoice::choose(matching, inUse)) {
    present.insert(info.path);
    if (!open_.count(info.path)) arrived.push_back(std::move(info));
  }
  std::set<std::string> passedOver;
  for (const auto& info : matching) {
    if (present.count(info.path)) continue;
    passedOver.insert(info.path);
    if (!passedOver_.count(info.path)) {
      char page[8];
      std::snprintf(page, sizeof page, "%04X", info.usagePage);
      QD4718_LOG_INFO("HID node " + info.path + " (usage page 0x" + page +
                      ") is another interface of " + info.product + " " + info.serialNumber +
                      ": not used for its commands");
    }
  }
  passedOver_ = std::move(passedOver);
  std::vector<std::string> gone;
  for (const auto& [path, open] : open_) {
    if (!present.count(path)) gone.push_back(path);
  }
  // Removals first: a device that came back under a new node is first gone, then there again.
  for (const auto& path : gone) rawDeviceRemoved(path);
  for (auto it = unopenable_.begin(); it != unopenable_.end();) {
    it = present.count(*it) ? std::next(it) : unopenable_.erase(it);
  }
  for (const auto& info : arrived) rawDeviceAdded(info);
}

void HIDDriver::rawDeviceAdded(const HidBackend::DeviceInfo& info) {
  auto connection = backend_->open(info.path);
  if (!connection) {
    if (unopenable_.insert(info.path).second) {
      QD4718_LOG_ERROR("HID device " + info.path +
                       " cannot be opened (is the udev rule for its hidraw node installed?)");
    }
    return;
  }
  unopenable_.erase(info.path);
  QD4718_LOG_INFO("Set connectedDevice");
  auto channel = std::make_shared<HIDReportChannel>(
      std::move(connection), queue_, static_cast<size_t>(reportSize),
      [this](const std::vector<uint8_t>& report) { read(report); });
  HIDDevice device;
  device.id = info.serialNumber;
  device.vendorId = info.vendorId;
  device.productId = info.productId;
  device.reportSize = reportSize;
  device.device = channel;
  device.name = info.product;
  open_[info.path] = OpenDevice{channel, device};
  if (delegate) delegate->delegateConnect(device);
}

void HIDDriver::rawDeviceRemoved(const std::string& path) {
  auto it = open_.find(path);
  if (it == open_.end()) return;
  it->second.channel->close();
  std::string id = it->second.device.id;
  open_.erase(it);
  if (delegate) delegate->delegateDisconnect(id);
}

void HIDDriver::read(const std::vector<uint8_t>& report) { AnalysisResponce(report); }

int HIDDriver::AnalysisResponce(const std::vector<uint8_t>& report) {
  if (report.size() < 2) {
    QD4718_LOG_WARNING("Dropped a reply too short to hold its length");
    return 0;
  }
  size_t length = report[1];
  if (length == 0 || length > report.size() - 2) {
    QD4718_LOG_WARNING("Dropped a reply whose length " + std::to_string(length) +
                       " does not fit its report");
    return 0;
  }
  std::vector<uint8_t> payload(report.begin() + 2, report.begin() + 2 + length);
  if (!isValidUtf8(payload)) {
    QD4718_LOG_WARNING("Dropped a reply that is not UTF-8 text");
    return 0;
  }

  if (waitCommand.find(kInfoPrefix) != std::string::npos) {
    if (HidGetDeviceInfoResponce(HIDComm::convertByteDataToString(payload, false, true)) ==
        kChainEnd) {
      return kChainEnd;
    }
  } else {
    bool known = false;
    for (const char* name : kFlowCommands) known = known || waitCommand == name;
    if (!known) {
      QD4718_LOG_WARNING("Dropped a reply while no command waits for one (\"" + waitCommand +
                         "\")");
      return 0;
    }
  }
  if (!delegate || !delegate->hasConnectedDevice()) {
    QD4718_LOG_WARNING("Dropped a reply: no device is connected");
    return 0;
  }
  delegate->delegateDataReceive(static_cast<int>(length), payload);
  return 1;
}

int HIDDriver::HidGetDeviceInfoResponce(const std::string& text) {
  std::string command = waitCommand.substr(waitCommand.find(kInfoPrefix) +
                                           std::char_traits<char>::length(kInfoPrefix));
  size_t index = kInfoChain.size();
  for (size_t i = 0; i < kInfoChain.size(); ++i) {
    if (command == kInfoChain[i]) index = i;
  }
  if (!backupHIDComm || index == kInfoChain.size()) {
    QD4718_LOG_WARNING("Dropped a device information reply for \"" + command + "\"");
    return kChainEnd;
  }
  *infoField(backupHIDComm->deviceInfo, command) = text;
  QD4718_LOG_DEBUG(command + ": " + text);
  if (index + 1 == kInfoChain.size()) return 0;  // the chain is complete: the flow goes on
  waitCommand = std::string(kInfoPrefix) + kInfoChain[index + 1];
  backupHIDComm->sendCommad(kInfoChain[index + 1]);
  return kChainEnd;
}

}  // namespace qd4718
