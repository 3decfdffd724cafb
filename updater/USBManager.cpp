#include "USBManager.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "camera/UsbText.h"
#include "camera/UvcV4l2Connector.h"
#include "log/LogManager.h"

namespace updater {

namespace {

constexpr uint16_t kInfoControl = 0x0100;

void printLine(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

std::string replyText(const uint8_t* reply) {
  return corvane::UsbText::raw(reply + 1, corvane::USBManager::kCommandFrameSize - 1);
}

std::string frameLine(const char* label, const uint8_t* reply) {
  return std::string(label) + " (len: " + std::to_string(int(int8_t(reply[0]))) +
         " buf: " + replyText(reply) + ")";
}

}  // namespace

USBManager& USBManager::shared() {
  // Made once and never destroyed: requests may still run on the global queue at exit.
  static USBManager* instance = new USBManager(std::make_shared<corvane::UvcV4l2Connector>());
  return *instance;
}

std::string USBManager::deviceName() const {
  std::lock_guard lock(nameMutex_);
  return deviceName_;
}

void USBManager::setDeviceName(std::string name) {
  std::lock_guard lock(nameMutex_);
  deviceName_ = std::move(name);
}

void USBManager::getInfo() {
  corvane::USBManager::getInfo();
  checkSafeMode();
}

int64_t USBManager::integerValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    // Saturate rather than overflow on an absurdly long number.
    if (value > (INT64_MAX - 9) / 10) return negative ? INT64_MIN : INT64_MAX;
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

bool USBManager::parseSafeMode(const std::string& reply) {
  size_t end = reply.find_first_of("\r\n");
  return reply.substr(0, end) != "0";
}

USBManager::Progress USBManager::parseProgress(const std::string& reply) {
  auto clamp32 = [](int64_t v) {
    return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v)));
  };
  Progress result;
  std::vector<std::string> parts = split(reply, '-');
  if (parts.size() == 3) {
    const std::string& middle = parts[1];
    if (middle == "[update PASS]") {
      result.status = 5;
    } else if (middle == "[reset fail]" || middle == "[update scpu fail]" ||
               middle == "[update ncpu fail]" || middle == "[update model fail]") {
      result.status = 6;
    } else {
      result.status = 4;
    }
    result.progress = clamp32(integerValue(parts[2]));
    return result;
  }
  std::string text = reply;
  const std::string tag = "[reply]";
  for (size_t at; (at = text.find(tag)) != std::string::npos;) text.erase(at, tag.size());
  result.progress = clamp32(integerValue(text));
  result.status = result.progress < 100 ? 4 : 5;
  return result;
}

bool USBManager::checkSafeMode() {
  setIsSafeMode(false);
  uint8_t reply[kCommandFrameSize];
  if (!textCommand("ast_param g camera:safe:mode", reply)) return false;
  printLine(frameLine("[USBManager]Check safe mode", reply));
  bool safeMode = parseSafeMode(replyText(reply));
  setIsSafeMode(safeMode);
  CV_LOG_INFO(std::string("[USBManager]SafeMode = ") + (safeMode ? "1" : "0"));
  return safeMode;
}

void USBManager::getProgress(const ProgressCompletion& complete) {
  uint8_t reply[kCommandFrameSize];
  if (!textCommand("ipc q @kl_server kl_status_get", reply)) return;
  printLine(frameLine("[USBManager]Get progress", reply));
  Progress progress = parseProgress(replyText(reply));
  if (complete) complete(progress.status, progress.progress);
}

void USBManager::startCheckProgressLoop(ProgressCompletion complete) {
  runAsync([this, complete = std::move(complete)] {
    for (;;) {
      if (!isConnect()) return;
      bool delivered = false, finished = false, stopping = false;
      getProgress([&](int64_t status, int32_t progress) {
        delivered = true;
        printLine("[USBManager]Check progress (status: " + std::to_string(status) +
                  " progress: " + std::to_string(progress) + ")");
        finished = status == 5 || status == 6;
        if (!pause(std::chrono::seconds(1))) {
          stopping = true;
          return;
        }
        this->complete([complete, status, progress] {
          if (complete) complete(status, progress);
        });
      });
      if (stopping || finished) return;
      // A failed poll: try again a second later rather than spin on a camera that is gone.
      if (!delivered && !pause(std::chrono::seconds(1))) return;
    }
  });
}

void USBManager::reboot(const BoolCompletion& complete) {
  uint8_t value = 2;
  bool ok = controlXUWarp(kHostToDevice, kInfoControl, &value, 1);
  if (complete) complete(ok);
}

}  // namespace updater
