#include "SimulatedHidDevice.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "dispatch/Clock.h"

namespace testsupport {

namespace fs = std::filesystem;

struct SimulatedHidDevice::State : std::enable_shared_from_this<SimulatedHidDevice::State> {
  struct Reply {
    std::vector<uint8_t> report;
    bool unplugAfterRead = false;  // the device reboots once the host has read this reply
    bool intoUpdateMode = false;
  };

  mutable std::mutex mutex;
  Identity identity;
  TempDir dir;
  std::string volume;
  bool plugged = false;
  bool updateMode = false;
  int node = 0;  // the hidraw node number; a new one on every arrival
  std::deque<Reply> replies;

  int kernelWait = 3;
  int rebootWait = 3;
  int returnDelay = 2;
  int processingPolls = 2;
  int processingLeft = 0;
  int stateAfterReboot = 1;
  int updateFlag = 0;
  int deviceState = 0;
  bool volumeMounted = false;

  bool openFails = false;
  bool writeFails = false;
  bool silentAll = false;
  bool neverReturns = false;
  bool ejectFails = false;
  bool volumeAppears = true;
  // False: the host mounts nothing by itself; the volume is attached, not mounted, until the
  // host's volume layer mounts it.
  bool automount = true;
  bool volumeAttached = false;
  int mounts = 0;
  // How the host mounted the volume, in order: "read-only" for a look-up, "read-write" when it
  // asked to write on a volume it had mounted read-only.
  std::vector<std::string> mountModes;
  bool mountedReadOnlyByHost = false;
  std::set<std::string> silenced;
  std::string silentFrom;
  std::map<std::string, std::vector<uint8_t>> overrides;
  std::string unplugCommand;

  SimulatedHidDevice::SecondInterface secondInterface = SimulatedHidDevice::SecondInterface::none;
  int secondInterfaceWritten = 0;

  std::vector<std::vector<uint8_t>> written;
  std::vector<std::string> commands;
  int malformed = 0;
  int ejects = 0;
  int settles = 0;
  std::vector<uint8_t> image;
  std::vector<std::string> otherVolumes;

  State() : volume(dir.path() + "/volume") {
    fs::create_directories(volume);
    writeMarker(identity.storageId + "\n");
  }

  void writeMarker(const std::string& text) {
    std::ofstream(volume + "/mtk_disk", std::ios::binary | std::ios::trunc) << text;
  }

  std::string path() const { return "/dev/hidraw-sim" + std::to_string(node); }
  // The second interface's node: another hidraw node of the same arrival.
  std::string secondPath() const { return "/dev/hidraw-sim" + std::to_string(node) + "-keys"; }

  static std::vector<uint8_t> textReport(const std::string& text) {
    std::vector<uint8_t> report(64, 0);
    report[0] = kInputReportId;
    report[1] = static_cast<uint8_t>(text.size());
    std::copy(text.begin(), text.end(), report.begin() + 2);
    return report;
  }

  void arrive(bool inUpdateMode) {
    plugged = true;
    updateMode = inUpdateMode;
    ++node;
    replies.clear();
    if (inUpdateMode && volumeAppears) attachVolume();
  }

  void attachVolume() {
    volumeAttached = true;
    if (automount) volumeMounted = true;
  }

  void leave() {
    plugged = false;
    replies.clear();
  }

  // Gone now, back after the return delay in the given mode (unless it never returns). It
  // enumerates 50 ms past the whole second, so its return never ties with a host timer.
  void reboot(bool intoUpdateMode) {
    leave();
    volumeMounted = false;
    volumeAttached = false;
    int nextState = intoUpdateMode ? 0 : stateAfterReboot;
    if (neverReturns) return;
    std::weak_ptr<State> weak = shared_from_this();
    auto& clock = platform::Clock::shared();
    clock.callAt(clock.now() + std::chrono::seconds(returnDelay) + std::chrono::milliseconds(50),
                 [weak, intoUpdateMode, nextState] {
                   auto self = weak.lock();
                   if (!self) return;
                   std::lock_guard lock(self->mutex);
                   self->arrive(intoUpdateMode);
                   self->deviceState = nextState;
                 });
  }

