// The updater's replies from the camera: the safe-mode and progress texts, and the same read
// through the updater's USB side with the camera's reply blocks made of the fuzzer's bytes.
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzCheck.h"
#include "FuzzedUsbTransport.h"
#include "InlineQueue.h"
#include "USBManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  updater::USBManager::parseSafeMode(text);
  updater::USBManager::Progress progress = updater::USBManager::parseProgress(text);
  (void)progress;
  updater::USBManager::integerValue(text);

  InlineQueue queue;
  auto transport = std::make_shared<FuzzedUsbTransport>(data, size);
  updater::USBManager usb(std::make_shared<FuzzedUsbConnector>(transport), &queue, &queue);
  if (usb.openUSBFromVID(0x2bd9, 0x0011) != 0 || !usb.isConnect()) return 0;
  usb.getInfo();
  usb.checkSafeMode();
  usb.getProgress([](int64_t, int32_t) {});
  usb.reboot([](bool) {});
  return 0;
}
