#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "FakeAssistantPeer.h"
#include "ManualClock.h"
#include "TempDir.h"
#include "ipc/LinkMessage.h"
#include "ipc/LogRateLimiter.h"
#include "ipc/MachManager.h"
#include "ipc/SharedFrameRing.h"

using platform::LinkMessage;
using platform::MachManager;
using platform::PixelBuffer;
using platform::PixelFormat;
using testsupport::FakeAssistantPeer;

namespace {

// Collects what the link reports; waits on a condition (bounded only so a fault cannot hang).
class Recorder : public platform::MachManagerDelegate {
 public:
  void streamStateChanged(bool streaming) override {
    std::lock_guard lock(mutex_);
    states_.push_back(streaming);
    changed_.notify_all();
  }
  void line(const std::string& l) {
    std::lock_guard lock(mutex_);
    lines_.push_back(l);
    changed_.notify_all();
  }
  bool waitForStates(size_t n) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return states_.size() >= n; });
  }
  bool waitForLine(const std::string& part) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return hasLocked(part); });
  }
  bool hasLine(const std::string& part) {
    std::lock_guard lock(mutex_);
    return hasLocked(part);
  }
  std::vector<bool> states() {
    std::lock_guard lock(mutex_);
    return states_;
  }

 private:
  bool hasLocked(const std::string& part) const {
    for (const auto& l : lines_)
      if (l.find(part) != std::string::npos) return true;
    return false;
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<bool> states_;
  std::vector<std::string> lines_;
};

platform::PixelBufferRef picture(int w, int h, bool shared = false) {
  PixelBuffer::Options o;
  o.shared = shared;
  o.extraRowBytes = 32;
  auto f = PixelBuffer::create(w, h, PixelFormat::BGRA, o);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = f->baseAddress(0) + size_t(y) * f->bytesPerRow(0) + 4 * size_t(x);
      p[0] = x < w / 2 ? 40 : 210;
      p[1] = y < h / 2 ? 90 : 160;
      p[2] = 7;
      p[3] = 255;
    }
  return f;
}

class LinkTest : public ::testing::Test {
 protected:
  MachManager::Environment environment() {
    MachManager::Environment env;
    env.socketPath = dir.file("assistant");
    // Each line as the sink it went to saw it.
    env.systemLog = [this](const std::string& l) {
      ++lines;
      recorder.line("system log: " + l);
    };
    env.standardOutput = [this](const std::string& l) {
      ++lines;
      recorder.line("standard output: " + l);
    };
    env.clock = &clock;
    return env;
  }
  testsupport::TempDir dir;
  Recorder recorder;
  testsupport::ManualClock clock;
  std::atomic<size_t> lines{0};
};

// A peer that listens but never accepts: its backlog (of none) is full with one waiting client.
class HungPeer {
 public:
  explicit HungPeer(const std::string& path) {
    listener_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    bool ok = ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              ::listen(listener_, 0) == 0;
    // Clients until the backlog is full: a further blocking connect would wait for ever.
    while (ok) {
      int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        break;
      }
      waiting_.push_back(fd);
    }
  }
  ~HungPeer() {
    for (int fd : waiting_) ::close(fd);
    ::close(listener_);
  }
  size_t waiting() const { return waiting_.size(); }
  // The peer wakes up: takes the clients that wait and listens on.
  void acceptWaiting() {
    for (size_t i = 0; i < waiting_.size(); ++i) {
      int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) accepted_.push_back(fd);
    }
  }
  // Accepts the studio and reads its registration.
  bool acceptStudio() {
    int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return false;
    accepted_.push_back(fd);
    auto r = LinkMessage::receive(fd);
    if (r.fd >= 0) ::close(r.fd);
    return r.status == LinkMessage::Status::ok &&
           r.message->type() == LinkMessage::Type::registerAsStudio;
  }

 private:
  int listener_ = -1;
  std::vector<int> waiting_, accepted_;
};

}  // namespace

TEST_F(LinkTest, WithoutAPeerNothingIsSentAndTheProgramGoesOn) {
  MachManager link(environment());
  link.drain();  // the connection attempt runs on the link's queue
  EXPECT_FALSE(link.hasAssistant());
  EXPECT_TRUE(recorder.hasLine("[Kestova] remoteObjectProxyWithErrorHandler"));
  link.sendPixelBuffer(picture(64, 32));
  link.drain();
  EXPECT_EQ(link.framesSent(), 0u);
  EXPECT_FALSE(link.isStreaming());
}

