#include "VolumeCandidates.h"

#include <algorithm>
#include <cctype>

namespace platform {

void VolumeCandidates::Rule::add(UsbId id) {
  if (std::find(usbIds.begin(), usbIds.end(), id) == usbIds.end()) usbIds.push_back(id);
}

bool VolumeCandidates::isCandidate(const BlockDevice& device, const Rule& rule) {
  if (!device.usbVendor || !device.usbProduct) return false;
  if (std::find(rule.usbIds.begin(), rule.usbIds.end(),
                UsbId{*device.usbVendor, *device.usbProduct}) == rule.usbIds.end())
    return false;
  return rule.labels.empty() ||
         (!device.label.empty() &&
          std::find(rule.labels.begin(), rule.labels.end(), device.label) != rule.labels.end());
}

std::vector<std::string> VolumeCandidates::choose(const std::vector<BlockDevice>& devices,
                                                  const Rule& rule) {
  std::vector<std::string> chosen;
  for (const BlockDevice& device : devices)
    if (isCandidate(device, rule)) chosen.push_back(device.device);
  return chosen;
}

std::optional<uint16_t> VolumeCandidates::parseUsbId(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\r\n");
  size_t end = text.find_last_not_of(" \t\r\n");
  if (start == std::string::npos) return std::nullopt;
  std::string digits = text.substr(start, end - start + 1);
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
    digits = digits.substr(2);
  if (digits.empty() || digits.size() > 4) return std::nullopt;
  unsigned value = 0;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 16 + unsigned(std::isdigit(static_cast<unsigned char>(c))
                                      ? c - '0'
                                      : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
  }
  return uint16_t(value);
}

}  // namespace platform
