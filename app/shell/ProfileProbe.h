#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <optional>

#include "camera/Display.h"

namespace corvane {

class CameraManager;

// The program's side of a profiling run (tools/cpu-profile), off unless the environment asks:
//   CORVANE_PROFILE=<seconds>       prints RunProfile's line every period to standard output,
//                                   times every main-queue task and every busy stretch of the
//                                   main loop and watches a 5 ms timer's lateness (the main
//                                   thread's longest stall);
//   CORVANE_PROFILE_AUTOTRACK=0|1   holds "Auto Track" off or on (detection and tracking);
//   CORVANE_PROFILE_MODE=<code>     holds a display mode (its raw value: 12 grid, 14 speaker);
//   CORVANE_PROFILE_DOA=<degrees>   hands that voice direction every 100 ms, as the polling does.
// The held states are set again whenever something else (a restored ROI record) changes them.
class ProfileProbe : public QObject {
 public:
  // None when CORVANE_PROFILE is not set (or not a positive number).
  static ProfileProbe* installFromEnvironment(CameraManager& camera, QObject* parent);

 private:
  ProfileProbe(CameraManager& camera, double periodSeconds, QObject* parent);
  void report();
  void holdStates();

  CameraManager& camera_;
  QTimer watch_, period_, voice_;
  QElapsedTimer sinceWatch_, sincePeriod_;
  std::optional<bool> autoTrack_;
  std::optional<Display> mode_;
  int doa_ = 0;
  double awakeCpuMs_ = -1;
};

}  // namespace corvane