  // Takes one output report; queues the reply the device gives.
  bool take(const std::vector<uint8_t>& report) {
    written.push_back(report);
    if (writeFails) return false;
    std::string command;
    std::vector<uint8_t> payload;
    if (!parse(report, command, payload)) {
      ++malformed;
      return true;  // the device ignores what it cannot read
    }
    commands.push_back(command);
    if (command == unplugCommand) {
      leave();
      return true;
    }
    Reply reply;
    std::string text;
    bool answers = true;
    const Identity& id = identity;
    if (command == "get_type")
      text = id.type;
    else if (command == "get_hw_ver")
      text = id.hwVer;
    else if (command == "get_sw_ver")
      text = id.swVer;
    else if (command == "get_git_rev")
      text = id.gitRev;
    else if (command == "get_date")
      text = id.date;
    else if (command == "get_line_mode")
      text = id.lineMode;
    else if (command == "get_storage_id")
      text = id.storageId;
    else if (command == "get_update_flag")
      text = std::to_string(updateMode ? 2 : updateFlag);
    else if (command == "remount_disk") {
      if (volumeAppears) attachVolume();
      text = "OK";
    } else if (command == "kernel_1") {
      text = std::to_string(kernelWait);
      reply.unplugAfterRead = true;
      reply.intoUpdateMode = true;
    } else if (command == "reboot") {
      text = std::to_string(rebootWait);
      reply.unplugAfterRead = true;
    } else if (command == "start_update") {
      std::ifstream in(volume + "/update.swu", std::ios::binary);
      std::string name(payload.begin(), payload.end());
      if (in && name == "update.swu" && !volumeMounted) {
        image.assign(std::istreambuf_iterator<char>(in), {});
        processingLeft = processingPolls;
        deviceState = 8;
        text = "OK";
      } else {
        text = "NG";
      }
    } else if (command == "get_state") {
      if (deviceState == 8 && processingLeft-- <= 0) deviceState = 5;
      text = std::to_string(deviceState);
    } else {
      answers = false;  // unknown to the device
    }
    if (!silentFrom.empty() && command == silentFrom) silentAll = true;
    if (silentAll || silenced.count(command)) answers = false;
    if (!answers) {
      if (reply.unplugAfterRead) reboot(reply.intoUpdateMode);
      return true;
    }
    auto override = overrides.find(command);
    if (override != overrides.end()) {
      reply.report = override->second;
      reply.unplugAfterRead = false;  // a device that says something else does something else
    } else {
      reply.report = textReport(text);
    }
    replies.push_back(std::move(reply));
    return true;
  }

  static bool parse(const std::vector<uint8_t>& r, std::string& command,
                    std::vector<uint8_t>& payload) {
    if (r.size() < 3 || r[0] != 0x3F || r.back() != 0x00) return false;
    size_t n = r[1];
    if (2 + n + 1 > r.size()) return false;
    command.assign(r.begin() + 2, r.begin() + 2 + n);
    size_t rest = r.size() - (2 + n);
    if (rest == 1) return true;
    size_t m = r[2 + n];
    if (rest != m + 2 || m == 0) return false;
    payload.assign(r.begin() + 3 + n, r.begin() + 3 + n + m);
    return true;
  }
};

namespace {

class Connection : public qd4718::HidConnection {
 public:
  Connection(std::weak_ptr<SimulatedHidDevice::State> state, int node)
      : state_(std::move(state)), node_(node) {}

  bool writeOutputReport(const std::vector<uint8_t>& report) override {
    auto s = state_.lock();
    if (!s) return false;
    std::lock_guard lock(s->mutex);
    if (!alive(*s)) return false;
    return s->take(report);
  }

  int readInputReport(std::vector<uint8_t>& report, size_t maxLength, int) override {
    auto s = state_.lock();
    if (!s) return -1;
    std::lock_guard lock(s->mutex);
    if (!alive(*s)) return -1;
    if (s->replies.empty()) return 0;  // nothing came within the time-out
    auto reply = std::move(s->replies.front());
    s->replies.pop_front();
    report = reply.report;
    if (report.size() > maxLength) report.resize(maxLength);
    if (reply.unplugAfterRead) s->reboot(reply.intoUpdateMode);
    return static_cast<int>(report.size());
  }

 private:
  bool alive(const SimulatedHidDevice::State& s) const { return s.plugged && s.node == node_; }
  std::weak_ptr<SimulatedHidDevice::State> state_;
  int node_;
};

// The consumer-control interface: takes reports, answers nothing.
class KeysConnection : public qd4718::HidConnection {
 public:
  KeysConnection(std::weak_ptr<SimulatedHidDevice::State> state, int node)
      : state_(std::move(state)), node_(node) {}

  bool writeOutputReport(const std::vector<uint8_t>&) override {
    auto s = state_.lock();
    if (!s) return false;
    std::lock_guard lock(s->mutex);
    if (!alive(*s)) return false;
    ++s->secondInterfaceWritten;
    return true;
  }

  int readInputReport(std::vector<uint8_t>& report, size_t, int) override {
    auto s = state_.lock();
    if (!s) return -1;
    std::lock_guard lock(s->mutex);
    report.clear();
    return alive(*s) ? 0 : -1;
  }

 private:
  bool alive(const SimulatedHidDevice::State& s) const { return s.plugged && s.node == node_; }
  std::weak_ptr<SimulatedHidDevice::State> state_;
  int node_;
};

class Backend : public qd4718::HidBackend {
 public:
  explicit Backend(std::shared_ptr<SimulatedHidDevice::State> state) : state_(std::move(state)) {}