TEST_F(LinkTest, RegistersAnEndpointOnWhichTheAssistantCallsBack) {
  FakeAssistantPeer peer(dir.file("assistant"));
  MachManager link(environment());
  ASSERT_TRUE(peer.acceptStudio());
  EXPECT_TRUE(link.hasAssistant());
  link.setDelegate(&recorder);
  ASSERT_TRUE(peer.sendStreamState(true));
  ASSERT_TRUE(recorder.waitForStates(1));
  EXPECT_TRUE(link.isStreaming());
  ASSERT_TRUE(peer.sendResolution(1920, 1080));
  ASSERT_TRUE(recorder.waitForLine("resolutionChangedWithWidth: 1920 height: 1080"));
  EXPECT_TRUE(link.isStreaming());  // a resolution report changes no state
  link.setDelegate(nullptr);
  ASSERT_TRUE(peer.sendStreamState(false));
  ASSERT_TRUE(recorder.waitForLine("streamStateChanged: NO"));
  EXPECT_FALSE(link.isStreaming());  // stored without a delegate too
  EXPECT_EQ(recorder.states(), std::vector<bool>{true});
}

TEST_F(LinkTest, FramesArriveAsMemfdsAtTheFirstCopiedFramesSize) {
  FakeAssistantPeer peer(dir.file("assistant"));
  MachManager link(environment());
  ASSERT_TRUE(peer.acceptStudio());

  auto first = picture(64, 32);
  link.sendPixelBuffer(first);
  FakeAssistantPeer::Frame f;
  ASSERT_TRUE(peer.readFrame(f));
  EXPECT_EQ(f.description.width, 64);
  EXPECT_EQ(f.description.height, 32);
  EXPECT_EQ(f.description.format, uint32_t(PixelFormat::BGRA));
  for (int y : {0, 31})
    for (int x : {0, 63})
      EXPECT_EQ(0,
                std::memcmp(f.bytes.data() + size_t(y) * f.description.bytesPerRow[0] + 4 * x,
                            first->baseAddress(0) + size_t(y) * first->bytesPerRow(0) + 4 * x, 4));

  // A bigger frame later arrives scaled down to the first one's size.
  link.sendPixelBuffer(picture(128, 64));
  ASSERT_TRUE(peer.readFrame(f));
  EXPECT_EQ(f.description.width, 64);
  EXPECT_EQ(f.description.height, 32);
  const uint8_t* corner = f.bytes.data() + 31 * f.description.bytesPerRow[0] + 4 * 63;
  EXPECT_EQ(corner[0], 210);
  EXPECT_EQ(corner[1], 160);

  // A frame that lives in a memfd already goes as it is, at its own size.
  auto shared = picture(96, 48, true);
  struct stat st {};
  ASSERT_EQ(fstat(shared->fd(), &st), 0);
  link.sendPixelBuffer(shared);
  ASSERT_TRUE(peer.readFrame(f));
  EXPECT_EQ(f.inode, uint64_t(st.st_ino));
  EXPECT_EQ(f.description.width, 96);
  link.drain();
  EXPECT_EQ(link.framesSent(), 3u);
}

TEST_F(LinkTest, AFullSocketDropsFramesAndAGonePeerEndsTheLinkWithoutSignals) {
  FakeAssistantPeer peer(dir.file("assistant"));
  MachManager link(environment());
  ASSERT_TRUE(peer.acceptStudio());
  peer.shrinkReceiveBuffer();
  auto shared = picture(16, 16, true);
  for (int i = 0; i < 2000; ++i) link.sendPixelBuffer(shared);
  link.drain();
  EXPECT_GT(link.framesDropped(), 0u);
  EXPECT_GT(link.framesSent(), 0u);
  FakeAssistantPeer::Frame f;
  while (peer.hasPendingMessage()) ASSERT_TRUE(peer.readFrame(f));
  uint64_t sent = link.framesSent();
  link.sendPixelBuffer(shared);
  ASSERT_TRUE(peer.readFrame(f));  // the link goes on once there is room
  link.drain();
  EXPECT_EQ(link.framesSent(), sent + 1);

  peer.disconnect();
  link.sendPixelBuffer(shared);  // EPIPE, not SIGPIPE: the test lives on
  link.drain();
  EXPECT_TRUE(recorder.waitForLine("[Kestova] invalidationHandler"));
  link.sendPixelBuffer(shared);
  link.drain();
  EXPECT_EQ(link.framesSent(), sent + 1);
}

