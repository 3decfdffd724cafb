#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "camera/USBManager.h"

namespace updater {

// The updater's path to the camera: the suite's camera-control side plus what an update needs,
// the camera's safe mode and update progress as text commands and the reboot request.
//
// Threads: getInfo, checkSafeMode, getProgress and reboot run on the caller's thread and
// complete there; the progress loop polls on the request queue and delivers on the completion
// queue. Text commands share one request frame and never overlap.
class USBManager : public corvane::USBManager {
 public:
  using ProgressCompletion = std::function<void(int64_t status, int32_t progress)>;

  // A parsed progress reply: 4 running, 5 done, 6 failed.
  struct Progress {
    int64_t status = 4;
    int32_t progress = 0;
  };

  static USBManager& shared();
  using corvane::USBManager::USBManager;

  // The information, identity texts and chip id, then the safe mode.
  void getInfo();
  bool checkSafeMode();
  // The block is not called when a transfer failed.
  void getProgress(const ProgressCompletion& complete);
  // Polls until a reply says 5 or 6 (that one is still delivered), each delivery a second
  // after its poll. A failed poll is retried a second later; the loop ends, delivering
  // nothing more, once the camera is no longer open.
  void startCheckProgressLoop(ProgressCompletion complete);
  // One byte 2 to the information control; the block at once with the transfer's success.
  void reboot(const BoolCompletion& complete);

  // The capture device's name, set by the flow once the camera is open.
  std::string deviceName() const;
  void setDeviceName(std::string name);

  bool isSafeMode() const { return isSafeMode_.load(); }
  void setIsSafeMode(bool safeMode) { isSafeMode_.store(safeMode); }

  // True unless the reply's first line is exactly "0".
  static bool parseSafeMode(const std::string& reply);
  static Progress parseProgress(const std::string& reply);
  // The leading decimal integer of a text, after blanks, with its sign; 0 when there is none.
  static int64_t integerValue(const std::string& text);

 private:
  std::atomic<bool> isSafeMode_{false};
  mutable std::mutex nameMutex_;
  std::string deviceName_;
};

}  // namespace updater
