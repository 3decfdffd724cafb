#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "dispatch/Clock.h"
#include "dispatch/SerialQueue.h"
#include "ipc/LogRateLimiter.h"
#include "ipc/MachManagerDelegate.h"
#include "ipc/SharedFrameRing.h"
#include "video/PixelBuffer.h"

namespace platform {

// The main program's end of the link to the virtual camera's assistant: a Unix-domain socket
// in the runtime folder named after the assistant service. It connects on its own queue, when
// made, without blocking: a peer that listens but does not accept (its backlog full) is tried
// again a few times and then every kRetryInterval, never waited for on the main thread. It hands
// the assistant one end of a socket pair on which the assistant reports the stream state and
// resolution changes (read on a thread of its own), and sends every composed frame as a memfd.
// Without an assistant nothing is sent and the program goes on. The link's log lines are rate
// limited, so a flooding peer cannot flood the system log, which gets its failures only.
class MachManager {
 public:
  struct Environment {
    std::string socketPath;
    // Where the "[Kestova]" lines go: the link's failures to the system log (as warnings), its
    // running commentary (the assistant's stream state and size reports) to standard output.
    std::function<void(const std::string&)> systemLog;
    std::function<void(const std::string&)> standardOutput;
    // Times the connection retries and the log's rate limit; nullptr: the shared clock.
    Clock* clock = nullptr;
    // $XDG_RUNTIME_DIR (else /run/user/<uid>) / kAssistantServiceName; syslog, stdout.
    static Environment process();
  };

  static constexpr const char* kAssistantServiceName =
      "com.kestova.corvane-studio.KestovaCameraExtension.assistant";

  // A busy peer: tried again kConnectAttempts times kConnectBackoff apart, then every
  // kRetryInterval.
  static constexpr int kConnectAttempts = 5;
  static constexpr std::chrono::milliseconds kConnectBackoff{200};
  static constexpr std::chrono::seconds kRetryInterval{10};
  // The link writes at most kLogBurst lines every kLogInterval.
  static constexpr size_t kLogBurst = 20;
  static constexpr std::chrono::seconds kLogInterval{10};

  static MachManager& shared();
  // Starts connecting on the link's queue; returns at once.
  explicit MachManager(Environment environment);
  ~MachManager();
  MachManager(const MachManager&) = delete;
  MachManager& operator=(const MachManager&) = delete;

  // One composed frame, on the main thread. A memfd-backed frame goes as it is; another is copied
  // into the ring first. Sent on the link's queue; a full socket drops the frame.
  void sendPixelBuffer(const PixelBufferRef& pixelBuffer);

  void setDelegate(MachManagerDelegate* delegate);
  bool isStreaming() const { return isStreaming_; }
  // The assistant took the connection (the registration went out).
  bool hasAssistant() const { return assistant_ >= 0; }
  // Connection attempts made so far (each refused one waits for the next retry).
  int connectAttempts() const { return attempts_; }

  // The callbacks: from the assistant's messages, and from the sink's own reader count.
  void streamStateChanged(bool streaming);
  void resolutionChangedWithWidth(int32_t width, int32_t height);

  // Waits until the sends (and the connection attempt) queued so far have run.
  void drain();
  uint64_t framesSent() const { return sent_; }
  uint64_t framesDropped() const { return dropped_; }

 private:
  enum class Connect { done, busy, failed };
  // On the queue.
  void tryConnect();
  Connect connect();
  void scheduleRetry(Clock::Duration delay);
  void listen();
  void send(const PixelBufferRef& frame);
  void invalidate(int error);
  // A failure of the link, and a report of how it goes: both under the one rate limit.
  void warn(const std::string& line);
  void note(const std::string& line);

  Environment env_;
  Clock& clock_;
  LogRateLimiter logLimiter_;
  std::atomic<int> assistant_{-1};  // set once, on the queue, when the connection is made
  int listenerEnd_ = -1;            // the queue's until the listener starts, then the listener's
  int wakeFd_ = -1;
  std::atomic<int> attempts_{0};
  std::mutex retryMutex_;
  bool stopping_ = false;  // under retryMutex_
  std::optional<Clock::TimerId> retry_;
  std::atomic<bool> invalidated_{false};
  std::atomic<bool> isStreaming_{false};
  std::atomic<uint64_t> sent_{0}, dropped_{0};
  std::mutex delegateMutex_;
  MachManagerDelegate* delegate_ = nullptr;
  SharedFrameRing ring_;  // main thread
  SerialQueue queue_{"virtual camera link"};
  std::thread listener_;
};

}  // namespace platform
