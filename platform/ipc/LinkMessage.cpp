#include "ipc/LinkMessage.h"

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

template <typename T>
void put(std::vector<uint8_t>& out, const T& value) {
  const auto* p = reinterpret_cast<const uint8_t*>(&value);
  out.insert(out.end(), p, p + sizeof value);
}

template <typename T>
T get(const uint8_t* data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

size_t payloadSize(LinkMessage::Type type) {
  switch (type) {
    case LinkMessage::Type::registerAsStudio:
      return 0;
    case LinkMessage::Type::updateNewFrame:
      return sizeof(LinkMessage::FrameDescription);
    case LinkMessage::Type::streamStateChanged:
      return 4;
    case LinkMessage::Type::resolutionChanged:
      return 8;
  }
  return SIZE_MAX;
}

// The peer shut its end down and no bytes are left queued (the rest, if any, are empty packets).
bool peerEnded(int socket) {
  pollfd p{socket, POLLIN | POLLRDHUP, 0};
  if (::poll(&p, 1, 0) < 0 || !(p.revents & (POLLHUP | POLLRDHUP))) return false;
  int queued = 0;
  return ::ioctl(socket, SIOCINQ, &queued) != 0 || queued == 0;
}

void closeAll(const std::vector<int>& fds) {
  for (int fd : fds) ::close(fd);
}

}  // namespace

LinkMessage LinkMessage::registerAsStudio() { return LinkMessage(Type::registerAsStudio, {}); }

LinkMessage LinkMessage::updateNewFrame(const FrameDescription& frame) {
  std::vector<uint8_t> p;
  put(p, frame);
  return LinkMessage(Type::updateNewFrame, std::move(p));
}

LinkMessage LinkMessage::streamStateChanged(bool streaming) {
  std::vector<uint8_t> p;
  put(p, uint32_t(streaming ? 1 : 0));
  return LinkMessage(Type::streamStateChanged, std::move(p));
}

LinkMessage LinkMessage::resolutionChanged(int32_t width, int32_t height) {
  std::vector<uint8_t> p;
  put(p, width);
  put(p, height);
  return LinkMessage(Type::resolutionChanged, std::move(p));
}

std::optional<LinkMessage::FrameDescription> LinkMessage::frame() const {
  if (type_ != Type::updateNewFrame || payload_.size() != sizeof(FrameDescription)) return {};
  auto f = get<FrameDescription>(payload_.data());
  if (f.width <= 0 || f.height <= 0 || f.width > 32768 || f.height > 32768) return {};
  if (f.planeCount < 1 || f.planeCount > 2) return {};
  for (uint32_t p = 0; p < f.planeCount; ++p) {
    if (f.bytesPerRow[p] == 0 || f.planeOffset[p] > f.size) return {};
    uint64_t rows = p == 0 ? uint64_t(f.height) : uint64_t(f.height) / 2;
    if (rows * f.bytesPerRow[p] > f.size - f.planeOffset[p]) return {};
  }
  return f;
}

std::optional<bool> LinkMessage::streaming() const {
  if (type_ != Type::streamStateChanged || payload_.size() != 4) return {};
  uint32_t v = get<uint32_t>(payload_.data());
  if (v > 1) return {};
  return v == 1;
}

std::optional<std::pair<int32_t, int32_t>> LinkMessage::resolution() const {
  if (type_ != Type::resolutionChanged || payload_.size() != 8) return {};
  return std::make_pair(get<int32_t>(payload_.data()), get<int32_t>(payload_.data() + 4));
}

std::vector<uint8_t> LinkMessage::encode() const {
  std::vector<uint8_t> out;
  out.reserve(kHeaderSize + payload_.size());
  put(out, uint32_t(type_));
  put(out, uint32_t(payload_.size()));
  out.insert(out.end(), payload_.begin(), payload_.end());
  return out;
}

std::optional<LinkMessage> LinkMessage::decode(const uint8_t* data, size_t size) {
  if (size < kHeaderSize) return {};
  auto type = Type(get<uint32_t>(data));
  uint32_t length = get<uint32_t>(data + 4);
  if (length > kMaxPayload || length != size - kHeaderSize) return {};
  if (payloadSize(type) != length) return {};  // also refuses an unknown type
  return LinkMessage(type, std::vector<uint8_t>(data + kHeaderSize, data + size));
}

int LinkMessage::send(int socket, const LinkMessage& message, int fd, int flags) {
  std::vector<uint8_t> bytes = message.encode();
  iovec iov{bytes.data(), bytes.size()};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (fd >= 0) {
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
  }
  ssize_t n;
  do {
    n = ::sendmsg(socket, &msg, flags | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return errno;
  return size_t(n) == bytes.size() ? 0 : EMSGSIZE;
}

LinkMessage::Received LinkMessage::receive(int socket, int flags) {
  Received r;
  // One byte more than the largest message, so an over-long packet shows as truncated.
  uint8_t buffer[kHeaderSize + kMaxPayload + 1];
  iovec iov{buffer, sizeof buffer};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)] = {};
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  ssize_t n;
  do {
    n = ::recvmsg(socket, &msg, flags | MSG_CMSG_CLOEXEC);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    r.error = errno;
    r.status = (errno == EAGAIN || errno == EWOULDBLOCK) ? Status::again : Status::failed;
    return r;
  }
  std::vector<int> fds;
  for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (size_t i = 0; i < count; ++i) fds.push_back(get<int>(CMSG_DATA(c) + i * sizeof(int)));
  }
  // A packet socket reads 0 bytes both for an empty packet and at its end. Only a peer that
  // hung up with nothing left to read has ended; an empty packet is a malformed message.
  if (n == 0 && fds.empty() && peerEnded(socket)) {
    r.status = Status::closed;
    return r;
  }
  auto decoded =
      (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) ? std::nullopt : decode(buffer, size_t(n));
  bool wantsFd = decoded && (decoded->type() == Type::registerAsStudio ||
                             decoded->type() == Type::updateNewFrame);
  if (!decoded || fds.size() != (wantsFd ? 1u : 0u)) {
    closeAll(fds);
    r.status = Status::malformed;
    return r;
  }
  r.status = Status::ok;
  r.message = std::move(decoded);
  r.fd = fds.empty() ? -1 : fds.front();
  return r;
}

}  // namespace platform