  std::vector<DeviceInfo> enumerate() override {
    std::lock_guard lock(state_->mutex);
    if (!state_->plugged) return {};
    DeviceInfo info;
    info.path = state_->path();
    info.vendorId = SimulatedHidDevice::kVendorId;
    info.productId =
        state_->updateMode ? SimulatedHidDevice::kUpdateProductId : SimulatedHidDevice::kProductId;
    info.serialNumber = state_->identity.serialNumber;
    info.product = state_->identity.product;
    info.usagePage = 0xFF00;
    info.usage = 1;
    using Second = SimulatedHidDevice::SecondInterface;
    if (state_->secondInterface == Second::none) return {info};
    DeviceInfo keys = info;
    keys.path = state_->secondPath();
    keys.usagePage = SimulatedHidDevice::kConsumerUsagePage;
    keys.usage = 1;
    if (state_->secondInterface == Second::listedBefore) return {keys, info};
    return {info, keys};
  }

  std::unique_ptr<qd4718::HidConnection> open(const std::string& path) override {
    std::lock_guard lock(state_->mutex);
    if (!state_->plugged || state_->openFails) return nullptr;
    if (state_->secondInterface != SimulatedHidDevice::SecondInterface::none &&
        path == state_->secondPath())
      return std::make_unique<KeysConnection>(state_, state_->node);
    if (path != state_->path()) return nullptr;
    return std::make_unique<Connection>(state_, state_->node);
  }

 private:
  std::shared_ptr<SimulatedHidDevice::State> state_;
};

class Volumes : public qd4718::MassStorageVolumes {
 public:
  explicit Volumes(std::shared_ptr<SimulatedHidDevice::State> state) : state_(std::move(state)) {}

  void settle() override {
    std::lock_guard lock(state_->mutex);
    ++state_->settles;
  }

  std::vector<std::string> mountedVolumes() override {
    std::lock_guard lock(state_->mutex);
    std::vector<std::string> roots = state_->otherVolumes;
    if (state_->volumeMounted) roots.push_back(state_->volume);
    return roots;
  }

  bool eject(const std::string& root) override {
    std::lock_guard lock(state_->mutex);
    ++state_->ejects;
    if (root != state_->volume) return true;
    if (state_->ejectFails || !state_->volumeMounted) return false;
    state_->volumeMounted = false;
    state_->mountedReadOnlyByHost = false;
    return true;
  }

  std::vector<std::string> mountMatching(const std::function<bool(const std::string&)>& matches,
                                         std::string* missing) override {
    std::string root;
    {
      std::lock_guard lock(state_->mutex);
      if (!state_->volumeAttached || state_->volumeMounted) {
        if (missing) *missing = "no unmounted volume is attached";
        return {};
      }
      state_->volumeMounted = true;
      ++state_->mounts;
      state_->mountModes.push_back("read-only");
      state_->mountedReadOnlyByHost = true;
      root = state_->volume;
    }
    if (matches(root)) return {root};
    std::lock_guard lock(state_->mutex);
    state_->volumeMounted = false;
    state_->mountedReadOnlyByHost = false;
    if (missing) *missing = "no volume matched";
    return {};
  }

  std::string writable(const std::string& root, std::string* why) override {
    std::lock_guard lock(state_->mutex);
    if (root != state_->volume || !state_->mountedReadOnlyByHost) return root;
    if (!state_->volumeMounted) {
      if (why) *why = "the volume is gone";
      return {};
    }
    state_->mountModes.push_back("read-write");
    state_->mountedReadOnlyByHost = false;
    return root;
  }

