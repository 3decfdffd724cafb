#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QSocketNotifier>

#include "camera/CameraManager.h"
#include "camera/PlayerManager.h"
#include "config/ConfigManager.h"
#include "log/LogManager.h"
#include "qt/QtMainQueue.h"
#include "main/MainController.h"
#include "shell/ProgramInfo.h"
#include "widgets/ViewRouter.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
  char c = 1;
  [[maybe_unused]] auto n = write(signalPipe[1], &c, 1);
}

// SIGINT and SIGTERM end the event loop, so the program quits through its normal path.
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
}

}  // namespace

int main(int argc, char** argv) {
  corvane::configureMainBundle();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Corvane Studio");
  QApplication::setApplicationVersion(CORVANE_VERSION);
  platform::QtMainQueue::install();
  quitOnSignals(app);

  corvane::LogManager::shared().log("Corvane Studio " CORVANE_VERSION " starting");
  corvane::ConfigManager::shared().setup();

  corvane::ViewRouter::setFactories([] { return corvane::MainController::fromStoryboard(); },
                                    nullptr);
  QMainWindow window;
  window.setWindowTitle("Corvane Studio");
  window.resize(1280, 800);
  if (QWidget* content = corvane::ViewRouter::shared().mainController())
    window.setCentralWidget(content);
  window.show();

  auto& camera = corvane::CameraManager::shared();
  camera.setupEffectView();
  // A video file named on the command line stands in for the camera.
  QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() > 1 && !arguments.last().startsWith('-')) {
    auto& player = corvane::PlayerManager::shared();
    player.setupComplete->bind([&player](bool ok) {
      if (ok) player.play();
    });
    player.loadVideo(arguments.last());
  } else {
    camera.startConnection();
  }

  int rc = app.exec();
  corvane::LogManager::shared().log("Corvane Studio quits");
  platform::QtMainQueue::uninstall();
  return rc;
}
