#pragma once

#include <functional>

class QCoreApplication;
class QObject;

namespace corvane {

// Turns SIGINT, SIGTERM and SIGHUP into a quit of the event loop, through a socket pair the
// handler writes one byte into, so the program ends by its normal path (settings saved, usage
// reported).
class SignalQuitter {
 public:
  static bool install(QCoreApplication& app);
  // True once one of the signals arrived since install: the start-up's waits, which run before
  // the event loop (and so before its quit), end on it.
  static bool received();
  // Runs `action` on the main thread at each signal while `context` lives, besides the quit: a
  // dialog shown before the event loop runs (whose own loop a quit does not end) closes so.
  static void whenSignalled(QObject* context, std::function<void()> action);
  // Gives the three signals their default handling back and closes the pair.
  static void uninstall();
};

}  // namespace corvane
