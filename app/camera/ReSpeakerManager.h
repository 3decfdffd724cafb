#pragma once

#include <libusb.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "camera/UsbConnector.h"
#include "camera/UsbTransport.h"

namespace corvane {

// Reads voice activity and its direction from a ReSpeaker USB microphone array through vendor
// requests to the device (which usbfs lets through while the audio driver holds the device).
// Reads run on the caller's thread; the voice-direction polling calls them one poll at a time.
class ReSpeakerManager {
 public:
  static constexpr uint16_t kVendorId = 0x2886;
  static constexpr uint16_t kProductId = 0x0018;
  static constexpr unsigned kTimeoutMs = 100000;

  using DoaCompletion = std::function<void(int32_t voice, int32_t angle)>;
  // The same values and, when a read failed (its value then reads as 0), why.
  using DoaReadCompletion =
      std::function<void(int32_t voice, int32_t angle, const std::string& failure)>;

  static ReSpeakerManager& shared();
  explicit ReSpeakerManager(std::shared_ptr<UsbConnector> connector);

  // Opens the array; true when it was found and a handle is held.
  bool checkRespeaker();
  // 0: the device list was read; 1: libusb could not be started; 2: no device list.
  int openUSBFromVID(uint16_t vendorId, uint16_t productId);
  static libusb_device_handle* findDeviceHandle(libusb_device** list, uint16_t vendorId,
                                                uint16_t productId);

  // 0 when the read fails; `failure`, when given, then gets why.
  int32_t getVoice(std::string* failure = nullptr);
  int32_t getDoaAngle(std::string* failure = nullptr);
  void getDoaAngleFormat(const DoaCompletion& complete);
  void readDoaAngleFormat(const DoaReadCompletion& complete);
  // Lets go of the array and of the USB library.
  void disconnected();

  std::shared_ptr<UsbTransport> respeaker_device() const;
  uint64_t status() const;

  // A reply's value: byte 0, plus 256 when byte 1 is 1.
  static int32_t decode(const uint8_t* reply);

 private:
  int32_t read(uint16_t value, uint16_t index, std::string* failure);

  std::shared_ptr<UsbConnector> connector_;
  mutable std::mutex mutex_;
  std::shared_ptr<UsbTransport> respeaker_device_;
  uint64_t status_ = 2;
};

}  // namespace corvane