TEST_F(LinkTest, MalformedAndOverlongCallbacksAreIgnored) {
  FakeAssistantPeer peer(dir.file("assistant"));
  MachManager link(environment());
  ASSERT_TRUE(peer.acceptStudio());
  link.setDelegate(&recorder);
  auto valid = LinkMessage::streamStateChanged(true).encode();
  auto wrongLength = valid;
  wrongLength[4] = 9;  // says 9 bytes of payload, carries 4
  auto unknownType = valid;
  unknownType[0] = 77;
  auto badValue = valid;
  badValue[8] = 5;  // neither 0 nor 1
  std::vector<uint8_t> overlong(LinkMessage::kHeaderSize + LinkMessage::kMaxPayload + 40, 0);
  overlong[0] = 3;
  ASSERT_TRUE(peer.sendRaw({1, 2, 3}));
  ASSERT_TRUE(peer.sendRaw(wrongLength));
  ASSERT_TRUE(peer.sendRaw(unknownType));
  ASSERT_TRUE(peer.sendRaw(badValue));
  ASSERT_TRUE(peer.sendRaw(overlong));
  ASSERT_TRUE(peer.sendStreamState(true));
  ASSERT_TRUE(recorder.waitForStates(1));
  EXPECT_EQ(recorder.states(), std::vector<bool>{true});
  EXPECT_TRUE(recorder.hasLine("malformed"));
  link.setDelegate(nullptr);
}

TEST(LinkMessage, FrameDescriptionsThatOverrunTheirMemoryAreRefused) {
  LinkMessage::FrameDescription d;
  d.width = 64;
  d.height = 32;
  d.format = uint32_t(PixelFormat::BGRA);
  d.planeCount = 1;
  d.bytesPerRow[0] = 256;
  d.size = 256 * 32;
  auto m = LinkMessage::updateNewFrame(d);
  auto bytes = m.encode();
  auto back = LinkMessage::decode(bytes.data(), bytes.size());
  ASSERT_TRUE(back && back->frame());
  EXPECT_EQ(back->frame()->size, d.size);
  d.size -= 1;  // one row short
  EXPECT_FALSE(LinkMessage::updateNewFrame(d).frame());
  d.size += 1;
  d.planeCount = 3;
  EXPECT_FALSE(LinkMessage::updateNewFrame(d).frame());
  EXPECT_FALSE(LinkMessage::decode(bytes.data(), bytes.size() - 1));
}

TEST(SharedFrameRing, LaterFramesTakeTheFirstFramesSizeAndFormat) {
  platform::SharedFrameRing ring(2);
  auto nv12 = PixelBuffer::create(64, 32, PixelFormat::NV12FullRange);
  std::memset(nv12->baseAddress(0), 200, nv12->bytesPerRow(0) * 32);
  std::memset(nv12->baseAddress(1), 128, nv12->bytesPerRow(1) * 16);
  auto first = ring.copy(*nv12);
  ASSERT_TRUE(first);
  EXPECT_GE(first->fd(), 0);  // shared memory the peer can map
  EXPECT_EQ(first->baseAddress(0)[0], 200);

  // A grey BGRA frame of another size: converted to full-range luma and scaled down.
  auto bgra = picture(128, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x) {
      uint8_t* p = bgra->baseAddress(0) + size_t(y) * bgra->bytesPerRow(0) + 4 * size_t(x);
      p[0] = p[1] = p[2] = 100;
    }
  auto second = ring.copy(*bgra);
  ASSERT_TRUE(second);
  EXPECT_NE(second, first);  // the next slot
  EXPECT_EQ(second->format(), PixelFormat::NV12FullRange);
  EXPECT_EQ(second->width(), 64);
  EXPECT_NEAR(second->baseAddress(0)[10 * second->bytesPerRow(0) + 10], 100, 2);
  EXPECT_NEAR(second->baseAddress(1)[4 * second->bytesPerRow(1) + 4], 128, 2);
  EXPECT_EQ(ring.copy(*nv12), first);  // slots are reused in turn
}

TEST_F(LinkTest, APeerThatNeverAcceptsHoldsNobodyAndIsTriedAgainLater) {
  HungPeer peer(dir.file("assistant"));
  ASSERT_GE(peer.waiting(), 1u);
  // Made as the main thread makes it: it returns, and so does the first attempt.
  MachManager link(environment());
  link.drain();
  EXPECT_FALSE(link.hasAssistant());
  EXPECT_EQ(link.connectAttempts(), 1);
  EXPECT_TRUE(recorder.hasLine("does not take the connection; trying again in 200 ms"));
  link.sendPixelBuffer(picture(16, 16));  // nothing to send to: the frame goes nowhere
  link.drain();
  EXPECT_EQ(link.framesSent(), 0u);

  // A few quick retries, then one every kRetryInterval.
  for (int i = 1; i < MachManager::kConnectAttempts; ++i) {
    clock.advance(MachManager::kConnectBackoff);
    link.drain();
  }
  EXPECT_EQ(link.connectAttempts(), MachManager::kConnectAttempts);
  EXPECT_TRUE(recorder.hasLine("trying again in 10 s"));
  clock.advance(MachManager::kConnectBackoff);
  link.drain();
  EXPECT_EQ(link.connectAttempts(), MachManager::kConnectAttempts);

  // The peer recovers: the next retry connects and registers.
  peer.acceptWaiting();
  clock.advance(MachManager::kRetryInterval);
  link.drain();
  EXPECT_TRUE(link.hasAssistant());
  EXPECT_TRUE(peer.acceptStudio());
}

