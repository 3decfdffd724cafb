#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QScreen>
#include <QSocketNotifier>

#include "camera/CameraManager.h"
#include "log/LogManager.h"
#include "qt/QtMainQueue.h"
#include "shell/AboutViewController.h"
#include "shell/AppDelegate.h"
#include "shell/CustomWindow.h"
#include "shell/LaunchViewController.h"
#include "shell/ProgramInfo.h"
#include "shell/ShellControllers.h"
#include "shell/ShellPopups.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
  char c = 1;
  [[maybe_unused]] auto n = write(signalPipe[1], &c, 1);
}

// SIGINT, SIGTERM and SIGHUP end the event loop, so the program quits through its normal path
// (settings saved, usage reported).
void quitOnSignals(QApplication& app) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
    char c;
    [[maybe_unused]] auto n = read(signalPipe[0], &c, 1);
    app.quit();
  });
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
}

constexpr QSize LAUNCH_SIZE{800, 450};

}  // namespace

int main(int argc, char** argv) {
  corvane::configureMainBundle();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Corvane Studio");
  QApplication::setApplicationVersion(CORVANE_VERSION);
  platform::QtMainQueue::install();
  quitOnSignals(app);
  corvane::LogManager::shared().log("Corvane Studio " CORVANE_VERSION " starting");
  corvane::registerShellControllers();

  corvane::CameraManager& camera = corvane::CameraManager::shared();
  corvane::AppDelegate delegate(camera, corvane::AppDelegate::Environment::process());
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                   [&delegate] { delegate.applicationWillTerminate(); });
  delegate.applicationWillFinishLaunching();
  delegate.setAboutWindowFactory([] { return corvane::AboutViewController::instantiate(); });
  corvane::ShellPopups::install(delegate.menuLanguageEvent, delegate.menuPreferencesiEvent);

  corvane::CustomWindow window([&camera] { return camera.connectMode->value(); });
  window.setWindowTitle("Corvane Studio");
  delegate.attachTo(&window);
  auto* launch =
      new corvane::LaunchViewController(corvane::LaunchViewController::Environment::process());
  window.setMainContent(launch);
  window.resize(LAUNCH_SIZE);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    window.move(area.center() - QPoint(LAUNCH_SIZE.width() / 2, LAUNCH_SIZE.height() / 2));
  }
  launch->viewDidLoad();
  // The run that only removes the virtual camera shows no window.
  if (!delegate.isDeactivateRun()) window.show();
  delegate.applicationDidFinishLaunching();

  int rc = app.exec();
  corvane::LogManager::shared().log("Corvane Studio quits");
  platform::QtMainQueue::uninstall();
  return rc;
}
