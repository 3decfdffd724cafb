#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace corvane {

// What a profiling run of the program reads off it: frame counters of the road (offered to the
// analysis, analysed, shown in the preview, sent to the virtual camera) and the main thread's
// longest stall (its longest main-queue task and a watch timer's worst lateness). Counting is a
// relaxed atomic add, cheap enough to stay in every build; only a profiling run reads it.
class RunProfile {
 public:
  static RunProfile& shared();

  std::atomic<int64_t> framesOffered{0};
  std::atomic<int64_t> framesAnalysed{0};
  std::atomic<int64_t> framesShown{0};
  std::atomic<int64_t> framesSent{0};

  // Keeps the longest main-queue task (wall and the thread's own CPU time: on a loaded machine
  // the wall time counts the waits for a processor too) and the worst timer lateness (ms).
  void noteMainTask(double wallMs, double cpuMs);
  // The main thread's CPU time from waking up to going back to wait: every event it handled in
  // between (paints, timers, tasks), so no single call on it took longer.
  void noteBusyStretch(double cpuMs);
  void noteTimerLateness(double ms);

  // One period's figures, the counters as rates; the maxima start again after each take.
  struct Period {
    double seconds = 0;
    double offeredFps = 0, analysedFps = 0, shownFps = 0, sentFps = 0;
    double longestTaskMs = 0, longestTaskCpuMs = 0, longestStretchCpuMs = 0, worstLatenessMs = 0;
  };
  Period take(double seconds);
  // "profile: offered 30.0 fps analysed 29.8 shown 30.0 sent 29.8 longest-task 3.1 ms
  // task-cpu 2.9 ms stretch-cpu 3.5 ms timer-late 4.0 ms over 1.0 s"
  static std::string line(const Period& period);

 private:
  static void raise(std::atomic<double>& max, double value);
  std::atomic<double> longestTaskMs_{0};
  std::atomic<double> longestTaskCpuMs_{0};
  std::atomic<double> longestStretchCpuMs_{0};
  std::atomic<double> worstLatenessMs_{0};
  int64_t last_[4] = {0, 0, 0, 0};
};

}  // namespace corvane
