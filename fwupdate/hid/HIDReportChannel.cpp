#include "hid/HIDReportChannel.h"

#include "QD4718Log.h"

namespace qd4718 {

HIDReportChannel::HIDReportChannel(std::unique_ptr<HidConnection> connection,
                                   platform::Queue& queue, size_t reportSize,
                                   ReportHandler onReport)
    : connection_(std::move(connection)),
      queue_(queue),
      reportSize_(reportSize),
      onReport_(std::move(onReport)) {}

bool HIDReportChannel::submit(const std::vector<uint8_t>& report) {
  {
    std::lock_guard lock(mutex_);
    if (!connection_) return false;
    std::vector<uint8_t> stale;
    // A bounded drain: a device that streams reports must not hold the queue forever.
    for (int i = 0; i < 16 && connection_->readInputReport(stale, reportSize_, 0) > 0; ++i) {
      QD4718_LOG_WARNING("Dropped a reply that came after its time-out");
    }
    if (!connection_->writeOutputReport(report)) {
      QD4718_LOG_ERROR("HID output report was not sent");
      return false;
    }
  }
  std::weak_ptr<HIDReportChannel> weak = weak_from_this();
  queue_.async([weak] {
    if (auto self = weak.lock()) self->readReply();
  });
  return true;
}

void HIDReportChannel::readReply() {
  std::vector<uint8_t> report;
  {
    std::lock_guard lock(mutex_);
    if (!connection_) return;
    int n = connection_->readInputReport(report, reportSize_, kReplyTimeoutMs);
    if (n < 0) {
      QD4718_LOG_WARNING("HID device did not answer: it is gone");
      return;
    }
    if (n == 0) return;  // no reply in time; the update flow's retries take over
  }
  if (onReport_) onReport_(report);
}

void HIDReportChannel::close() {
  std::lock_guard lock(mutex_);
  connection_.reset();
}

bool HIDReportChannel::isOpen() const {
  std::lock_guard lock(mutex_);
  return connection_ != nullptr;
}

}  // namespace qd4718
