#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "TempDir.h"
#include "hid/HidBackend.h"
#include "update/MassStorageVolumes.h"

namespace testsupport {

// A model of the audio device's HID update interface and its update volume. It takes the text
// command output reports byte for byte (0x3F, length, command, [length, payload], 0x00), answers
// each with an input report (report id, length, text), walks through its normal mode, its
// update mode and its reboots on the process's clock, mounts its volume (a folder holding
// "mtk_disk") and takes the image copied onto it. It records every report and fails on demand.
class SimulatedHidDevice {
 public:
  static constexpr uint16_t kVendorId = 0x2E8B;
  static constexpr uint16_t kProductId = 0x5003;
  static constexpr uint16_t kUpdateProductId = 0x5FFF;
  static constexpr uint8_t kInputReportId = 0x3F;

  struct Identity {
    std::string serialNumber = "QD4718-0001";
    std::string product = "Kestova Audio";
    std::string type = "QD4718";
    std::string hwVer = "1.2";
    std::string swVer = "2.0.7";
    std::string gitRev = "9c1e2f0";
    std::string date = "2026-10-01";
    std::string lineMode = "uac";
    std::string storageId = "ST4718A9";
  };

  // A second HID interface of the device beside the update interface, as many USB audio
  // devices carry one for their keys: consumer control (usage page 0x000C), with the same ids
  // and serial number, on a node of its own, listed before or after the update interface. It
  // opens and takes output reports but never answers a command.
  enum class SecondInterface { none, listedBefore, listedAfter };
  static constexpr uint16_t kConsumerUsagePage = 0x000C;

  SimulatedHidDevice();
  explicit SimulatedHidDevice(Identity identity);
  ~SimulatedHidDevice();

  // The layers the framework talks through.
  std::shared_ptr<qd4718::HidBackend> hidBackend();
  std::shared_ptr<qd4718::MassStorageVolumes> volumes();

  // ---- what the device does ----
  void plug();  // appears in its normal enumeration, on a new node
  void plugInUpdateMode();
  void unplug();
  bool isPlugged() const;
  bool inUpdateMode() const;
  void setKernelWaitSeconds(int seconds);  // the reply to "kernel_1"
  void setRebootWaitSeconds(int seconds);  // the reply to "reboot"
  // How long the device is gone after "kernel_1" or "reboot" before it enumerates again.
  void setReturnDelaySeconds(int seconds);
  void setProcessingPolls(int polls);   // "get_state" answers 8 this often before 5
  void setStateAfterReboot(int state);  // what "get_state" answers once back in normal mode
  // Update flag in normal mode (0: update mode needed, 2: volume ready).
  void setUpdateFlag(int flag);
  void mountVolume();  // the volume is there (the update flag 2 case)

  // ---- failures ----
  void setOpenFails(bool fails);
  void setWriteFails(bool fails);
  void silence(const std::string& command);  // no reply to it: the host times out
  void silenceAll(bool silent);
  // Falls silent once `command` arrives (the command itself takes effect): no reply to it or to
  // anything after it, until silenceAll(false).
  void silenceFrom(const std::string& command);
  void overrideReply(const std::string& command, const std::string& text);
  // A raw input report in place of the reply (bad lengths, bytes that are not text).
  void overrideReplyBytes(const std::string& command, std::vector<uint8_t> report);
  void unplugOn(const std::string& command);  // gone for good when the command arrives
  void setNeverReturns(bool never);           // after "kernel_1" or "reboot" it does not come back
  void setEjectFails(bool fails);
  void setVolumeAppears(bool appears);  // update mode without a volume
  // False: a desktop that mounts nothing by itself; the volume waits for the host to mount it.
  void setAutomount(bool automount);
  void setMarkerText(const std::string& text);  // the text of "mtk_disk"
  void setSecondInterface(SecondInterface where);
  // Another mounted volume (say, a memory stick), with the marker text if not empty.
  std::string addOtherVolume(const std::string& markerText);

  // ---- what the host did ----
  std::vector<std::vector<uint8_t>> writtenReports() const;
  std::vector<std::string> commands() const;  // the command texts, in order
  int malformedReports() const;
  // Output reports the host sent to the second interface.
  int secondInterfaceReports() const;
  int ejectCount() const;
  int settleCount() const;
  int mountCount() const;  // mounts the host made itself
  // How the host mounted the volume, in order: "read-only" (a look-up), "read-write" (again,
  // to write on it).
  std::vector<std::string> hostMountModes() const;
  bool volumeMounted() const;
  std::string volumeRoot() const;
  // The image the device found on its volume at "start_update"; empty when none.
  std::vector<uint8_t> receivedImage() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
  std::shared_ptr<qd4718::HidBackend> backend_;
  std::shared_ptr<qd4718::MassStorageVolumes> volumes_;
};

}  // namespace testsupport
