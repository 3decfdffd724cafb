#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "dispatch/Queue.h"
#include "hid/HidConnection.h"

namespace qd4718 {

// The report path of one open device. The device answers each command with one input report,
// so after every output report the channel reads that reply, on the driver's queue, and hands
// it on. Reports left over from an earlier command are dropped before a new one goes out, so a
// late reply is never taken for the answer to the next command.
class HIDReportChannel : public std::enable_shared_from_this<HIDReportChannel> {
 public:
  using ReportHandler = std::function<void(const std::vector<uint8_t>&)>;
  static constexpr int kReplyTimeoutMs = 500;

  HIDReportChannel(std::unique_ptr<HidConnection> connection, platform::Queue& queue,
                   size_t reportSize, ReportHandler onReport);

  // Sends one output report and queues the read of its reply; false when it did not go out.
  bool submit(const std::vector<uint8_t>& report);
  // Closes the node; later submits fail and a queued reply read does nothing.
  void close();
  bool isOpen() const;

 private:
  void readReply();

  mutable std::mutex mutex_;
  std::unique_ptr<HidConnection> connection_;
  platform::Queue& queue_;
  size_t reportSize_;
  ReportHandler onReport_;
};

}  // namespace qd4718
