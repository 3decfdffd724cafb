#include "shell/StudioMain.h"

#include <QApplication>
#include <QScreen>

#include "camera/CameraManager.h"
#include "camera/PlayerManager.h"
#include "dispatch/SerialQueue.h"
#include "log/LogManager.h"
#include "qt/DisplayPlatform.h"
#include "qt/QtMainQueue.h"
#include "render/MetalContext.h"
#include "shell/AppDelegate.h"
#include "shell/CustomWindow.h"
#include "shell/LaunchViewController.h"
#include "shell/ProfileProbe.h"
#include "shell/ProgramInfo.h"
#include "shell/ShellControllers.h"
#include "shell/SignalQuitter.h"

namespace corvane {

namespace {

constexpr QSize LAUNCH_SIZE{800, 450};

}  // namespace

int studioMain(int argc, char** argv, const std::function<void(StudioRun&)>& started) {
  configureMainBundle();
  // Before the application object: it picks the display platform (X11 under a Wayland session).
  platform::DisplayPlatform::applyPreferred();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Corvane Studio");
  QApplication::setApplicationVersion(CORVANE_VERSION);
  platform::QtMainQueue::install();
  SignalQuitter::install(app);
  LogManager::shared().log("Corvane Studio " CORVANE_VERSION " starting");
  registerShellControllers();

  CameraManager& camera = CameraManager::shared();
  AppDelegate delegate(camera, AppDelegate::Environment::process());
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                   [&delegate] { delegate.applicationWillTerminate(); });
  registerShellWindows(delegate);
  delegate.applicationWillFinishLaunching();

  CustomWindow window([&camera] { return camera.connectMode->value(); });
  window.setWindowTitle("Corvane Studio");
  delegate.attachTo(&window);
  auto* launch = new LaunchViewController(LaunchViewController::Environment::process());
  window.setMainContent(launch);
  window.setFixedSize(LAUNCH_SIZE);  // the launch screen does not resize; the main window does
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    window.move(area.center() - QPoint(LAUNCH_SIZE.width() / 2, LAUNCH_SIZE.height() / 2));
  }
  launch->viewDidLoad();
  // The run that only removes the virtual camera shows no window.
  if (!delegate.isDeactivateRun()) window.show();
  delegate.applicationDidFinishLaunching();

  // The renderer's effect pass, fed by every frame the analysis completes.
  camera.setupEffectView();
  // A video file named on the command line stands in for the camera (the demo clip).
  QStringList arguments = QCoreApplication::arguments();
  if (!delegate.isDeactivateRun() && arguments.size() > 1 && !arguments.last().startsWith('-')) {
    auto& player = PlayerManager::shared();
    player.setupComplete->bind([&player](bool ok) {
      if (ok) player.play();
    });
    player.loadVideo(arguments.last());
  }

  // A profiling run's probe (tools/cpu-profile), when the environment asks for one.
  ProfileProbe::installFromEnvironment(camera, &app);

  StudioRun run{app, delegate, window, camera};
  if (started) started(run);

  int rc = app.exec();
  // A file still playing would hand frames to the renderer while the program's objects go.
  PlayerManager::shared().close();
  // Passes already handed to the render queue finish while the windows' objects are there.
  if (auto queue = MetalContext::shared().renderQueue) queue->drain();
  LogManager::shared().log("Corvane Studio quits");
  SignalQuitter::uninstall();
  platform::QtMainQueue::uninstall();
  return rc;
}

}  // namespace corvane
