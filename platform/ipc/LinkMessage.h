#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace platform {

// One message of the virtual camera's link: a type, a payload length and the payload, sent as
// one packet of a SOCK_SEQPACKET socket, with at most one file descriptor passed by SCM_RIGHTS
// (the registration endpoint, a frame's memfd). Numbers are in the host's byte order: both ends
// run on the same machine.
class LinkMessage {
 public:
  enum class Type : uint32_t {
    registerAsStudio = 1,  // fd: our end of the callback socket
    updateNewFrame = 2,    // fd: the frame's memfd; payload: FrameDescription
    streamStateChanged = 3,
    resolutionChanged = 4,
  };

  // How a frame lies in its memfd.
  struct FrameDescription {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t format = 0;      // the pixel format's four-character code ('BGRA', '420f')
    uint32_t planeCount = 0;  // 1 or 2
    uint32_t bytesPerRow[2] = {0, 0};
    uint64_t planeOffset[2] = {0, 0};
    uint64_t size = 0;  // bytes of the memfd in use
  };

  enum class Status { ok, closed, again, malformed, failed };
  struct Received;

  static constexpr size_t kHeaderSize = 8;
  static constexpr size_t kMaxPayload = 256;

  static LinkMessage registerAsStudio();
  static LinkMessage updateNewFrame(const FrameDescription& frame);
  static LinkMessage streamStateChanged(bool streaming);
  static LinkMessage resolutionChanged(int32_t width, int32_t height);

  Type type() const { return type_; }
  const std::vector<uint8_t>& payload() const { return payload_; }
  // The payload read as its type's record; none when the type differs or the record is unsound.
  std::optional<FrameDescription> frame() const;
  std::optional<bool> streaming() const;
  std::optional<std::pair<int32_t, int32_t>> resolution() const;

  std::vector<uint8_t> encode() const;
  // Checks a packet's header, type and payload length; none when they do not agree.
  static std::optional<LinkMessage> decode(const uint8_t* data, size_t size);

  // Sends the message with `fd` attached (when >= 0); MSG_NOSIGNAL is always added, so a gone
  // peer is EPIPE, never SIGPIPE. 0, or the errno of the failure.
  static int send(int socket, const LinkMessage& message, int fd, int flags);
  // Reads one packet. A received descriptor belongs to the caller (`Received::fd`); descriptors
  // of a refused packet are closed here. An empty packet is malformed; `closed` only once the
  // peer has hung up and nothing is left to read.
  static Received receive(int socket, int flags = 0);

 private:
  LinkMessage(Type type, std::vector<uint8_t> payload)
      : type_(type), payload_(std::move(payload)) {}

  Type type_;
  std::vector<uint8_t> payload_;
};

struct LinkMessage::Received {
  Status status = Status::failed;
  std::optional<LinkMessage> message;
  int fd = -1;
  int error = 0;
};

}  // namespace platform
