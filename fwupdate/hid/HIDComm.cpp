#include "hid/HIDComm.h"

#include "QD4718Log.h"
#include "hid/HIDReportChannel.h"

namespace qd4718 {

namespace {

std::string trimmed(const std::string& text) {
  const char* space = " \t\n\r\f\v";
  auto first = text.find_first_not_of(space);
  if (first == std::string::npos) return {};
  auto last = text.find_last_not_of(space);
  return text.substr(first, last - first + 1);
}

}  // namespace

bool HIDComm::sendCommad(const std::string& cmd, const std::vector<uint8_t>& data) {
  return write(trimmed(cmd), data);
}

std::optional<std::vector<uint8_t>> HIDComm::buildReport(const std::string& cmd,
                                                         const std::vector<uint8_t>& data) {
  if (cmd.size() > 255 || data.size() > 255) return std::nullopt;
  std::vector<uint8_t> report;
  report.reserve(cmd.size() + data.size() + 4);
  report.push_back(kReportId);
  report.push_back(static_cast<uint8_t>(cmd.size()));
  report.insert(report.end(), cmd.begin(), cmd.end());
  if (!data.empty()) {
    report.push_back(static_cast<uint8_t>(data.size()));
    report.insert(report.end(), data.begin(), data.end());
  }
  report.push_back(0x00);
  return report;
}

bool HIDComm::write(const std::string& cmd, const std::vector<uint8_t>& data) {
  auto report = buildReport(cmd, data);
  if (!report) {
    QD4718_LOG_ERROR("Command too long to frame: " + cmd.substr(0, 64));
    return false;
  }
  if (report->size() >= static_cast<size_t>(deviceInfo.reportSize) + 1) {
    QD4718_LOG_WARNING("Output data too large for USB report");
  }
  if (!deviceInfo.device) return false;
  return deviceInfo.device->submit(*report);
}

std::string HIDComm::convertByteDataToString(const std::vector<uint8_t>& data, bool removeId,
                                             bool cleanGarbage) {
  std::string text;
  for (size_t i = removeId ? 1 : 0; i < data.size(); ++i) {
    uint8_t c = data[i];
    if (cleanGarbage && (c < 0x20 || c == 0x7F)) continue;
    text.push_back(static_cast<char>(c));
  }
  return text;
}

}  // namespace qd4718
