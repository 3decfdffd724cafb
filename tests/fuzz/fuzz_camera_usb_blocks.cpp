// The camera's USB control blocks as the program reads them: information and identity blocks,
// capture formats, projection, picture-control ranges, text-command replies, voice direction
// and update status. Whatever the camera answers, the readers stay inside their blocks and
// hand on only what the blocks allow.
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzedUsbTransport.h"
#include "InlineQueue.h"
#include "camera/USBManager.h"
#include "camera/UsbText.h"

using corvane::USBManager;
using corvane::UsbText;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The text helpers straight on the bytes.
  FUZZ_CHECK(UsbText::raw(data, size).size() <= size);
  std::string utf8 = UsbText::utf8(data, size);
  FUZZ_CHECK(utf8.empty() || UsbText::isValidUtf8(utf8));
  std::string reply = UsbText::commandReply(data, size);
  FUZZ_CHECK(reply.find('\n') == std::string::npos);
  // One pass takes every "0x" out; what the removal joins ("00xx" gives "0x") stays.
  FUZZ_CHECK(reply.size() <= size);

  InlineQueue queue;
  auto transport = std::make_shared<FuzzedUsbTransport>(data, size);
  USBManager usb(std::make_shared<FuzzedUsbConnector>(transport), &queue, &queue);
  if (usb.openUSBFromVID(0x2bd9, 0x0011) != 0 || !usb.isConnect()) return 0;
  usb.getInfo();
  FUZZ_CHECK(usb.firmwareVersion().empty() || UsbText::isValidUtf8(usb.firmwareVersion()));
  usb.getCameraFormat(
      {{"MJPG", 3840, 1080, "MJPG 3840x1080 @30"}, {"MJPG", 1920, 540, "MJPG 1920x540 @30"}},
      [](corvane::CameraFormat, std::optional<corvane::CaptureFormatInfo>) {});
  usb.getProjectionInfo([](int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {});
  auto range = [](double cur, double lo, double hi) {
    FUZZ_CHECK(!std::isnan(cur) && !std::isnan(lo) && !std::isnan(hi));
  };
  usb.getBrightness(range);
  usb.getFlicker(range);
  usb.getContrast(range);
  usb.getSaturation(range);
  usb.getSharpness(range);
  usb.getGamma(range);
  usb.setResolution(3840, 1080);
  usb.getXuid();
  usb.getCustomerVersion();
  usb.getChipId();
  usb.cmd("ast_param g camera:safe:mode", [](const std::string& text) {
    FUZZ_CHECK(text.size() <= USBManager::kCommandFrameSize);
  });
  usb.getDoaFormat([](corvane::DoaFormat) {});
  usb.checkStatus([](uint8_t, uint8_t) {});
  return 0;
}
