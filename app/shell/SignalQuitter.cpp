#include "shell/SignalQuitter.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

namespace corvane {

namespace {

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t signalled = 0;
QPointer<QSocketNotifier> notifier;
constexpr int SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

void onSignal(int) {
  signalled = 1;
  char c = 1;
  [[maybe_unused]] auto n = write(signalPipe[1], &c, 1);
}

}  // namespace

bool SignalQuitter::install(QCoreApplication& app) {
  if (signalPipe[0] >= 0) return true;
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return false;
  signalled = 0;
  notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
    char c;
    [[maybe_unused]] auto n = read(signalPipe[0], &c, 1);
    app.quit();
  });
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int number : SIGNALS) sigaction(number, &sa, nullptr);
  return true;
}

bool SignalQuitter::received() { return signalled != 0; }

void SignalQuitter::whenSignalled(QObject* context, std::function<void()> action) {
  if (!notifier) return;
  QObject::connect(notifier, &QSocketNotifier::activated, context, std::move(action));
}

void SignalQuitter::uninstall() {
  for (int number : SIGNALS) signal(number, SIG_DFL);
  delete notifier;
  for (int& fd : signalPipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace corvane
