#include <array>
#include <iostream>
#include <map>
#include <string>

#include "CameraManagerFixture.h"
#include "camera/ReSpeakerManager.h"
#include "camera/VoiceDirectionPoller.h"
#include "camera/VoiceReadWatch.h"
#include "log/LogManager.h"

using corvane::VoiceDirectionPoller;
using namespace std::chrono_literals;

namespace {

// The microphone array's two vendor reads: voice activity and direction.
class SimulatedArray : public corvane::UsbTransport {
 public:
  int controlTransfer(uint8_t, uint8_t, uint16_t value, uint16_t index, uint8_t* data,
                      uint16_t length, unsigned) override {
    if (length != 8) return corvane::kUsbErrorPipe;
    std::lock_guard lock(mutex);
    int32_t v = (value == 0xE0 && index == 0x13)   ? voice
                : (value == 0xC0 && index == 0x15) ? angle
                                                   : -1;
    if (v < 0 || failing) return corvane::kUsbErrorPipe;
    std::fill(data, data + 8, 0);
    data[0] = uint8_t(v & 0xFF);
    data[1] = v >= 256 ? 1 : 0;
    return 8;
  }
  std::string description() const override { return "simulated array"; }
  std::mutex mutex;
  int32_t voice = 1;
  int32_t angle = 300;
  bool failing = false;
};

class ArrayConnector : public corvane::UsbConnector {
 public:
  corvane::UsbOpenResult open(uint16_t vid, uint16_t pid) override {
    corvane::UsbOpenResult r{0, nullptr};
    if (present && vid == corvane::ReSpeakerManager::kVendorId &&
        pid == corvane::ReSpeakerManager::kProductId)
      r.handle = array;
    return r;
  }
  std::shared_ptr<SimulatedArray> array = std::make_shared<SimulatedArray>();
  bool present = false;
};

// The program's Info lines reach standard output in this binary, as with the debug switch on,
// so that the checks below can read them; set before any test logs.
class ConsoleInfoLines : public testing::Environment {
 public:
  void SetUp() override {
    auto env = corvane::LogManager::Environment::process();
    env.standardOutput = [](const std::string& line) { std::cout << line << '\n' << std::flush; };
    set = corvane::LogManager::setSharedEnvironment(std::move(env));
  }
  static inline bool set = false;
};
testing::Environment* const consoleInfoLines =
    testing::AddGlobalTestEnvironment(new ConsoleInfoLines);

// The program's lines as its console gets them (these tests set up no day file): warnings on
// standard error, information on standard output. A check's own report goes to the console
// too, so the checks come after stop().
class ConsoleLines {
 public:
  ConsoleLines() { start(); }
  ~ConsoleLines() {
    if (capturing_) stop();
  }
  void start() {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    capturing_ = true;
  }
  std::string stop() {
    capturing_ = false;
    std::string text = testing::internal::GetCapturedStdout();
    return text + testing::internal::GetCapturedStderr();
  }

 private:
  bool capturing_ = false;
};

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

class VoiceDirectionTest : public CameraManagerTest {
 protected:
  void SetUp() override {
    CameraManagerTest::SetUp();
    usbCamera->setApiLevel(7);
    respeaker = std::make_unique<corvane::ReSpeakerManager>(connector);
  }
  void start() {
    plugCamera();
    auto env = environment();
    env.respeaker = respeaker.get();
    manager = std::make_unique<corvane::CameraManager>(env);
    connect();
  }
  // Time passes for the voice timer: its ticks run on its queue, their results on the main one.
  void tick(std::chrono::milliseconds by) {
    clock.advance(by);
    manager->voiceDirection().queue().drain();
    settle();
  }
  // As tick, with the camera streaming a frame a second: a camera without frames for three
  // seconds is reconnected, which a longer run of voice reads would meet.
  void tickStreaming(std::chrono::milliseconds by) {
    tick(by);
    streamed_ += by;
    if (streamed_ >= 1s) {
      streamed_ = {};
      deliverFrame(++frames_);
    }
  }
  // The camera as the voice's source, a voice at 120 degrees, polled and streaming.
  void startPollingTheCamera() {
    usbCamera->setDoaBlock(Camera::doaBlock(2, true, 120));
    start();
    tick(150ms);
    ASSERT_TRUE(manager->voiceDirection().timerRunning());
    tickStreaming(200ms);
  }
  std::shared_ptr<ArrayConnector> connector = std::make_shared<ArrayConnector>();
  std::unique_ptr<corvane::ReSpeakerManager> respeaker;

