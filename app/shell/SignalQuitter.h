#pragma once

class QCoreApplication;

namespace corvane {

// Turns SIGINT, SIGTERM and SIGHUP into a quit of the event loop, through a socket pair the
// handler writes one byte into, so the program ends by its normal path (settings saved, usage
// reported).
class SignalQuitter {
 public:
  static bool install(QCoreApplication& app);
  // Gives the three signals their default handling back and closes the pair.
  static void uninstall();
};

}  // namespace corvane
