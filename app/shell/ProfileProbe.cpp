#include "shell/ProfileProbe.h"

#include <time.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "camera/CameraManager.h"
#include "dispatch/MainQueue.h"
#include "qt/QueuedCallTarget.h"
#include "util/RunProfile.h"

namespace corvane {

namespace {

constexpr int kWatchMs = 5;

double threadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

std::optional<double> number(const char* name) {
  const char* text = std::getenv(name);
  if (!text || !*text) return std::nullopt;
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text) return std::nullopt;
  return value;
}

}  // namespace

ProfileProbe* ProfileProbe::installFromEnvironment(CameraManager& camera, QObject* parent) {
  auto period = number("CORVANE_PROFILE");
  if (!period || !(*period > 0)) return nullptr;
  return new ProfileProbe(camera, *period, parent);
}

ProfileProbe::ProfileProbe(CameraManager& camera, double periodSeconds, QObject* parent)
    : QObject(parent), camera_(camera) {
  if (auto v = number("CORVANE_PROFILE_AUTOTRACK")) autoTrack_ = *v != 0;
  if (auto v = number("CORVANE_PROFILE_MODE")) mode_ = makeDisplay(int64_t(*v));
  if (auto v = number("CORVANE_PROFILE_DOA")) doa_ = int(*v);

  // Every main-queue task timed on its way through the event loop.
  auto* target = new platform::QueuedCallTarget(QCoreApplication::instance());
  platform::MainQueue::shared().setPoster([target](platform::Task task) {
    target->post([task = std::move(task)] {
      auto start = std::chrono::steady_clock::now();
      double cpu = threadCpuMs();
      task();
      RunProfile::shared().noteMainTask(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count(),
          threadCpuMs() - cpu);
    });
  });

  // A timer is late by as long as whatever held the thread when it was due (paints included).
  watch_.setTimerType(Qt::PreciseTimer);
  watch_.setInterval(kWatchMs);
  connect(&watch_, &QTimer::timeout, this, [this] {
    double gap = double(sinceWatch_.nsecsElapsed()) / 1e6;
    sinceWatch_.restart();
    RunProfile::shared().noteTimerLateness(std::max(0.0, gap - kWatchMs));
  });
  sinceWatch_.start();
  watch_.start();

  // Each wake-up of the main loop until it waits again, in the thread's own CPU time.
  if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
    connect(dispatcher, &QAbstractEventDispatcher::awake, this,
            [this] { awakeCpuMs_ = threadCpuMs(); });
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
      if (awakeCpuMs_ >= 0) RunProfile::shared().noteBusyStretch(threadCpuMs() - awakeCpuMs_);
      awakeCpuMs_ = -1;
    });
  }

  period_.setInterval(int(periodSeconds * 1000));
  connect(&period_, &QTimer::timeout, this, [this] { report(); });
  sincePeriod_.start();
  period_.start();

  if (doa_ != 0) {
    voice_.setInterval(100);
    connect(&voice_, &QTimer::timeout, this,
            [this] { camera_.voiceDirection().handleDoa(doa_, true); });
    voice_.start();
  }
}

void ProfileProbe::report() {
  holdStates();
  double seconds = double(sincePeriod_.nsecsElapsed()) / 1e9;
  sincePeriod_.restart();
  std::string line = RunProfile::line(RunProfile::shared().take(seconds));
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void ProfileProbe::holdStates() {
  // As the board's "Auto Track" button beside "Detect" does it: detection and tracking together.
  if (autoTrack_ && camera_.isFaceAutoTracking->value() != *autoTrack_)
    camera_.isFaceAutoTracking->setValue(*autoTrack_);
  if (autoTrack_ && *autoTrack_ &&
      !(camera_.isAutoDetect->value() && camera_.isAutoTracking->value())) {
    camera_.isAutoDetect->setValue(true);
    camera_.isAutoTracking->setValue(true);
  }
  if (mode_ && camera_.displayMode->value() != *mode_) camera_.displayMode->setValue(*mode_);
}

}  // namespace corvane