TEST_F(LinkTest, ALinkStillWaitingToRetryEndsAtOnce) {
  HungPeer peer(dir.file("assistant"));
  {
    MachManager link(environment());
    link.drain();
    EXPECT_EQ(clock.pendingTimers(), 1u);
  }
  EXPECT_EQ(clock.pendingTimers(), 0u);  // the retry was cancelled with the link
}

TEST_F(LinkTest, AnEmptyPacketIsMalformedAndLaterMessagesStillArrive) {
  FakeAssistantPeer peer(dir.file("assistant"));
  MachManager link(environment());
  ASSERT_TRUE(peer.acceptStudio());
  link.setDelegate(&recorder);
  ASSERT_TRUE(peer.sendRaw({}));
  ASSERT_TRUE(peer.sendStreamState(true));
  ASSERT_TRUE(recorder.waitForStates(1));
  EXPECT_TRUE(recorder.hasLine("malformed"));
  EXPECT_FALSE(recorder.hasLine("closed the callback endpoint"));
  // The real end is still seen as the end.
  peer.disconnect();
  EXPECT_TRUE(recorder.waitForLine("closed the callback endpoint"));
  link.setDelegate(nullptr);
}

TEST_F(LinkTest, AFloodOfMessagesWritesARateLimitedLog) {
  FakeAssistantPeer peer(dir.file("assistant"));
  MachManager link(environment());
  ASSERT_TRUE(peer.acceptStudio());
  link.setDelegate(&recorder);
  auto bad = LinkMessage::streamStateChanged(true).encode();
  bad[8] = 9;
  constexpr size_t kFlood = 5000;
  for (size_t i = 0; i < kFlood; ++i) {
    ASSERT_TRUE(i % 2 ? peer.sendRaw(bad) : peer.sendStreamState(i % 4 == 0));
  }
  ASSERT_TRUE(peer.sendStreamState(true));
  ASSERT_TRUE(recorder.waitForStates(kFlood / 2 + 1));
  EXPECT_TRUE(link.isStreaming());  // the last state wins
  EXPECT_LE(lines.load(), MachManager::kLogBurst);
  // The next window says how many lines were left out.
  clock.advance(MachManager::kLogInterval);
  ASSERT_TRUE(peer.sendStreamState(false));
  ASSERT_TRUE(recorder.waitForLine("similar lines left out) [Kestova] streamStateChanged: NO"));
  link.setDelegate(nullptr);
}

// The system log hears of what went wrong on the link; how the stream goes is only told on
// standard output.
TEST_F(LinkTest, TheSystemLogGetsTheLinksFailuresOnly) {
  FakeAssistantPeer peer(dir.file("assistant"));
  MachManager link(environment());
  ASSERT_TRUE(peer.acceptStudio());
  link.setDelegate(&recorder);
  ASSERT_TRUE(peer.sendStreamState(true));
  ASSERT_TRUE(recorder.waitForStates(1));
  link.resolutionChangedWithWidth(1920, 1080);
  ASSERT_TRUE(peer.sendRaw({1, 2, 3}));
  ASSERT_TRUE(recorder.waitForLine("system log: [Kestova] a malformed message"));
  EXPECT_TRUE(recorder.hasLine("standard output: [Kestova] streamStateChanged: YES"));
  EXPECT_TRUE(
      recorder.hasLine("standard output: [Kestova] resolutionChangedWithWidth: 1920 height: 1080"));
  EXPECT_FALSE(recorder.hasLine("system log: [Kestova] streamStateChanged"));
  EXPECT_FALSE(recorder.hasLine("system log: [Kestova] resolutionChanged"));
  link.setDelegate(nullptr);
}

TEST(LogRateLimiter, LetsABurstThroughPerIntervalAndCountsTheRest) {
  testsupport::ManualClock clock;
  platform::LogRateLimiter limiter(2, std::chrono::seconds(1), &clock);
  EXPECT_EQ(limiter.admit("a"), "a");
  EXPECT_EQ(limiter.admit("b"), "b");
  EXPECT_FALSE(limiter.admit("c"));
  EXPECT_FALSE(limiter.admit("d"));
  clock.advance(std::chrono::milliseconds(999));
  EXPECT_FALSE(limiter.admit("e"));
  clock.advance(std::chrono::milliseconds(1));
  EXPECT_EQ(limiter.admit("f"), "(3 similar lines left out) f");
  EXPECT_EQ(limiter.admit("g"), "g");
  EXPECT_EQ(limiter.suppressed(), 3u);
}
