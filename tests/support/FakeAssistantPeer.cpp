#include "FakeAssistantPeer.h"

#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace testsupport {

using platform::LinkMessage;

FakeAssistantPeer::FakeAssistantPeer(std::string socketPath) : path_(std::move(socketPath)) {
  ::unlink(path_.c_str());
  listener_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 4) != 0) {
    ::close(listener_);
    listener_ = -1;
  }
}

FakeAssistantPeer::~FakeAssistantPeer() {
  disconnect();
  ::unlink(path_.c_str());
}

void FakeAssistantPeer::disconnect() {
  for (std::atomic<int>* fd : {&callback_, &connection_, &listener_}) {
    const int open = fd->exchange(-1);
    if (open >= 0) ::close(open);
  }
}

void FakeAssistantPeer::shutdown() {
  for (int fd : {callback_.load(), connection_.load(), listener_.load()})
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

bool FakeAssistantPeer::acceptStudio() {
  if (listener_ < 0) return false;
  connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (connection_ < 0) return false;
  auto r = LinkMessage::receive(connection_);
  if (r.status != LinkMessage::Status::ok ||
      r.message->type() != LinkMessage::Type::registerAsStudio || r.fd < 0)
    return false;
  callback_ = r.fd;
  return true;
}

bool FakeAssistantPeer::readFrame(Frame& frame) {
  auto r = LinkMessage::receive(connection_);
  if (r.status != LinkMessage::Status::ok) return false;
  auto d = r.message->frame();
  struct stat st {};
  if (!d || r.fd < 0 || ::fstat(r.fd, &st) != 0 || uint64_t(st.st_size) < d->size) {
    if (r.fd >= 0) ::close(r.fd);
    return false;
  }
  void* p = ::mmap(nullptr, d->size, PROT_READ, MAP_SHARED, r.fd, 0);
  ::close(r.fd);
  if (p == MAP_FAILED) return false;
  frame.description = *d;
  frame.inode = uint64_t(st.st_ino);
  frame.bytes.assign(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + d->size);
  ::munmap(p, d->size);
  return true;
}

bool FakeAssistantPeer::hasPendingMessage() const {
  pollfd fd{connection_, POLLIN, 0};
  return ::poll(&fd, 1, 0) == 1 && (fd.revents & POLLIN);
}

void FakeAssistantPeer::shrinkReceiveBuffer() {
  int size = 1;  // the kernel's smallest
  ::setsockopt(connection_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

bool FakeAssistantPeer::sendStreamState(bool streaming) {
  return LinkMessage::send(callback_, LinkMessage::streamStateChanged(streaming), -1, 0) == 0;
}

bool FakeAssistantPeer::sendResolution(int32_t width, int32_t height) {
  return LinkMessage::send(callback_, LinkMessage::resolutionChanged(width, height), -1, 0) == 0;
}

bool FakeAssistantPeer::sendRaw(const std::vector<uint8_t>& bytes) {
  return ::send(callback_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

}  // namespace testsupport
