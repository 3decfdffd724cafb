#include "camera/UvcV4l2Transport.h"

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

namespace corvane {

namespace {

int64_t decodeSigned(const uint8_t* data, uint16_t length) {
  uint64_t raw = 0;
  for (uint16_t i = 0; i < length; ++i) raw |= uint64_t(data[i]) << (8 * i);
  if (length < 8 && (data[length - 1] & 0x80)) raw |= ~uint64_t(0) << (8 * length);
  return int64_t(raw);
}

void encodeSigned(int64_t value, uint8_t* data, uint16_t length) {
  uint64_t raw = uint64_t(value);
  for (uint16_t i = 0; i < length; ++i) data[i] = uint8_t(raw >> (8 * i));
}

}  // namespace

UvcV4l2Transport::UvcV4l2Transport(std::unique_ptr<V4l2Ioctl> node) : node_(std::move(node)) {}

std::string UvcV4l2Transport::description() const {
  return "uvcvideo " + (node_ ? node_->path() : std::string("(none)"));
}

int UvcV4l2Transport::resultFromErrno(int negatedErrno) {
  switch (-negatedErrno) {
    case 0:
      return kUsbSuccess;
    case ETIMEDOUT:
      return kUsbErrorTimeout;
    case EPIPE:
      return kUsbErrorPipe;
    case ENODEV:
    case ENXIO:
      return kUsbErrorNoDevice;
    case ENOENT:
      return kUsbErrorNotFound;
    case EINVAL:
    case ERANGE:
      return kUsbErrorInvalidParam;
    case EACCES:
    case EPERM:
      return kUsbErrorAccess;
    case EBUSY:
      return kUsbErrorBusy;
    case EIO:
    case EPROTO:
    case EILSEQ:
      return kUsbErrorIo;
    case ENOBUFS:
    case EOVERFLOW:
      return kUsbErrorOverflow;
    case ENOMEM:
      return kUsbErrorNoMem;
    case EINTR:
      return kUsbErrorInterrupted;
    case ENOTTY:
    case EOPNOTSUPP:
    case EBADRQC:  // the control does not take this request
      return kUsbErrorNotSupported;
    default:
      return kUsbErrorOther;
  }
}

uint32_t UvcV4l2Transport::controlIdForSelector(uint8_t selector) {
  switch (selector) {
    case 0x02:
      return V4L2_CID_BRIGHTNESS;
    case 0x03:
      return V4L2_CID_CONTRAST;
    case 0x05:
      return V4L2_CID_POWER_LINE_FREQUENCY;
    case 0x07:
      return V4L2_CID_SATURATION;
    case 0x08:
      return V4L2_CID_SHARPNESS;
    case 0x09:
      return V4L2_CID_GAMMA;
    default:
      return 0;
  }
}

int UvcV4l2Transport::controlTransfer(uint8_t requestType, uint8_t request, uint16_t value,
                                      uint16_t index, uint8_t* data, uint16_t length,
                                      unsigned /*timeoutMs*/) {
  // Only class requests to an interface reach the driver's units.
  bool in = isDeviceToHost(requestType);
  if ((requestType & 0x7F) != (kUsbClassInterfaceOut & 0x7F)) return kUsbErrorNotSupported;
  if (in != (request != kUvcSetCur)) return kUsbErrorInvalidParam;
  if (length > 0 && !data) return kUsbErrorInvalidParam;
  std::lock_guard lock(mutex_);
  if (!node_) return kUsbErrorNoDevice;
  uint8_t unit = uint8_t(index >> 8);
  uint8_t selector = uint8_t(value >> 8);
  if (unit == kProcessingUnit) return processingUnitRequest(request, selector, data, length);
  return extensionUnitRequest(request, unit, selector, data, length);
}

int UvcV4l2Transport::processingUnitRequest(uint8_t request, uint8_t selector, uint8_t* data,
                                            uint16_t length) {
  uint32_t id = controlIdForSelector(selector);
  if (id == 0) return kUsbErrorNotSupported;
  if (length == 0 || length > 8) return kUsbErrorInvalidParam;

  int64_t result = 0;
  switch (request) {
    case kUvcGetMin:
    case kUvcGetMax:
    case kUvcGetRes:
    case kUvcGetDef: {
      v4l2_queryctrl query{};
      query.id = id;
      int rc = node_->ioctl(VIDIOC_QUERYCTRL, &query);
      if (rc < 0) return resultFromErrno(rc);
      if (query.flags & V4L2_CTRL_FLAG_DISABLED) return kUsbErrorNotSupported;
      result = request == kUvcGetMin   ? query.minimum
               : request == kUvcGetMax ? query.maximum
               : request == kUvcGetRes ? query.step
                                       : query.default_value;
      break;
    }
    case kUvcGetCur: {
      v4l2_control control{};
      control.id = id;
      int rc = node_->ioctl(VIDIOC_G_CTRL, &control);
      if (rc < 0) return resultFromErrno(rc);
      result = control.value;
      break;
    }
    case kUvcSetCur: {
      // The request may carry the value wider than the control (the power-line frequency comes
      // as 8 bytes); V4L2 writes it with the control's own size, so only the value matters.
      int64_t wanted = decodeSigned(data, length);
      if (wanted < std::numeric_limits<int32_t>::min() ||
          wanted > std::numeric_limits<int32_t>::max())
        return kUsbErrorInvalidParam;
      v4l2_control control{};
      control.id = id;
      control.value = int32_t(wanted);
      int rc = node_->ioctl(VIDIOC_S_CTRL, &control);
      if (rc < 0) return resultFromErrno(rc);
      return length;
    }
    default:
      return kUsbErrorNotSupported;
  }
  encodeSigned(result, data, length);
  return length;
}

int UvcV4l2Transport::xuQuery(uint8_t unit, uint8_t selector, uint8_t query, uint8_t* data,
                              uint16_t size) {
  uvc_xu_control_query q{};
  q.unit = unit;
  q.selector = selector;
  q.query = query;
  q.size = size;
  q.data = data;
  return resultFromErrno(node_->ioctl(UVCIOC_CTRL_QUERY, &q));
}

int UvcV4l2Transport::controlLength(uint8_t unit, uint8_t selector) {
  uint16_t key = uint16_t(unit << 8 | selector);
  auto it = lengths_.find(key);
  if (it != lengths_.end()) return it->second;
  uint8_t reply[2] = {0, 0};
  int rc = xuQuery(unit, selector, UVC_GET_LEN, reply, 2);
  if (rc < 0) return rc;
  int length = reply[0] | reply[1] << 8;
  if (length == 0) return kUsbErrorIo;
  lengths_[key] = length;
  return length;
}

int UvcV4l2Transport::extensionUnitRequest(uint8_t request, uint8_t unit, uint8_t selector,
                                           uint8_t* data, uint16_t length) {
  // GET_LEN and GET_INFO have fixed sizes of their own.
  if (request == kUvcGetLen || request == kUvcGetInfo) {
    if (length != (request == kUvcGetLen ? 2 : 1)) return kUsbErrorInvalidParam;
    int rc = xuQuery(unit, selector, request, data, length);
    return rc < 0 ? rc : length;
  }
  int own = controlLength(unit, selector);
  if (own < 0) return own;
  if (own == length) {
    int rc = xuQuery(unit, selector, request, data, length);
    return rc < 0 ? rc : length;
  }
  std::vector<uint8_t> frame(size_t(own), 0);
  size_t common = std::min<size_t>(size_t(own), length);
  if (request == kUvcSetCur) {
    for (size_t i = common; i < length; ++i)
      if (data[i] != 0) return kUsbErrorOverflow;
    std::memcpy(frame.data(), data, common);
    int rc = xuQuery(unit, selector, request, frame.data(), uint16_t(own));
    return rc < 0 ? rc : length;
  }
  int rc = xuQuery(unit, selector, request, frame.data(), uint16_t(own));
  if (rc < 0) return rc;
  std::memcpy(data, frame.data(), common);
  return int(common);
}

}  // namespace corvane
