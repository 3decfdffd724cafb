#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// Results of a control request, negative on failure, with libusb's numbering so that every
// backend reports the same codes.
enum UsbResult : int {
  kUsbSuccess = 0,
  kUsbErrorIo = -1,
  kUsbErrorInvalidParam = -2,
  kUsbErrorAccess = -3,
  kUsbErrorNoDevice = -4,
  kUsbErrorNotFound = -5,
  kUsbErrorBusy = -6,
  kUsbErrorTimeout = -7,
  kUsbErrorOverflow = -8,
  kUsbErrorPipe = -9,  // the device stalled the request
  kUsbErrorInterrupted = -10,
  kUsbErrorNoMem = -11,
  kUsbErrorNotSupported = -12,
  kUsbErrorOther = -99,
};

// Request codes of the USB video class.
enum UvcRequest : uint8_t {
  kUvcSetCur = 0x01,
  kUvcGetCur = 0x81,
  kUvcGetMin = 0x82,
  kUvcGetMax = 0x83,
  kUvcGetRes = 0x84,
  kUvcGetLen = 0x85,
  kUvcGetInfo = 0x86,
  kUvcGetDef = 0x87,
};

// bmRequestType values used with the camera and the microphone array.
enum UsbRequestType : uint8_t {
  kUsbClassInterfaceOut = 0x21,
  kUsbClassInterfaceIn = 0xA1,
  kUsbVendorDeviceIn = 0xC0,
};

// One opened USB device as far as control requests go. Implementations carry the requests
// to the device however the platform lets them through (usbfs, the video driver, a model in
// the tests); callers above see the same request, the same bytes and the same result codes.
class UsbTransport {
 public:
  virtual ~UsbTransport() = default;

  // A control request on the default endpoint. `data` holds `length` bytes to send (host to
  // device, bit 7 of requestType clear) or receives up to `length` bytes. Returns the number of
  // bytes moved, or a negative UsbResult.
  virtual int controlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                              uint8_t* data, uint16_t length, unsigned timeoutMs) = 0;

  // What carries the requests, for log lines ("libusb", "uvcvideo /dev/video0", ...).
  virtual std::string description() const = 0;

  static bool isDeviceToHost(uint8_t requestType) { return (requestType & 0x80) != 0; }
  static const char* resultName(int result) {
    switch (result) {
      case kUsbErrorIo:
        return "I/O error";
      case kUsbErrorInvalidParam:
        return "invalid parameter";
      case kUsbErrorAccess:
        return "access denied";
      case kUsbErrorNoDevice:
        return "no device";
      case kUsbErrorNotFound:
        return "not found";
      case kUsbErrorBusy:
        return "busy";
      case kUsbErrorTimeout:
        return "timed out";
      case kUsbErrorOverflow:
        return "overflow";
      case kUsbErrorPipe:
        return "stalled";
      case kUsbErrorInterrupted:
        return "interrupted";
      case kUsbErrorNoMem:
        return "out of memory";
      case kUsbErrorNotSupported:
        return "not supported";
      default:
        return result >= 0 ? "success" : "other error";
    }
  }
};

}  // namespace corvane
