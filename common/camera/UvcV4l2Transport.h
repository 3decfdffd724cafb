#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "camera/UsbTransport.h"
#include "camera/V4l2Ioctl.h"

namespace corvane {

// Carries the camera's class requests through the uvcvideo driver, which owns the video-control
// interface (usbfs answers EBUSY to requests addressed to it):
// - extension units (wIndex high byte 3, 4, ...) through UVCIOC_CTRL_QUERY;
// - the processing unit (wIndex 0x0200) through VIDIOC_QUERYCTRL / G_CTRL / S_CTRL with the
//   standard control ids, GET_MIN/GET_MAX/GET_RES/GET_DEF from the control's description.
//
// The driver insists that an extension-unit request moves exactly the control's own length,
// which it learnt from GET_LEN. A selector used with two lengths (the format block at 14 or 8
// bytes, the update selector read as a 60-byte status and written as a 1-byte mode) can only
// reach the camera at the length it reports, so the transport asks GET_LEN once per selector and
// adapts: a shorter write is sent zero-padded to the control's length, a longer write only when
// the bytes beyond it are zero; a read takes the control's length and hands back the part asked
// for, which is a short reply when the control is shorter than the request.
//
// The driver applies its own control time-out; the requested one cannot be passed down.
class UvcV4l2Transport : public UsbTransport {
 public:
  static constexpr uint8_t kProcessingUnit = 2;

  explicit UvcV4l2Transport(std::unique_ptr<V4l2Ioctl> node);

  int controlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                      uint8_t* data, uint16_t length, unsigned timeoutMs) override;
  std::string description() const override;

  // A negated errno from the driver as the transport's result code.
  static int resultFromErrno(int negatedErrno);
  // The V4L2 control id of a processing-unit selector, or 0 when none is carried.
  static uint32_t controlIdForSelector(uint8_t selector);

 private:
  int processingUnitRequest(uint8_t request, uint8_t selector, uint8_t* data, uint16_t length);
  int extensionUnitRequest(uint8_t request, uint8_t unit, uint8_t selector, uint8_t* data,
                           uint16_t length);
  int xuQuery(uint8_t unit, uint8_t selector, uint8_t query, uint8_t* data, uint16_t size);
  // The control's own length (GET_LEN), asked once; negative on failure.
  int controlLength(uint8_t unit, uint8_t selector);

  std::mutex mutex_;  // one request at a time on the node, and the length cache
  std::unique_ptr<V4l2Ioctl> node_;
  std::map<uint16_t, int> lengths_;
};

}  // namespace corvane
