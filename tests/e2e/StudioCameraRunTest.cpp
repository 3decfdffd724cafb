// The main program, in this process, with a Kestova Camera simulated at the kernel's boundary:
// its capture node streaming the demo clip as MJPEG, its sysfs entries, the udev events and its
// control requests. Everything from discovery to the windows and the virtual camera's device is
// the program's own code. The camera is unplugged and plugged back in, fails one buffer, stalls,
// and is brought back with Try Again; the program quits while it streams.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "SimulatedCameraRig.h"
#include "TempDir.h"
#include "camera/CameraManager.h"
#include "config/ConfigManager.h"
#include "main/MainController.h"
#include "render/LayoutView.h"
#include "render/MetalManager.h"
#include "shell/ConnectController.h"
#include "shell/CustomWindow.h"
#include "shell/StudioMain.h"

namespace {

using corvane::ConnectMode;

// Runs the event loop until `done` holds, checking on every turn of a 20 ms timer; false when
// `deadlineMs` passed first.
bool waitUntil(const std::function<bool()>& done, int deadlineMs) {
  if (done()) return true;
  QEventLoop loop;
  bool reached = false;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (!reached && done()) {
      reached = true;
      loop.quit();
    }
  });
  check.start(20);
  QTimer::singleShot(deadlineMs, &loop, [&loop] { loop.quit(); });
  loop.exec();
  return reached;
}

int streamOns(testsupport::FakeV4l2Device& device) {
  int n = 0;
  for (const auto& call : device.calls()) n += call == "STREAMON";
  return n;
}

struct Boxes {
  std::vector<orlith::SelvoRect> manual, detected;
  size_t count() const { return manual.size() + detected.size(); }
};

Boxes boxesOf(corvane::CameraManager& camera) {
  Boxes boxes;
  if (auto facade = camera.manager()) {
    boxes.manual = facade->GetManualRect();
    boxes.detected = facade->GetDetectRect();
  }
  return boxes;
}

bool paneShown(corvane::CustomWindow& window) {
  for (auto* pane : window.findChildren<corvane::ConnectController*>())
    if (pane->isVisible()) return true;
  return false;
}

// The preview as a user sees it: no picture held and nothing lit on screen (what a start without
// a source shows).
bool previewDark(corvane::CustomWindow& window) {
  bool seen = false;
  for (auto* main : window.findChildren<corvane::MainController*>()) {
    corvane::LayoutView* preview = main->controlMetalView;
    if (!preview) continue;
    if (preview->composedPixelBuffer()) return false;
    QImage shown = preview->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < shown.height(); y += 9)
      for (int x = 0; x < shown.width(); x += 9)
        if (qGray(shown.pixel(x, y)) > 16) return false;
    seen = true;
  }
  return seen;
}

}  // namespace

