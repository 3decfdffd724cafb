#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "SystemInfo.h"
#include "dispatch/Clock.h"
#include "dispatch/DispatchTimer.h"
#include "dispatch/SerialQueue.h"

namespace corvane {

// The processor load level that thins the camera frames: one sample a second of the kernel's
// processor time counters; the level rises by one when the last minute averaged 50 % or more
// and falls by one when the last three minutes averaged below 40 %, each window starting anew
// after a change. It keeps sampling for the life of the program, across camera reconnections.
//
// Samples run on the monitor's own queue; qosLevel is read from any thread. Each change of the
// level is told once (the note, by default the log), with the average that caused it, so that a
// user can learn why the frame rate fell or came back.
class CpuUsageMonitor {
 public:
  using Sampler = std::function<std::optional<platform::SystemInfo::CpuTimes>()>;
  using Note = std::function<void(const std::string&)>;

  static constexpr size_t kOneMinute = 60;
  static constexpr size_t kThreeMinutes = 180;

  // The sampler defaults to the machine's /proc/stat, the note to the log.
  explicit CpuUsageMonitor(Sampler sampler = {}, platform::Clock& clock = platform::Clock::shared(),
                           Note note = {});
  ~CpuUsageMonitor();
  CpuUsageMonitor(const CpuUsageMonitor&) = delete;
  CpuUsageMonitor& operator=(const CpuUsageMonitor&) = delete;

  // Schedules the one-second sampling (once; later calls do nothing).
  void startSampling();
  // One sampling step.
  void updateInfo();

  int qosLevel() const { return qosLevel_.load(); }
  int usagePercentage() const;
  float currentAverageOneMinute() const;
  float currentAverageThreeMinutes() const;
  platform::SerialQueue& queue() { return queue_; }

  // The line told when the level moved from `from` to `to` on a window's average (percent):
  // the new level, what it does to the camera frames, and the average against its limit.
  static std::string levelChangeLine(int from, int to, float average);

 private:
  Sampler sampler_;
  platform::Clock& clock_;
  Note note_;
  platform::SerialQueue queue_{"cpu.usage"};
  std::unique_ptr<platform::DispatchTimer> updateTimer_;

  mutable std::mutex CPUUsageLock_;
  std::optional<platform::SystemInfo::CpuTimes> prevCpuInfo_;
  int usagePercentage_ = 0;
  std::deque<int> cpu_usage_queue_one_min_;
  std::deque<int> cpu_usage_queue_three_min_;
  float current_cpu_usage_average_one_min_ = -1.0f;
  float current_cpu_usage_average_three_min_ = -1.0f;
  std::atomic<int> qosLevel_{0};
};

}  // namespace corvane
