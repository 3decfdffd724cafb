#include "camera/CpuUsageMonitor.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "log/LogManager.h"

namespace corvane {

namespace {

float average(const std::deque<int>& window) {
  double sum = std::accumulate(window.begin(), window.end(), 0.0);
  return float(sum / double(window.size()));
}

}  // namespace

CpuUsageMonitor::CpuUsageMonitor(Sampler sampler, platform::Clock& clock, Note note)
    : sampler_(std::move(sampler)), clock_(clock), note_(std::move(note)) {
  if (!sampler_) sampler_ = [] { return platform::SystemInfo::shared().cpuTimes(); };
  if (!note_) note_ = [](const std::string& line) { CV_LOG_INFO(line); };
}

std::string CpuUsageMonitor::levelChangeLine(int from, int to, float average) {
  const char* effect = "every camera frame is shown and analysed";
  if (to == 1) effect = "6 of every 30 camera frames are skipped";
  if (to == 2) effect = "15 of every 30 camera frames are skipped";
  if (to >= 3) effect = "15 of every 30 camera frames are skipped and accumulated detection is off";
  char line[300];
  if (to > from)
    std::snprintf(line, sizeof line,
                  "CPU load level %d -> %d: the machine's processor load averaged %.1f %% over the "
                  "last minute (50 %% or more raises the level); %s",
                  from, to, double(average), effect);
  else
    std::snprintf(line, sizeof line,
                  "CPU load level %d -> %d: the machine's processor load averaged %.1f %% over the "
                  "last three minutes (below 40 %% lowers the level); %s",
                  from, to, double(average), effect);
  return line;
}

CpuUsageMonitor::~CpuUsageMonitor() {
  if (updateTimer_) updateTimer_->cancel();
  queue_.drain();
}

void CpuUsageMonitor::startSampling() {
  if (updateTimer_) return;
  updateTimer_ = std::make_unique<platform::DispatchTimer>(queue_, clock_);
  updateTimer_->setEventHandler([this] { updateInfo(); });
  updateTimer_->schedule(std::chrono::seconds(1), std::chrono::seconds(1));
  updateTimer_->resume();
}

void CpuUsageMonitor::updateInfo() {
  std::optional<platform::SystemInfo::CpuTimes> sample = sampler_();
  if (!sample) {
    CV_LOG_WARNING("CPU usage: the processor times cannot be read");
    return;
  }
  std::lock_guard lock(CPUUsageLock_);
  std::optional<platform::SystemInfo::CpuTimes> prev = prevCpuInfo_;
  prevCpuInfo_ = sample;
  // The first sample only sets the baseline: the totals since boot say nothing of the load now.
  if (!prev) return;
  platform::SystemInfo::CpuTimes delta = platform::SystemInfo::elapsed(*prev, *sample);
  uint64_t total = delta.total();
  if (total == 0) return;  // no time passed: no sample
  usagePercentage_ = int(std::lround(double(delta.busy()) / double(total) * 100.0));
  cpu_usage_queue_one_min_.push_back(usagePercentage_);
  cpu_usage_queue_three_min_.push_back(usagePercentage_);
  if (cpu_usage_queue_one_min_.size() >= kOneMinute) {
    current_cpu_usage_average_one_min_ = average(cpu_usage_queue_one_min_);
    cpu_usage_queue_one_min_.pop_front();
  }
  if (cpu_usage_queue_three_min_.size() >= kThreeMinutes) {
    current_cpu_usage_average_three_min_ = average(cpu_usage_queue_three_min_);
    cpu_usage_queue_three_min_.pop_front();
  }
  auto restartWindows = [this] {
    cpu_usage_queue_one_min_.clear();
    cpu_usage_queue_three_min_.clear();
    current_cpu_usage_average_one_min_ = -1.0f;
    current_cpu_usage_average_three_min_ = -1.0f;
  };
  int from = qosLevel_.load();
  float average = 0;
  if (current_cpu_usage_average_one_min_ >= 50.0f) {
    average = current_cpu_usage_average_one_min_;
    restartWindows();
    qosLevel_ = std::min(from + 1, 3);
  } else if (current_cpu_usage_average_three_min_ != -1.0f &&
             current_cpu_usage_average_three_min_ < 40.0f) {
    average = current_cpu_usage_average_three_min_;
    restartWindows();
    qosLevel_ = std::max(from - 1, 0);
  }
  // Told once per change; a window restarting at the top or bottom level changes nothing.
  if (qosLevel_.load() != from) note_(levelChangeLine(from, qosLevel_.load(), average));
}

int CpuUsageMonitor::usagePercentage() const {
  std::lock_guard lock(CPUUsageLock_);
  return usagePercentage_;
}

float CpuUsageMonitor::currentAverageOneMinute() const {
  std::lock_guard lock(CPUUsageLock_);
  return current_cpu_usage_average_one_min_;
}

float CpuUsageMonitor::currentAverageThreeMinutes() const {
  std::lock_guard lock(CPUUsageLock_);
  return current_cpu_usage_average_three_min_;
}

}  // namespace corvane