 private:
  std::chrono::milliseconds streamed_{};
  size_t frames_ = 0;
};

TEST_F(VoiceDirectionTest, CameraSourceReachesTheFacadeFiveTimesASecond) {
  usbCamera->setDoaBlock(Camera::doaBlock(2, true, 120));
  start();
  EXPECT_TRUE(manager->isSpeakerConnect->value());
  auto facade = facades->last();
  EXPECT_FALSE(facade->callsStartingWith("setAngle 120 1").empty());  // the first read
  tick(150ms);
  ASSERT_TRUE(manager->voiceDirection().timerRunning());
  facade->clearCalls();
  for (int i = 0; i < 5; ++i) tick(200ms);
  EXPECT_GE(facade->callsStartingWith("setAngle 120 1").size(), 5u);
  EXPECT_LE(facade->callsStartingWith("setAngle 120 1").size(), 6u);
}

TEST_F(VoiceDirectionTest, MicrophoneArrayIsPreferred) {
  connector->present = true;
  usbCamera->setDoaBlock(Camera::doaBlock(2, true, 120));
  start();
  auto facade = facades->last();
  tick(150ms);
  facade->clearCalls();
  for (int i = 0; i < 5; ++i) tick(200ms);
  EXPECT_GE(facade->callsStartingWith("setAngle 300 1").size(), 5u);
  EXPECT_TRUE(facade->callsStartingWith("setAngle 120").empty());
}

TEST_F(VoiceDirectionTest, CameraWithoutASourceSwitchesBeamformingOff) {
  usbCamera->setDoaBlock(Camera::doaBlock(1, false, 0));
  start();
  tick(500ms);
  EXPECT_FALSE(manager->isSpeakerConnect->value());
  EXPECT_FALSE(manager->voiceDirection().timerRunning());
  EXPECT_EQ(facades->last()->callsStartingWith("EnableBeamforming").back(), "EnableBeamforming 0");
}

TEST_F(VoiceDirectionTest, StopBeforeTheDelayedStartKeepsTheTimerOff) {
  usbCamera->setDoaBlock(Camera::doaBlock(2, true, 120));
  start();
  manager->stopVoiceDirection();
  tick(500ms);
  EXPECT_FALSE(manager->voiceDirection().timerRunning());
  EXPECT_FALSE(manager->isSpeakerConnect->value());
}

TEST(VoiceDirectionStatistics, RegionsFlipAndTheDominantRegion) {
  EXPECT_EQ(VoiceDirectionPoller::region(44), 4);
  EXPECT_EQ(VoiceDirectionPoller::region(45), 5);
  EXPECT_EQ(VoiceDirectionPoller::region(359), 36);

  std::vector<std::pair<int, int>> sent;
  bool statistics = false, flip = true;
  VoiceDirectionPoller::Environment env;
  env.setAngle = [&](int a, int e) { sent.push_back({a, e}); };
  env.enableStatisticsDoa = [&] { return statistics; };
  env.statisticsDoaThreshold = [] { return int64_t(4); };
  env.enableFlipDoa = [&] { return flip; };
  VoiceDirectionPoller poller(env);
  poller.handleDoa(90, true);
  poller.handleDoa(0, true);
  EXPECT_EQ(sent, (std::vector<std::pair<int, int>>{{270, 1}, {0, 1}}));

  statistics = true;
  flip = false;
  sent.clear();
  poller.handleDoa(90, false);  // silence: not counted
  EXPECT_EQ(sent.back(), std::make_pair(0, 0));
  // Ten voiced samples: region 9 six times, region 20 four times; both reach the threshold,
  // the most frequent wins.
  for (int i = 0; i < 6; ++i) poller.handleDoa(90, true);
  for (int i = 0; i < 4; ++i) poller.handleDoa(200, true);
  EXPECT_EQ(poller.lastAngleRegion(), 9);
  EXPECT_EQ(sent.back(), std::make_pair(200, 0));
  poller.handleDoa(88, true);
  EXPECT_EQ(sent.back(), std::make_pair(88, 1));
  // A window whose most frequent region stays under the threshold keeps the last region.
  for (int i = 0; i < 9; ++i) poller.handleDoa(i * 40, true);
  EXPECT_EQ(poller.lastAngleRegion(), 9);
}

// A camera whose voice-direction request stalls for 35 s: one line with the reason, none for
// the reads after it, the picture falls back as for silence, and one line when it reads again.
// Only that request fails: the rest of the camera keeps answering.
TEST_F(VoiceDirectionTest, AFailingCameraReadIsToldOnceAndSoIsItsRecovery) {
  ASSERT_TRUE(ConsoleInfoLines::set);
  ASSERT_NO_FATAL_FAILURE(startPollingTheCamera());
  auto facade = facades->last();
  facade->clearCalls();
  ConsoleLines console;
  usbCamera->failNext(Camera::Failure::stall, 0x0300, 0x0B, 175);
  for (int i = 0; i < 150; ++i) tickStreaming(200ms);
  EXPECT_FALSE(manager->voiceDirection().directionReadable());
  std::string log = console.stop();
  ASSERT_EQ(facades->count(), 1u);
  EXPECT_GE(facade->callsStartingWith("setAngle 0 0").size(), 149u);
  EXPECT_TRUE(facade->callsStartingWith("setAngle 120").empty());
  EXPECT_EQ(count(log, "The voice direction cannot be read (stalled)"), 1u) << log;
  EXPECT_EQ(count(log, "can be read again"), 0u) << log;

  console.start();
  for (int i = 0; i < 30; ++i) tickStreaming(200ms);
  log += console.stop();
  EXPECT_TRUE(manager->voiceDirection().directionReadable());
  EXPECT_EQ(count(log, "The voice direction can be read again, after 175 failed reads in 35"), 1u)
      << log;
  EXPECT_EQ(count(log, "The voice direction cannot be read"), 1u) << log;
  EXPECT_FALSE(facade->callsStartingWith("setAngle 120 1").empty());
}

// However the request fails, six seconds of failed reads write one warning, with the reason, and
// the answer after them one line more: no line for each read.
TEST_F(VoiceDirectionTest, EachWayACameraReadFailsIsOneLine) {
  ASSERT_TRUE(ConsoleInfoLines::set);
  ASSERT_NO_FATAL_FAILURE(startPollingTheCamera());
  const struct {
    Camera::Failure failure;
    const char* reason;
  } cases[] = {
      {Camera::Failure::stall, "(stalled)"},
      {Camera::Failure::timeout, "(timed out)"},
      {Camera::Failure::shortReply, "(short reply, 6 of 12 bytes)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    ConsoleLines console;
    usbCamera->failSelector(c.failure, 0x0300, 0x0B);
    for (int i = 0; i < 30; ++i) tickStreaming(200ms);
    usbCamera->failSelector(std::nullopt, 0x0300, 0x0B);
    tickStreaming(200ms);
    std::string log = console.stop();
    EXPECT_EQ(count(log, std::string("The voice direction cannot be read ") + c.reason), 1u) << log;
    EXPECT_EQ(count(log, "The voice direction can be read again, after 30 failed reads"), 1u)
        << log;
    EXPECT_EQ(count(log, "[Warning]"), 1u) << log;
  }
}

// The microphone array's reads are watched the same way.
TEST_F(VoiceDirectionTest, AFailingArrayReadIsToldOnce) {
  ASSERT_TRUE(ConsoleInfoLines::set);
  connector->present = true;
  usbCamera->setDoaBlock(Camera::doaBlock(2, true, 120));
  start();
  tick(150ms);
  ConsoleLines console;
  connector->array->failing = true;
  for (int i = 0; i < 20; ++i) tickStreaming(200ms);
  std::string log = console.stop();
  EXPECT_EQ(count(log, "The voice direction cannot be read (stalled)"), 1u) << log;
  EXPECT_EQ(count(log, "can be read again"), 0u) << log;
  console.start();
  connector->array->failing = false;
  tickStreaming(200ms);
  tickStreaming(200ms);
  log += console.stop();
  EXPECT_EQ(count(log, "The voice direction can be read again"), 1u) << log;
  EXPECT_EQ(count(log, "The voice direction cannot be read"), 1u) << log;
}

TEST(VoiceReadWatch, SaysOnceWhenReadsFailAndOnceWhenTheyWorkAgain) {
  using std::chrono::milliseconds;
  const platform::Clock::TimePoint t0{};
  struct Step {
    int atMs;
    const char* failure;  // empty: the read worked
    const char* line;     // the start of the line told, empty for none
  };
  const Step steps[] = {
      {0, "", ""},  // reads that work say nothing
      {200, "", ""},
      {400, "stalled", "[DOA] The voice direction cannot be read (stalled)"},
      {600, "stalled", ""},
      {800, "timed out", ""},  // still the same outage
      {1000, "stalled", ""},
      {1200, "", "[DOA] The voice direction can be read again, after 4 failed reads in 0.8 s"},
      {1400, "", ""},
      {1600, "no camera connected",
       "[DOA] The voice direction cannot be read (no camera "
       "connected)"},
      {1800, "", "[DOA] The voice direction can be read again, after 1 failed read in 0.2 s"},
  };
  corvane::VoiceReadWatch watch;
  for (const Step& step : steps) {
    const auto line = watch.outcome(step.failure, t0 + milliseconds(step.atMs));
    if (*step.line == 0) {
      EXPECT_FALSE(line) << step.atMs << ": " << *line;
    } else {
      ASSERT_TRUE(line) << step.atMs;
      EXPECT_EQ(line->rfind(step.line, 0), 0u) << step.atMs << ": " << *line;
    }
    EXPECT_EQ(watch.readable(), *step.failure == 0) << step.atMs;
  }
}
