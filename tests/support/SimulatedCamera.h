#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "camera/UsbConnector.h"
#include "camera/UsbTransport.h"

namespace testsupport {

// A model of the camera's control side behind the USB transport seam. It answers the UVC
// processing-unit requests and the vendor extension-unit requests with the camera's own byte
// layouts, stalls what the camera would stall (unknown selectors, wrong lengths, values out of
// range, requests its API level does not have), records every request, and fails on demand.
class SimulatedCamera : public corvane::UsbTransport,
                        public std::enable_shared_from_this<SimulatedCamera> {
 public:
  struct Request {
    uint8_t requestType = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;
    std::vector<uint8_t> sent;  // the bytes of a host-to-device request
    unsigned timeoutMs = 0;
  };

  enum class Failure { timeout, shortReply, stall };

  // A processing-unit control: signed range and current value.
  struct Control {
    int16_t min = 0;
    int16_t max = 0;
    int16_t cur = 0;
  };

  // What the camera confirms for a capture size.
  struct Mode {
    uint16_t hfov = 0;
    uint16_t vfov = 0;
    uint16_t max_hfov = 0;
    uint16_t max_vfov = 0;
    uint16_t projection = 0;
  };

  static constexpr uint16_t kVendorId = 0x2e8b;
  static constexpr uint16_t kProductId = 0x0402;

  SimulatedCamera();

  // The connector that finds this camera while it is plugged in; `openCode` overrides the
  // search's result code (1: the USB layer cannot start, 2: no device list).
  std::shared_ptr<corvane::UsbConnector> connector(uint16_t vendorId = kVendorId,
                                                   uint16_t productId = kProductId);

  int controlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                      uint8_t* data, uint16_t length, unsigned timeoutMs) override;
  std::string description() const override { return "simulated camera"; }

  // ---- the camera's state; set before the requests run ----
  void setApiLevel(uint16_t level);
  // The information block's firmware text (26 bytes at most; longer texts fill the block with
  // no zero byte).
  void setFirmwareText(const std::string& text);
  void setInfoBlock(const std::array<uint8_t, 28>& block);
  void setXuid(const std::string& text);  // 32 bytes at most, as for the firmware text
  void setCustomerVersion(const std::string& text);
  void setControl(uint8_t selector, Control control);
  Control control(uint8_t selector) const;
  void addMode(uint16_t width, uint16_t height, Mode mode);
  std::array<uint16_t, 7> formatBlock() const;  // width, height, hfov, vfov, max_h, max_v, proj
  void setDoaBlock(const std::array<uint8_t, 12>& block);
  // The voice-direction block in the camera's layout: type code, voice flag, angle (degrees).
  static std::array<uint8_t, 12> doaBlock(int32_t type, bool voice, int32_t angle);
  uint16_t verticalFov() const;
  // Replies of the text channel by command; commands not listed get `defaultReply`.
  void setCommandReply(const std::string& command, const std::string& reply);
  // What the updater asks of a camera at its start: this firmware text, this chip id (the
  // reply to its memory read) and no safe mode.
  void answerAsTheUpdatersCamera(const std::string& firmware, const std::string& chipId);
  // A reply frame given byte for byte (for over-long or malformed replies).
  void setRawCommandReply(const std::array<uint8_t, 61>& frame);
  // Status blocks read in turn; the last one stays.
  void queueStatus(uint8_t code, uint8_t second);
  std::vector<uint8_t> updateModes() const;  // the bytes written to the update selector
  int rebootCount() const;

  // ---- failures ----
  // The next `times` requests to the unit (wIndex) and selector fail in this way.
  void failNext(Failure failure, uint16_t index, uint8_t selector, int times = 1);
  // Every request fails in this way until cleared.
  void failAll(std::optional<Failure> failure);
  // Every request to the unit and selector fails in this way until cleared; the rest answer.
  void failSelector(std::optional<Failure> failure, uint16_t index, uint8_t selector);
  void unplug();
  void plugIn();
  bool pluggedIn() const;

  // ---- what was asked ----
  std::vector<Request> requests() const;
  void clearRequests();
  int openCount() const;
  void setOpenCode(int code);

 private:
  int answer(const Request& r, uint8_t* data);
  int processingUnit(const Request& r, uint8_t* data);
  int unit3(const Request& r, uint8_t* data);
  int unit4(const Request& r, uint8_t* data);
  static void putText(uint8_t* block, size_t size, const std::string& text);

  class Connector;
  mutable std::mutex mutex_;
  bool plugged_ = true;
  int openCode_ = 0;
  int opens_ = 0;
  std::vector<Request> requests_;
  std::optional<Failure> failAll_;
  struct PendingFailure {
    Failure failure;
    uint16_t index;
    uint8_t selector;
    int times;
  };
  std::vector<PendingFailure> failures_;
  std::map<std::pair<uint16_t, uint8_t>, Failure> selectorFailures_;

  std::array<uint8_t, 28> info_{};
  std::array<uint8_t, 32> xuid_{};
  std::array<uint8_t, 32> customerVersion_{};
  std::map<uint8_t, Control> controls_;
  std::map<std::pair<uint16_t, uint16_t>, Mode> modes_;
  std::array<uint16_t, 7> format_{};
  std::array<uint8_t, 12> doa_{};
  uint16_t verticalFov_ = 0;
  std::map<std::string, std::string> replies_;
  std::array<uint8_t, 61> reply_{};
  std::optional<std::array<uint8_t, 61>> rawReply_;
  std::deque<std::array<uint8_t, 2>> statuses_;
  std::array<uint8_t, 60> status_{};
  std::vector<uint8_t> updateModes_;
  int reboots_ = 0;
};

}  // namespace testsupport
