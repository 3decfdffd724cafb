#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "ipc/LinkMessage.h"

namespace testsupport {

// The virtual camera's assistant on a real Unix-domain socket in a test folder: accepts the
// studio's connection, keeps the callback endpoint it registers, reads frames back from their
// memfds and calls the studio back. Every read waits on the socket, never on time.
class FakeAssistantPeer {
 public:
  struct Frame {
    platform::LinkMessage::FrameDescription description;
    std::vector<uint8_t> bytes;  // the memfd's first description.size bytes
    uint64_t inode = 0;          // which memfd it came in
  };

  explicit FakeAssistantPeer(std::string socketPath);
  ~FakeAssistantPeer();
  FakeAssistantPeer(const FakeAssistantPeer&) = delete;
  FakeAssistantPeer& operator=(const FakeAssistantPeer&) = delete;

  const std::string& socketPath() const { return path_; }
  // Accepts the studio and reads its registration; false when it did not come.
  bool acceptStudio();
  int callbackEndpoint() const { return callback_; }
  // The next frame message; false when the connection ended first or the frame was unsound.
  bool readFrame(Frame& frame);
  // Bytes the socket holds unread (frames the peer has not taken yet).
  bool hasPendingMessage() const;
  // Shrinks the studio connection's receive buffer, so it fills after a few frames.
  void shrinkReceiveBuffer();

  // Calls back on the registered endpoint.
  bool sendStreamState(bool streaming);
  bool sendResolution(int32_t width, int32_t height);
  bool sendRaw(const std::vector<uint8_t>& bytes);
  // Closes everything: the studio finds its peer gone.
  void disconnect();
  // Wakes a read blocked on another thread (it then ends as if the studio had gone); call
  // disconnect() once that thread is done.
  void shutdown();

 private:
  std::string path_;
  // Atomic: shutdown() wakes a thread blocked on them from another.
  std::atomic<int> listener_{-1};
  std::atomic<int> connection_{-1};
  std::atomic<int> callback_{-1};
};

}  // namespace testsupport