TEST(StudioCameraRun, UnplugPlugFailedBufferStallTryAgainAndQuitWithACamera) {
  const std::string clip = std::string(CORVANE_ASSETS_DIR) + "/demo/demo_360.mp4";
  if (!QFile::exists(QString::fromStdString(clip)))
    GTEST_SKIP() << "no demo clip (scripts/setup makes it)";
  if (!std::getenv("DISPLAY"))
    GTEST_SKIP() << "no X server (scripts/test runs this under xvfb-run)";

  testsupport::ScopedHome home;
  {
    // A user who has seen the tutorial: the main window comes up at once.
    QDir().mkpath(QString::fromStdString(home.config() + "/corvane-studio"));
    QSettings defaults(
        QString::fromStdString(home.config() + "/corvane-studio/corvane-studio.conf"),
        QSettings::IniFormat);
    defaults.setValue("TutorialSkip", true);
    QString tables = QString::fromStdString(home.localLibrary() + "/Corvane Studio/localizable");
    QDir().mkpath(tables);
    QDir source(QStringLiteral(CORVANE_SOURCE_DIR "/resources/app/localizable"));
    for (const QString& name : source.entryList({"*.json"}))
      QFile::copy(source.filePath(name), tables + "/" + name);
  }
  const std::string runtime = home.root() + "/runtime";
  QDir().mkpath(QString::fromStdString(runtime));
  ::chmod(runtime.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

  testsupport::SimulatedCameraRig::Options options;
  std::string error;
  // A second of the clip in a loop: the people stay where the clip has them.
  options.frames =
      testsupport::SimulatedCameraRig::clipFrames(clip, options.width, options.height, 30, &error);
  ASSERT_FALSE(options.frames.empty()) << error;
  // The program's managers keep the rig's devices for the process's life.
  static auto* rig = new testsupport::SimulatedCameraRig(std::move(options));
  rig->install();
  rig->start();

  bool started = false, boxedAtStart = false, composed = false, reachedLoopback = false;
  bool paneAfterUnplug = false, darkAfterUnplug = false, backAfterPlug = false,
       layoutRestored = false;
  bool keptThroughFailedBuffer = false, stalledOnce = false, backAfterTryAgain = false;
  int reopensAfterFailedBuffer = -1, reopensForStall = -1;
  size_t recordBoxes = 0, boxesAfterPlug = 0, boxesAfterTryAgain = 0;
  qint64 quitMs = -1;
  QElapsedTimer quitting;

  char arg0[] = "corvane-studio";
  char* argv[] = {arg0, nullptr};
  int rc = corvane::studioMain(1, argv, [&](corvane::StudioRun& run) {
    QTimer::singleShot(0, &run.window, [&] {
      corvane::CameraManager& camera = run.camera;
      auto connected = [&] { return camera.connectMode->value() == ConnectMode::connected; };
      auto finish = [&] {
        quitting.start();
        run.window.close();
      };
      started = waitUntil(connected, 30000);
      if (!started) return finish();

      // The start: everybody boxed, the composed picture made, frames reaching the virtual
      // camera's device.
      boxedAtStart = waitUntil([&] { return boxesOf(camera).count() >= 3; }, 30000);
      composed = waitUntil(
          [] { return corvane::MetalManager::shared().vxdPixelBuffer() != nullptr; }, 10000);
      const size_t before = rig->loopbackFrames();
      reachedLoopback = waitUntil([&] { return rig->loopbackFrames() > before + 30; }, 10000);
      if (!boxedAtStart) return finish();

      // The layout now on the picture is saved and current (as Save Layout leaves it).
      corvane::ConfigManager& config = corvane::ConfigManager::shared();
      const corvane::CameraFormat format = camera.cameraFormat();
      const Boxes atStart = boxesOf(camera);
      config.roiRecord1.clear();
      for (const auto& list : {atStart.manual, atStart.detected})
        for (const auto& r : list) {
          const double x1 = r.rect.x / format.width, y1 = r.rect.y / format.height;
          const double x3 = (r.rect.x + r.rect.width) / format.width;
          const double y3 = (r.rect.y + r.rect.height) / format.height;
          config.roiRecord1.push_back({x1, y1, x3, y1, x3, y3, x1, y3});
        }
      config.roiRecord1DisplayMode = 12;  // grid
      config.roiRecordIndex = 1;
      recordBoxes = config.roiRecord1.size();

      // Unplugged: the connection pane.
      rig->unplug();
      paneAfterUnplug = waitUntil(
          [&] {
            return camera.connectMode->value() == ConnectMode::disconnected &&
                   paneShown(run.window);
          },
          20000);
      darkAfterUnplug = waitUntil([&] { return previewDark(run.window); }, 2000);

      // Plugged back in: connected by the udev event alone, the saved layout's boxes back.
      rig->plug();
      backAfterPlug = waitUntil(connected, 20000);
      layoutRestored =
          waitUntil([&] { return boxesOf(camera).manual.size() >= recordBoxes; }, 10000);
      boxesAfterPlug = boxesOf(camera).manual.size();
      if (!backAfterPlug) return finish();

      // One failed buffer is no unplug: the capture goes on, nothing is reopened. Five seconds of
      // frames reach the virtual camera meanwhile, more than the watch's three.
      const int streamsBefore = streamOns(rig->capture());
      rig->failOneBuffer(EIO);
      const size_t sent = rig->loopbackFrames();
      keptThroughFailedBuffer =
          waitUntil([&] { return rig->loopbackFrames() > sent + 150; }, 20000) && connected();
      reopensAfterFailedBuffer = streamOns(rig->capture()) - streamsBefore;

      // A stall: reopened once, then disconnected; Try Again brings it back, framed.
      const int streamsBeforeStall = streamOns(rig->capture());
      rig->setStalled(true);
      stalledOnce = waitUntil(
          [&] {
            return camera.connectMode->value() == ConnectMode::disconnected &&
                   paneShown(run.window);
          },
          30000);
      reopensForStall = streamOns(rig->capture()) - streamsBeforeStall;
      rig->setStalled(false);
      for (auto* pane : run.window.findChildren<corvane::ConnectController*>())
        if (pane->isVisible() && pane->tryAgainButton) pane->tryAgainButton->click();
      backAfterTryAgain =
          waitUntil(connected, 30000) &&
          waitUntil([&] { return boxesOf(camera).manual.size() >= recordBoxes; }, 15000);
      boxesAfterTryAgain = boxesOf(camera).manual.size();

      // The quit while frames stream.
      const size_t streaming = rig->loopbackFrames();
      waitUntil([&] { return rig->loopbackFrames() > streaming + 10; }, 5000);
      finish();
    });
  });
  if (quitting.isValid()) quitMs = quitting.elapsed();
  rig->stop();

  EXPECT_EQ(rc, 0);
  ASSERT_TRUE(started) << "the simulated camera was never connected";
  EXPECT_TRUE(boxedAtStart) << "nobody boxed at the start";
  EXPECT_TRUE(composed) << "no composed picture";
  EXPECT_TRUE(reachedLoopback) << "no frames reached the virtual camera's device";
  EXPECT_TRUE(paneAfterUnplug) << "no connection pane after the unplug";
  EXPECT_TRUE(darkAfterUnplug) << "the pane is drawn over the last picture, not a dark preview";
  EXPECT_TRUE(backAfterPlug) << "not connected again after the plug-in";
  EXPECT_TRUE(layoutRestored) << "the saved layout (" << recordBoxes
                              << " boxes) was not restored after the plug-in: " << boxesAfterPlug;
  EXPECT_TRUE(keptThroughFailedBuffer) << "the stream did not go on after one failed buffer";
  EXPECT_EQ(reopensAfterFailedBuffer, 0) << "one failed buffer made the camera reopen";
  EXPECT_TRUE(stalledOnce) << "a stalled camera did not end disconnected";
  EXPECT_EQ(reopensForStall, 1) << "a stall reopens the camera once";
  EXPECT_TRUE(backAfterTryAgain) << "Try Again did not bring the camera back framed: "
                                 << boxesAfterTryAgain << " of " << recordBoxes << " boxes";
  EXPECT_GE(quitMs, 0);
  EXPECT_LT(quitMs, 2000) << "the quit while streaming took " << quitMs << " ms";
}
