#include "ipc/MachManager.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ipc/LinkMessage.h"

namespace platform {

MachManager::Environment MachManager::Environment::process() {
  Environment env;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = runtime && *runtime ? runtime : "/run/user/" + std::to_string(getuid());
  env.socketPath = folder + "/" + kAssistantServiceName;
  env.systemLog = [](const std::string& line) { syslog(LOG_WARNING, "%s", line.c_str()); };
  env.standardOutput = [](const std::string& line) {
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
  };
  return env;
}

MachManager& MachManager::shared() {
  static MachManager manager(Environment::process());
  return manager;
}

MachManager::MachManager(Environment environment)
    : env_(std::move(environment)),
      clock_(env_.clock ? *env_.clock : Clock::shared()),
      logLimiter_(kLogBurst, kLogInterval, &clock_),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  queue_.async([this] { tryConnect(); });
}

MachManager::~MachManager() {
  {
    std::lock_guard lock(retryMutex_);
    stopping_ = true;
    if (retry_) clock_.cancel(*retry_);
    retry_.reset();
  }
  queue_.drain();
  if (wakeFd_ >= 0) {
    uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
  }
  if (listener_.joinable()) listener_.join();
  for (int fd : {assistant_.load(), listenerEnd_, wakeFd_})
    if (fd >= 0) ::close(fd);
}

void MachManager::warn(const std::string& line) {
  if (!env_.systemLog) return;
  if (auto admitted = logLimiter_.admit(line)) env_.systemLog(*admitted);
}

void MachManager::note(const std::string& line) {
  if (!env_.standardOutput) return;
  if (auto admitted = logLimiter_.admit(line)) env_.standardOutput(*admitted);
}

void MachManager::tryConnect() {
  {
    std::lock_guard lock(retryMutex_);
    retry_.reset();
    if (stopping_) return;
  }
  int attempt = ++attempts_;
  if (connect() != Connect::busy) return;
  bool soon = attempt < kConnectAttempts;
  warn("[Kestova] remoteObjectProxyWithErrorHandler: " + env_.socketPath +
       " does not take the connection; trying again in " +
       (soon ? std::to_string(kConnectBackoff.count()) + " ms"
             : std::to_string(kRetryInterval.count()) + " s"));
  scheduleRetry(soon ? Clock::Duration(kConnectBackoff) : Clock::Duration(kRetryInterval));
}

void MachManager::scheduleRetry(Clock::Duration delay) {
  std::lock_guard lock(retryMutex_);
  if (stopping_) return;
  retry_ = clock_.callAt(clock_.now() + delay, [this] {
    // The timer's thread hands the attempt to the link's queue; the destructor cancels the
    // timer and drains the queue before anything goes.
    std::lock_guard lock(retryMutex_);
    if (!stopping_) queue_.async([this] { tryConnect(); });
  });
}

MachManager::Connect MachManager::connect() {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (env_.socketPath.empty() || env_.socketPath.size() >= sizeof address.sun_path) {
    warn("[Kestova] remoteObjectProxyWithErrorHandler: unusable socket path " + env_.socketPath);
    return Connect::failed;
  }
  std::memcpy(address.sun_path, env_.socketPath.c_str(), env_.socketPath.size());
  // Non-blocking: a Unix-domain connect to a peer whose backlog is full would otherwise wait
  // until the peer accepts, which a hung peer never does. It then fails with EAGAIN at once.
  int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int r = fd < 0 ? -1 : ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (r != 0) {
    int e = errno;
    if (fd >= 0) ::close(fd);
    if (e == EAGAIN || e == EINPROGRESS || e == EINTR) return Connect::busy;
    warn("[Kestova] remoteObjectProxyWithErrorHandler: " + env_.socketPath + ": " +
         std::strerror(e));
    return Connect::failed;
  }
  // The callback endpoint: the assistant gets one end, we listen on the other.
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
    warn(std::string("[Kestova] cannot make the callback endpoint: ") + std::strerror(errno));
    ::close(fd);
    return Connect::failed;
  }
  // Frames are sent with MSG_DONTWAIT as before; the descriptor itself stays non-blocking.
  assistant_ = fd;
  int error = LinkMessage::send(fd, LinkMessage::registerAsStudio(), pair[1], MSG_DONTWAIT);
  ::close(pair[1]);
  if (error) {
    assistant_ = -1;
    ::close(pair[0]);
    ::close(fd);
    if (error == EAGAIN || error == EWOULDBLOCK) return Connect::busy;
    warn(std::string("[Kestova] invalidationHandler: registerAsStudio failed: ") +
         std::strerror(error));
    return Connect::failed;
  }
  listenerEnd_ = pair[0];
  listener_ = std::thread([this] { listen(); });
  return Connect::done;
}

