// The virtual camera's link messages, as a misbehaving assistant can send them: any packet is
// either refused as malformed or read as a message that encodes back to the same bytes, with a
// frame description that stays inside its memory. A packet never reads as the peer's end, not
// even an empty one, while the peer is still there.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzCheck.h"
#include "ipc/LinkMessage.h"

using platform::LinkMessage;

namespace {

struct Pair {
  Pair() {
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) std::abort();
  }
  ~Pair() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  int fds[2];
};

void checkMessage(const LinkMessage& m, const uint8_t* data, size_t size) {
  std::vector<uint8_t> back = m.encode();
  FUZZ_CHECK(back.size() == size);
  FUZZ_CHECK(std::equal(back.begin(), back.end(), data));
  if (auto f = m.frame()) {
    FUZZ_CHECK(f->width > 0 && f->height > 0);
    FUZZ_CHECK(f->planeCount == 1 || f->planeCount == 2);
    for (uint32_t p = 0; p < f->planeCount; ++p) {
      uint64_t rows = p == 0 ? uint64_t(f->height) : uint64_t(f->height) / 2;
      FUZZ_CHECK(f->planeOffset[p] <= f->size);
      FUZZ_CHECK(rows * f->bytesPerRow[p] <= f->size - f->planeOffset[p]);
    }
  }
  if (auto s = m.streaming()) FUZZ_CHECK(m.type() == LinkMessage::Type::streamStateChanged);
  if (m.resolution()) FUZZ_CHECK(m.type() == LinkMessage::Type::resolutionChanged);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto decoded = LinkMessage::decode(data, size);
  if (decoded) checkMessage(*decoded, data, size);

  // The same bytes as one packet on a live socket.
  static Pair pair;
  if (size > LinkMessage::kHeaderSize + LinkMessage::kMaxPayload + 64) return 0;
  if (::send(pair.fds[1], data, size, MSG_DONTWAIT | MSG_NOSIGNAL) != ssize_t(size)) return 0;
  auto received = LinkMessage::receive(pair.fds[0], MSG_DONTWAIT);
  FUZZ_CHECK(received.status != LinkMessage::Status::closed);
  FUZZ_CHECK(received.fd < 0);  // nothing was attached
  if (received.status == LinkMessage::Status::ok) {
    // Types that carry a descriptor are refused without one.
    FUZZ_CHECK(received.message->type() != LinkMessage::Type::registerAsStudio &&
               received.message->type() != LinkMessage::Type::updateNewFrame);
    FUZZ_CHECK(decoded.has_value());
  } else {
    FUZZ_CHECK(received.status == LinkMessage::Status::malformed);
  }
  return 0;
}
