// The audio device's HID replies: the reply framing of the driver, the text and number readers
// of the update flow, and the command framing back to the device.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "InlineQueue.h"
#include "hid/HIDComm.h"
#include "hid/HIDDriver.h"
#include "hid/HIDDriverDelegate.h"

namespace {

// Takes the replies the driver passes on to the flow.
class Delegate : public qd4718::HIDDriverDelegate {
 public:
  void delegateConnect(const qd4718::HIDDevice&) override {}
  void delegateDisconnect(const std::string&) override {}
  void delegateDataReceive(int length, const std::vector<uint8_t>& data) override {
    received = true;
    FUZZ_CHECK(length > 0 && size_t(length) == data.size());
  }
  void delegateErrorState(int32_t, const std::string&) override {}
  void delegateUpdateDevicde(int32_t) override {}
  void delegateUploadDone() override {}
  bool hasConnectedDevice() const override { return true; }
  bool received = false;
};

const char* const kWaiting[] = {"",
                                "get_deviceInfo.get_type",
                                "get_deviceInfo.get_line_mode",
                                "get_deviceInfo.get_storage_id",
                                "get_update_flag",
                                "get_state",
                                "start_update",
                                "reboot"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> report(data + 1, data + size);

  InlineQueue queue;
  Delegate delegate;
  qd4718::HIDDriver driver({}, 64, nullptr, queue);
  driver.delegate = &delegate;
  driver.waitCommand = kWaiting[data[0] % (sizeof kWaiting / sizeof *kWaiting)];
  int taken = driver.AnalysisResponce(report);
  FUZZ_CHECK(taken == 0 || taken == 1 || taken == qd4718::HIDDriver::kChainEnd);
  if (taken == 1) FUZZ_CHECK(delegate.received && report.size() >= 2 && report[1] > 0);

  std::string text = qd4718::HIDComm::convertByteDataToString(report, data[0] & 1, true);
  for (char c : text) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
  qd4718::HIDComm::convertByteDataToString(report, data[0] & 2, false);

  // The command framing: the command and payload lengths travel in one byte each.
  size_t split = data[0] % (report.size() + 1);
  std::string command(report.begin(), report.begin() + long(split));
  std::vector<uint8_t> payload(report.begin() + long(split), report.end());
  if (auto framed = qd4718::HIDComm::buildReport(command, payload)) {
    FUZZ_CHECK(!framed->empty() && (*framed)[0] == qd4718::HIDComm::kReportId);
    FUZZ_CHECK(framed->size() >= 2 + size_t((*framed)[1]));
  }
  return 0;
}