// The anonymous listener: the assistant's calls back, until it closes its end or we stop.
void MachManager::listen() {
  for (;;) {
    pollfd fds[2] = {{listenerEnd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    int r = ::poll(fds, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents & POLLIN) return;
    if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    auto received = LinkMessage::receive(listenerEnd_, MSG_DONTWAIT);
    switch (received.status) {
      case LinkMessage::Status::again:
        continue;
      case LinkMessage::Status::closed:
        warn("[Kestova] invalidationHandler: the assistant closed the callback endpoint");
        return;
      case LinkMessage::Status::failed:
        warn(std::string("[Kestova] invalidationHandler: ") + std::strerror(received.error));
        return;
      case LinkMessage::Status::malformed:
        warn("[Kestova] a malformed message from the assistant was ignored");
        continue;
      case LinkMessage::Status::ok:
        break;
    }
    if (received.fd >= 0) ::close(received.fd);
    const LinkMessage& m = *received.message;
    if (auto streaming = m.streaming()) {
      streamStateChanged(*streaming);
    } else if (auto size = m.resolution()) {
      resolutionChangedWithWidth(size->first, size->second);
    } else {
      warn("[Kestova] a message the studio does not take was ignored");
    }
  }
}

void MachManager::setDelegate(MachManagerDelegate* delegate) {
  std::lock_guard lock(delegateMutex_);
  delegate_ = delegate;
}

void MachManager::streamStateChanged(bool streaming) {
  isStreaming_ = streaming;
  note(std::string("[Kestova] streamStateChanged: ") + (streaming ? "YES" : "NO"));
  // The delegate coalesces: a flood of states costs it one flag each, never a rebuild.
  std::lock_guard lock(delegateMutex_);
  if (delegate_) delegate_->streamStateChanged(streaming);
}

void MachManager::resolutionChangedWithWidth(int32_t width, int32_t height) {
  // Frames keep the size of the first one copied; the report is only noted.
  note("[Kestova] resolutionChangedWithWidth: " + std::to_string(width) +
       " height: " + std::to_string(height));
}

void MachManager::sendPixelBuffer(const PixelBufferRef& pixelBuffer) {
  if (!pixelBuffer || !hasAssistant() || invalidated_) return;
  PixelBufferRef frame = pixelBuffer;
  if (frame->fd() < 0) {
    frame = ring_.copy(*pixelBuffer);
    if (!frame) {
      ++dropped_;
      return;
    }
  }
  queue_.async([this, frame] { send(frame); });
}

void MachManager::send(const PixelBufferRef& frame) {
  if (invalidated_) return;
  LinkMessage::FrameDescription d;
  d.width = frame->width();
  d.height = frame->height();
  d.format = uint32_t(frame->format());
  d.planeCount = uint32_t(frame->planeCount());
  for (size_t p = 0; p < frame->planeCount() && p < 2; ++p) {
    d.bytesPerRow[p] = uint32_t(frame->bytesPerRow(p));
    d.planeOffset[p] = uint64_t(frame->baseAddress(p) - frame->baseAddress(0));
  }
  d.size = frame->dataSize();
  int error = LinkMessage::send(assistant_.load(), LinkMessage::updateNewFrame(d), frame->fd(),
                                MSG_DONTWAIT);
  if (error == 0) {
    ++sent_;
  } else if (error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS || error == ETOOMANYREFS) {
    ++dropped_;  // the assistant is behind (or holds too many frames): this frame only
  } else {
    ++dropped_;
    invalidate(error);
  }
}

void MachManager::invalidate(int error) {
  if (invalidated_.exchange(true)) return;
  warn(std::string("[Kestova] invalidationHandler: ") + std::strerror(error));
}

void MachManager::drain() { queue_.drain(); }

}  // namespace platform