 private:
  std::shared_ptr<SimulatedHidDevice::State> state_;
};

}  // namespace

SimulatedHidDevice::SimulatedHidDevice() : SimulatedHidDevice(Identity{}) {}

SimulatedHidDevice::SimulatedHidDevice(Identity identity) : state_(std::make_shared<State>()) {
  state_->identity = std::move(identity);
  state_->writeMarker(state_->identity.storageId + "\n");
  backend_ = std::make_shared<Backend>(state_);
  volumes_ = std::make_shared<Volumes>(state_);
}

SimulatedHidDevice::~SimulatedHidDevice() = default;

std::shared_ptr<qd4718::HidBackend> SimulatedHidDevice::hidBackend() { return backend_; }
std::shared_ptr<qd4718::MassStorageVolumes> SimulatedHidDevice::volumes() { return volumes_; }

#define SIM_LOCKED(body)                 \
  do {                                   \
    std::lock_guard lock(state_->mutex); \
    body;                                \
  } while (0)

void SimulatedHidDevice::plug() { SIM_LOCKED(state_->arrive(false)); }
void SimulatedHidDevice::plugInUpdateMode() { SIM_LOCKED(state_->arrive(true)); }
void SimulatedHidDevice::unplug() { SIM_LOCKED(state_->leave()); }
bool SimulatedHidDevice::isPlugged() const { SIM_LOCKED(return state_->plugged); }
bool SimulatedHidDevice::inUpdateMode() const { SIM_LOCKED(return state_->updateMode); }
void SimulatedHidDevice::setKernelWaitSeconds(int s) { SIM_LOCKED(state_->kernelWait = s); }
void SimulatedHidDevice::setRebootWaitSeconds(int s) { SIM_LOCKED(state_->rebootWait = s); }
void SimulatedHidDevice::setReturnDelaySeconds(int s) { SIM_LOCKED(state_->returnDelay = s); }
void SimulatedHidDevice::setProcessingPolls(int p) { SIM_LOCKED(state_->processingPolls = p); }
void SimulatedHidDevice::setStateAfterReboot(int s) { SIM_LOCKED(state_->stateAfterReboot = s); }
void SimulatedHidDevice::setUpdateFlag(int f) { SIM_LOCKED(state_->updateFlag = f); }
void SimulatedHidDevice::mountVolume() { SIM_LOCKED(state_->volumeMounted = true); }
void SimulatedHidDevice::setOpenFails(bool f) { SIM_LOCKED(state_->openFails = f); }
void SimulatedHidDevice::setWriteFails(bool f) { SIM_LOCKED(state_->writeFails = f); }
void SimulatedHidDevice::silence(const std::string& c) { SIM_LOCKED(state_->silenced.insert(c)); }
void SimulatedHidDevice::silenceAll(bool s) {
  SIM_LOCKED(state_->silentAll = s; if (!s) state_->silentFrom.clear());
}
void SimulatedHidDevice::silenceFrom(const std::string& c) { SIM_LOCKED(state_->silentFrom = c); }
void SimulatedHidDevice::overrideReply(const std::string& command, const std::string& text) {
  SIM_LOCKED(state_->overrides[command] = State::textReport(text));
}
void SimulatedHidDevice::overrideReplyBytes(const std::string& command,
                                            std::vector<uint8_t> report) {
  SIM_LOCKED(state_->overrides[command] = std::move(report));
}
void SimulatedHidDevice::unplugOn(const std::string& c) { SIM_LOCKED(state_->unplugCommand = c); }
void SimulatedHidDevice::setNeverReturns(bool n) { SIM_LOCKED(state_->neverReturns = n); }
void SimulatedHidDevice::setEjectFails(bool f) { SIM_LOCKED(state_->ejectFails = f); }
void SimulatedHidDevice::setVolumeAppears(bool a) { SIM_LOCKED(state_->volumeAppears = a); }
void SimulatedHidDevice::setAutomount(bool a) { SIM_LOCKED(state_->automount = a); }
int SimulatedHidDevice::mountCount() const { SIM_LOCKED(return state_->mounts); }
std::vector<std::string> SimulatedHidDevice::hostMountModes() const {
  SIM_LOCKED(return state_->mountModes);
}
void SimulatedHidDevice::setMarkerText(const std::string& t) { SIM_LOCKED(state_->writeMarker(t)); }
void SimulatedHidDevice::setSecondInterface(SecondInterface where) {
  SIM_LOCKED(state_->secondInterface = where);
}
int SimulatedHidDevice::secondInterfaceReports() const {
  SIM_LOCKED(return state_->secondInterfaceWritten);
}

std::string SimulatedHidDevice::addOtherVolume(const std::string& markerText) {
  std::lock_guard lock(state_->mutex);
  std::string root = state_->dir.path() + "/other" + std::to_string(state_->otherVolumes.size());
  fs::create_directories(root);
  if (!markerText.empty()) std::ofstream(root + "/mtk_disk", std::ios::binary) << markerText;
  state_->otherVolumes.push_back(root);
  return root;
}

std::vector<std::vector<uint8_t>> SimulatedHidDevice::writtenReports() const {
  SIM_LOCKED(return state_->written);
}
std::vector<std::string> SimulatedHidDevice::commands() const {
  SIM_LOCKED(return state_->commands);
}
int SimulatedHidDevice::malformedReports() const { SIM_LOCKED(return state_->malformed); }
int SimulatedHidDevice::ejectCount() const { SIM_LOCKED(return state_->ejects); }
int SimulatedHidDevice::settleCount() const { SIM_LOCKED(return state_->settles); }
bool SimulatedHidDevice::volumeMounted() const { SIM_LOCKED(return state_->volumeMounted); }
std::string SimulatedHidDevice::volumeRoot() const { return state_->volume; }
std::vector<uint8_t> SimulatedHidDevice::receivedImage() const { SIM_LOCKED(return state_->image); }

#undef SIM_LOCKED

}  // namespace testsupport
