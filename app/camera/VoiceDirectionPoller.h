#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "camera/VoiceReadWatch.h"
#include "dispatch/Clock.h"
#include "dispatch/DispatchTimer.h"
#include "dispatch/SerialQueue.h"

namespace corvane {

class ReSpeakerManager;

// Polls the direction of the active speaker's voice five times a second, from the microphone
// array or from the camera, and hands it to the analysis facade, optionally steadied by
// statistics over windows of ten voiced samples.
//
// startVoiceDirection and stopVoiceDirection come from the main thread; the timer ticks on its
// own queue "doa.timer", where the array is read. handleDoa may come from the main thread (the
// camera source) or the timer's queue (the array); its statistics are locked.
class VoiceDirectionPoller {
 public:
  struct Environment {
    ReSpeakerManager* respeaker = nullptr;
    std::function<void(bool)> setSpeakerConnect;
    std::function<void(bool)> enableBeamforming;
    std::function<void(int angle, int enable)> setAngle;
    // Queues a voice-direction read in the camera-control queue.
    std::function<void()> queueCameraDoa;
    std::function<bool()> enableStatisticsDoa;
    std::function<int64_t()> statisticsDoaThreshold;
    std::function<bool()> enableFlipDoa;
  };

  explicit VoiceDirectionPoller(Environment environment,
                                platform::Clock& clock = platform::Clock::shared());
  ~VoiceDirectionPoller();
  VoiceDirectionPoller(const VoiceDirectionPoller&) = delete;
  VoiceDirectionPoller& operator=(const VoiceDirectionPoller&) = delete;

  void startVoiceDirection(bool useCamera, bool connected);
  void startDoaTimer(bool useCamera);
  void stopVoiceDirection();
  void handleDoa(int32_t angle, bool isVoice);
  // Whether a read of the direction worked (`failure` empty) or why it did not: a change is told
  // in one line, the first failure with its reason and the first good read after failures.
  void readOutcome(const std::string& failure);
  bool directionReadable() const;

  bool timerRunning() const;
  double lastAngleRegion() const;
  platform::SerialQueue& queue() { return queue_; }

  // The angle's region: angle / 10 rounded, halves away from zero.
  static double region(int32_t angle);

 private:
  void tick(bool useCamera);

  Environment env_;
  platform::Clock& clock_;
  platform::SerialQueue queue_{"doa.timer"};
  std::shared_ptr<int> token_ = std::make_shared<int>(0);

  // Main thread.
  std::unique_ptr<platform::DispatchTimer> checkDoaTimer_;
  // Bumped by every stop, so that a start still waiting its 0.15 s does not start the timer.
  std::atomic<uint64_t> generation_{0};
  std::optional<platform::Clock::TimerId> pendingStart_;

  mutable std::mutex statisticsMutex_;
  std::map<double, int64_t> statisticsQueue_;
  int64_t speakerStatisticsCount_ = 0;
  double lastAngleRegion_ = 0;

  // Reads complete on the timer's queue (the array) or the main thread (the camera).
  mutable std::mutex readMutex_;
  VoiceReadWatch readWatch_;
};

}  // namespace corvane
