#include "util/RunProfile.h"

#include <cstdio>

namespace corvane {

RunProfile& RunProfile::shared() {
  static RunProfile profile;
  return profile;
}

void RunProfile::raise(std::atomic<double>& max, double value) {
  double seen = max.load(std::memory_order_relaxed);
  while (value > seen && !max.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
  }
}

void RunProfile::noteMainTask(double wallMs, double cpuMs) {
  raise(longestTaskMs_, wallMs);
  raise(longestTaskCpuMs_, cpuMs);
}
void RunProfile::noteTimerLateness(double ms) { raise(worstLatenessMs_, ms); }

void RunProfile::noteBusyStretch(double cpuMs) { raise(longestStretchCpuMs_, cpuMs); }

RunProfile::Period RunProfile::take(double seconds) {
  Period p;
  p.seconds = seconds;
  std::atomic<int64_t>* counters[4] = {&framesOffered, &framesAnalysed, &framesShown, &framesSent};
  double* rates[4] = {&p.offeredFps, &p.analysedFps, &p.shownFps, &p.sentFps};
  for (int i = 0; i < 4; ++i) {
    int64_t now = counters[i]->load(std::memory_order_relaxed);
    *rates[i] = seconds > 0 ? double(now - last_[i]) / seconds : 0;
    last_[i] = now;
  }
  p.longestTaskMs = longestTaskMs_.exchange(0);
  p.longestTaskCpuMs = longestTaskCpuMs_.exchange(0);
  p.longestStretchCpuMs = longestStretchCpuMs_.exchange(0);
  p.worstLatenessMs = worstLatenessMs_.exchange(0);
  return p;
}

std::string RunProfile::line(const Period& p) {
  char text[256];
  std::snprintf(text, sizeof text,
                "profile: offered %.1f fps analysed %.1f shown %.1f sent %.1f "
                "longest-task %.1f ms task-cpu %.1f ms stretch-cpu %.1f ms timer-late %.1f ms "
                "over %.1f s",
                p.offeredFps, p.analysedFps, p.shownFps, p.sentFps, p.longestTaskMs,
                p.longestTaskCpuMs, p.longestStretchCpuMs, p.worstLatenessMs, p.seconds);
  return text;
}

}  // namespace corvane
