#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "camera/UsbConnector.h"
#include "camera/UsbTransport.h"

// A camera whose replies are the fuzzer's bytes: for each request to the host, one byte picks
// a failure, a short reply or a full one, and the reply's bytes follow. Requests to the device
// always go through. When the bytes run out every request fails.
class FuzzedUsbTransport : public corvane::UsbTransport {
 public:
  FuzzedUsbTransport(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  int controlTransfer(uint8_t requestType, uint8_t, uint16_t, uint16_t, uint8_t* buffer,
                      uint16_t length, unsigned) override {
    if (!isDeviceToHost(requestType)) return length;
    if (at_ >= size_) return corvane::kUsbErrorIo;
    uint8_t choice = data_[at_++];
    if (choice % 16 == 0) return corvane::kUsbErrorPipe;
    size_t wanted = choice % 16 == 1 ? size_t(choice / 16) : size_t(length);
    size_t n = std::min({wanted, size_t(length), size_ - at_});
    std::memcpy(buffer, data_ + at_, n);
    at_ += n;
    return int(n);
  }
  std::string description() const override { return "fuzzed replies"; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

class FuzzedUsbConnector : public corvane::UsbConnector {
 public:
  explicit FuzzedUsbConnector(std::shared_ptr<corvane::UsbTransport> transport)
      : transport_(std::move(transport)) {}
  corvane::UsbOpenResult open(uint16_t, uint16_t) override { return {0, transport_}; }

 private:
  std::shared_ptr<corvane::UsbTransport> transport_;
};
