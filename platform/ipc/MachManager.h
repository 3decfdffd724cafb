#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "dispatch/SerialQueue.h"
#include "ipc/MachManagerDelegate.h"
#include "ipc/SharedFrameRing.h"
#include "video/PixelBuffer.h"

namespace platform {

// The main program's end of the link to the virtual camera's assistant: a Unix-domain socket
// in the runtime folder named after the assistant service. It connects once, when made; hands
// the assistant one end of a socket pair on which the assistant reports the stream state and
// resolution changes; and sends every composed frame as a memfd. Without an assistant nothing
// is sent and the program goes on.
class MachManager {
 public:
  struct Environment {
    std::string socketPath;
    // Where the "[Kestova]" lines go (the system log).
    std::function<void(const std::string&)> systemLog;
    // $XDG_RUNTIME_DIR (else /run/user/<uid>) / kAssistantServiceName, lines to syslog.
    static Environment process();
  };

  static constexpr const char* kAssistantServiceName =
      "com.kestova.corvane-studio.KestovaCameraExtension.assistant";

  static MachManager& shared();
  // Connects at once.
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

  // The callbacks: from the assistant's messages, and from the sink's own reader count.
  void streamStateChanged(bool streaming);
  void resolutionChangedWithWidth(int32_t width, int32_t height);

  // Waits until the sends queued so far have run.
  void drain();
  uint64_t framesSent() const { return sent_; }
  uint64_t framesDropped() const { return dropped_; }

 private:
  void connect();
  void listen();
  void send(const PixelBufferRef& frame);
  void invalidate(int error);
  void log(const std::string& line);

  Environment env_;
  int assistant_ = -1;  // written once, before the queue and the listener run
  int listenerEnd_ = -1;
  int wakeFd_ = -1;
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
