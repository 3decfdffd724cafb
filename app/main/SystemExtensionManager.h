#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/V4l2Api.h"
#include "dispatch/Queue.h"
#include "dispatch/SerialQueue.h"

namespace corvane {

// Installs and removes the program's virtual camera (the loopback video device). One
// process-wide instance.
//
// Activation makes sure our v4l2loopback device exists: present already, nothing to do; the
// module not loaded, it is loaded with our options; loaded without our device, the device is
// added through the module's control device. Deactivation removes our device and never another
// program's. Every privileged step goes through our helper under pkexec, as an argument vector;
// commands run on the manager's own queue, never on the main thread, one request after another.
class SystemExtensionManager {
 public:
  using CompletionHandler = std::function<void(bool deactivated)>;
  // How a request ended (the first two as the system's request results number them).
  enum class Outcome { completed = 0, willCompleteAfterReboot = 1, failed = 2 };
  using ActivationHandler = std::function<void(Outcome)>;

  struct Environment {
    // Runs a command to its end: its exit status, or -1 when it could not be started.
    std::function<int(const std::vector<std::string>& argv)> run;
    platform::V4l2Api* api = nullptr;
    std::string sysRoot = "/sys";
    std::string devRoot = "/dev";
    std::string pkexecPath = "/usr/bin/pkexec";
    std::string modinfoPath = "/usr/sbin/modinfo";
    std::string udevadmPath = "/usr/bin/udevadm";
    std::string helperPath;
    // Where activation outcomes are handled (the sink, the prompt).
    platform::Queue* mainQueue = nullptr;
    // Connects the sink stream; true when it is connected.
    std::function<bool()> connectSink;
    // Asks the user; the closure gets true when the user confirms.
    std::function<void(const std::string& text, std::function<void(bool)> confirm)> showAlert;
    // Starts the program again and ends this one.
    std::function<bool()> relaunch;
    std::function<void()> terminate;

    static Environment process();
  };

  static constexpr const char* kModuleName = "v4l2loopback";
  static constexpr const char* kModulePackage = "v4l2loopback-dkms";

  static SystemExtensionManager& shared();
  SystemExtensionManager();
  explicit SystemExtensionManager(Environment environment);
  virtual ~SystemExtensionManager();

  virtual void activateCameraExtension();
  // The handler, if any, is called once on the main queue with the outcome (tests, the check tool).
  void activateCameraExtension(ActivationHandler handler);
  // Calls the handler once, on the manager's queue: true when the virtual camera is gone (or was
  // never there), false on failure or when removing it needs a reboot.
  virtual void deactivateCameraExtension(CompletionHandler completionHandler);

  // The exact commands, for the log and the tests.
  std::vector<std::string> loadCommand() const;
  std::vector<std::string> addCommand() const;
  std::vector<std::string> unloadCommand() const;
  std::vector<std::string> deleteCommand(const std::string& devicePath) const;

  // Waits until the requests submitted so far have run their commands.
  void drain();

 private:
  struct Result {
    Outcome outcome = Outcome::failed;
    std::string error;  // for a failure
    bool notFound = false;
  };

  Result activate();
  Result deactivate();
  Result afterPrivilegedStep(int status, const std::string& what);
  bool moduleLoaded() const;
  bool hasControlDevice() const;
  bool ourNodeExists() const;

  void activationFinished(const Result& result, const ActivationHandler& handler);
  void deactivationFinished(const Result& result, const CompletionHandler& handler);
  void offerRestart();

  Environment env_;
  std::atomic<int> deactivationsRunning_{0};
  std::atomic<bool> activationRunning_{false};
  std::unique_ptr<platform::SerialQueue> queue_;
};

}  // namespace corvane
