#include "camera/VoiceDirectionPoller.h"

#include <chrono>
#include <cmath>

#include "camera/ReSpeakerManager.h"
#include "dispatch/MainQueue.h"
#include "log/LogManager.h"

namespace corvane {

using namespace std::chrono_literals;

VoiceDirectionPoller::VoiceDirectionPoller(Environment environment, platform::Clock& clock)
    : env_(std::move(environment)), clock_(clock) {}

VoiceDirectionPoller::~VoiceDirectionPoller() {
  stopVoiceDirection();
  token_.reset();
  queue_.drain();
}

double VoiceDirectionPoller::region(int32_t angle) { return std::round(double(angle) / 10.0); }

void VoiceDirectionPoller::startVoiceDirection(bool useCamera, bool connected) {
  if (env_.setSpeakerConnect) env_.setSpeakerConnect(connected);
  if (env_.enableBeamforming) env_.enableBeamforming(connected);
  if (!connected) return;
  uint64_t generation = generation_;
  std::weak_ptr<int> weak = token_;
  if (pendingStart_) clock_.cancel(*pendingStart_);
  pendingStart_ = clock_.callAt(clock_.now() + 150ms, [this, weak, generation, useCamera] {
    if (!weak.lock()) return;
    platform::MainQueue::shared().async([this, weak, generation, useCamera] {
      if (!weak.lock() || generation != generation_) return;
      pendingStart_.reset();
      startDoaTimer(useCamera);
    });
  });
}

void VoiceDirectionPoller::startDoaTimer(bool useCamera) {
  if (checkDoaTimer_) return;
  checkDoaTimer_ = std::make_unique<platform::DispatchTimer>(queue_, clock_);
  std::weak_ptr<int> weak = token_;
  checkDoaTimer_->setEventHandler([this, weak, useCamera] {
    if (weak.lock()) tick(useCamera);
  });
  checkDoaTimer_->schedule(0ms, 200ms, 100ms);
  checkDoaTimer_->resume();
}

void VoiceDirectionPoller::stopVoiceDirection() {
  ++generation_;
  if (pendingStart_) {
    clock_.cancel(*pendingStart_);
    pendingStart_.reset();
  }
  if (env_.setSpeakerConnect) env_.setSpeakerConnect(false);
  if (env_.enableBeamforming) env_.enableBeamforming(false);
  if (checkDoaTimer_) {
    checkDoaTimer_->cancel();
    checkDoaTimer_.reset();
  }
}

bool VoiceDirectionPoller::timerRunning() const { return checkDoaTimer_ != nullptr; }

double VoiceDirectionPoller::lastAngleRegion() const {
  std::lock_guard lock(statisticsMutex_);
  return lastAngleRegion_;
}

void VoiceDirectionPoller::tick(bool useCamera) {
  if (useCamera) {
    if (env_.queueCameraDoa) env_.queueCameraDoa();
    return;
  }
  if (!env_.respeaker) return;
  std::weak_ptr<int> weak = token_;
  env_.respeaker->readDoaAngleFormat(
      [this, weak](int32_t voice, int32_t angle, const std::string& failure) {
        if (!weak.lock()) return;
        readOutcome(failure);
        handleDoa(angle, voice != 0);
      });
}

void VoiceDirectionPoller::readOutcome(const std::string& failure) {
  std::optional<std::string> line;
  {
    std::lock_guard lock(readMutex_);
    line = readWatch_.outcome(failure, clock_.now());
  }
  if (!line) return;
  if (failure.empty())
    CV_LOG_INFO(*line);
  else
    CV_LOG_WARNING(*line);
}

bool VoiceDirectionPoller::directionReadable() const {
  std::lock_guard lock(readMutex_);
  return readWatch_.readable();
}

void VoiceDirectionPoller::handleDoa(int32_t angle, bool isVoice) {
  bool flip = env_.enableFlipDoa && env_.enableFlipDoa();
  int out = angle == 0 ? 0 : (flip ? 360 - angle : angle);
  if (!env_.setAngle) return;
  if (!(env_.enableStatisticsDoa && env_.enableStatisticsDoa())) {
    env_.setAngle(out, isVoice ? 1 : 0);
    return;
  }
  if (!isVoice) {
    env_.setAngle(0, 0);
    return;
  }
  int64_t threshold = env_.statisticsDoaThreshold ? env_.statisticsDoaThreshold() : 0;
  double r = region(angle);
  bool steady;
  {
    std::lock_guard lock(statisticsMutex_);
    ++statisticsQueue_[r];
    if (++speakerStatisticsCount_ >= 10) {
      int64_t best = 0;
      for (const auto& [candidate, count] : statisticsQueue_) {
        if (count < best) continue;
        best = count;
        if (count >= threshold) lastAngleRegion_ = candidate;
      }
      statisticsQueue_.clear();
      speakerStatisticsCount_ = 0;
    }
    steady = r == lastAngleRegion_;
  }
  env_.setAngle(out, steady ? 1 : 0);
}

}  // namespace corvane
