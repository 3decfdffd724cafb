// Runs the camera's control requests against a plugged-in camera and prints what comes back.
//
//   corvane-camera-usb-check <vendor id> <product id> [--libusb] [--write] [--cmd TEXT]
//   corvane-camera-usb-check --respeaker
//
// Ids are hexadecimal ("2e8b"). By default the requests go through the camera's V4L2 node
// (libusb when no driver holds it); --libusb forces libusb. --write sets each picture control
// to the value it already has. Nothing here changes the capture format or starts an update.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "camera/LibusbConnector.h"
#include "camera/ReSpeakerManager.h"
#include "camera/USBManager.h"
#include "camera/UvcV4l2Connector.h"
#include "dispatch/MainQueue.h"

using namespace corvane;

namespace {

// Runs the main queue until `done` or two seconds passed.
void waitFor(const bool& done) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!done && std::chrono::steady_clock::now() < until) {
    platform::MainQueue::shared().drain();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  platform::MainQueue::shared().drain();
}

int checkRespeaker() {
  ReSpeakerManager& array = ReSpeakerManager::shared();
  if (!array.checkRespeaker()) {
    std::printf("No microphone array (open result %llu)\n",
                static_cast<unsigned long long>(array.status()));
    return 1;
  }
  for (int i = 0; i < 5; ++i) {
    array.getDoaAngleFormat(
        [](int32_t voice, int32_t angle) { std::printf("voice %d angle %d\n", voice, angle); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--respeaker") == 0) return checkRespeaker();
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: %s <vendor id> <product id> [--libusb] [--write] [--cmd TEXT]\n"
                 "       %s --respeaker\n",
                 argv[0], argv[0]);
    return 2;
  }
  auto vid = uint16_t(std::strtoul(argv[1], nullptr, 16));
  auto pid = uint16_t(std::strtoul(argv[2], nullptr, 16));
  bool useLibusb = false, write = false;
  std::string command;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--libusb") == 0)
      useLibusb = true;
    else if (std::strcmp(argv[i], "--write") == 0)
      write = true;
    else if (std::strcmp(argv[i], "--cmd") == 0 && i + 1 < argc)
      command = argv[++i];
  }

  std::shared_ptr<UsbConnector> connector;
  if (useLibusb)
    connector = std::make_shared<LibusbConnector>();
  else
    connector = std::make_shared<UvcV4l2Connector>();
  USBManager usb(connector);
  int code = usb.openUSBFromVID(vid, pid);
  std::printf("open: result %d, connected %s\n", code, usb.isConnect() ? "yes" : "no");
  if (!usb.isConnect()) return 1;
  std::printf("through: %s\n", usb.camera_device()->description().c_str());

  usb.getInfo();
  std::printf("api level %lld\nfirmware \"%s\"\nxuid \"%s\"\nchip id \"%s\"\n",
              static_cast<long long>(usb.api_version()), usb.firmwareVersion().c_str(),
              usb.machineId().c_str(), usb.chipId().c_str());

  using Getter = void (USBManager::*)(const USBManager::ValuesCompletion&);
  const struct {
    const char* name;
    Getter get;
  } controls[] = {
      {"brightness", &USBManager::getBrightness}, {"flicker", &USBManager::getFlicker},
      {"contrast", &USBManager::getContrast},     {"saturation", &USBManager::getSaturation},
      {"sharpness", &USBManager::getSharpness},   {"gamma", &USBManager::getGamma}};
  for (const auto& c : controls) {
    (usb.*c.get)([&](double cur, double min, double max) {
      std::printf("%-10s cur %g min %g max %g\n", c.name, cur, min, max);
    });
  }

  usb.getProjectionInfo(
      [](int32_t type, int32_t maxH, int32_t maxV, int32_t h, int32_t v, int32_t w, int32_t ht) {
        std::printf("projection %d max %dx%d fov %dx%d size %dx%d (last format block)\n", type,
                    maxH, maxV, h, v, w, ht);
      });

  bool done = false;
  usb.getDoaFormat([&](DoaFormat d) {
    std::printf("doa type %d voice %d angle %d\n", d.type, d.voice ? 1 : 0, d.angle);
    done = true;
  });
  waitFor(done);

  if (!command.empty()) {
    usb.cmd(command,
            [](const std::string& reply) { std::printf("reply \"%s\"\n", reply.c_str()); });
  }

  if (write) {
    using Setter = void (USBManager::*)(double, USBManager::BoolCompletion);
    const struct {
      const char* name;
      Setter set;
      double min, max, cur;
    } writes[] = {
        {"brightness", &USBManager::setBrightness, usb.brightness_min(), usb.brightness_max(),
         usb.brightness_cur()},
        {"contrast", &USBManager::setContrast, usb.contrast_min(), usb.contrast_max(),
         usb.contrast_cur()},
        {"saturation", &USBManager::setSaturation, usb.saturation_min(), usb.saturation_max(),
         usb.saturation_cur()},
        {"sharpness", &USBManager::setSharpness, usb.sharpness_min(), usb.sharpness_max(),
         usb.sharpness_cur()},
        {"gamma", &USBManager::setGamma, usb.gamma_min(), usb.gamma_max(), usb.gamma_cur()},
    };
    for (const auto& w : writes) {
      double fraction = w.max > w.min ? (w.cur - w.min) / (w.max - w.min) : 0;
      bool written = false;
      (usb.*w.set)(fraction, [&](bool ok) {
        std::printf("set %-10s %s\n", w.name, ok ? "ok" : "failed");
        written = true;
      });
      waitFor(written);
    }
    bool written = false;
    usb.setFlicker(int64_t(usb.flicker_cur()), [&](bool ok) {
      std::printf("set flicker    %s\n", ok ? "ok" : "failed");
      written = true;
    });
    waitFor(written);
  }
  return 0;
}
