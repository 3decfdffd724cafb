#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dispatch/DispatchTimer.h"
#include "dispatch/Queue.h"
#include "hid/HIDComm.h"
#include "hid/HIDDeviceData.h"
#include "hid/HIDDriverDelegate.h"
#include "hid/HidBackend.h"

namespace qd4718 {

class HIDReportChannel;

// Finds the devices of the matching list, follows their arrival and removal, and turns each
// reply into either the next step of the device-information chain or a reply for the update
// flow. Everything it does runs on its queue, the driver's own thread; hidapi has no arrival
// callbacks on hidraw, so the device list is read again every half second. Of a device that
// lists several matching interfaces only one is opened (see HIDInterfaceChoice).
class HIDDriver {
 public:
  static constexpr auto kScanInterval = std::chrono::milliseconds(500);
  static constexpr int kChainEnd = -99;  // the reply was taken by the device-information chain

  HIDDriver(std::vector<HIDDeviceData> vp, int reportSize, std::shared_ptr<HidBackend> backend,
            platform::Queue& queue);
  ~HIDDriver();
  HIDDriver(const HIDDriver&) = delete;
  HIDDriver& operator=(const HIDDriver&) = delete;

  // The thread's body: looks for devices now and from then on.
  void start();
  void restart();
  // Stops looking and closes every open device.
  void close();

  // A reply report: byte 0 the report id, byte 1 the payload's length, then the payload.
  // Returns kChainEnd when the chain took it, 1 when the flow did, 0 when it was dropped.
  int AnalysisResponce(const std::vector<uint8_t>& report);

  HIDDriverDelegate* delegate = nullptr;
  std::vector<HIDDeviceData> vp;
  int reportSize;
  std::string waitCommand;  // the full name of the command whose reply is awaited
  // The prefix of the device-information chain's full command names.
  static constexpr const char* kInfoPrefix = "get_deviceInfo.";
  std::shared_ptr<HIDComm> backupHIDComm;

 private:
  struct OpenDevice {
    std::shared_ptr<HIDReportChannel> channel;
    HIDDevice device;
  };

  bool matches(const HidBackend::DeviceInfo& info) const;
  void scan();
  void rawDeviceAdded(const HidBackend::DeviceInfo& info);
  void rawDeviceRemoved(const std::string& path);
  void read(const std::vector<uint8_t>& report);
  int HidGetDeviceInfoResponce(const std::string& text);

  std::shared_ptr<HidBackend> backend_;
  platform::Queue& queue_;
  std::unique_ptr<platform::DispatchTimer> scanTimer_;
  std::map<std::string, OpenDevice> open_;  // by node path
  std::set<std::string> unopenable_;        // nodes already reported as failing to open
  std::set<std::string> passedOver_;        // other interfaces of a device, already reported
};

}  // namespace qd4718
