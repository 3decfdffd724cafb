#include "main/SystemExtensionManager.h"

#include <QCoreApplication>
#include <QString>
#include <filesystem>
#include <future>

#include "Bundle.h"
#include "Process.h"
#include "Workspace.h"
#include "dispatch/MainQueue.h"
#include "i18n/Localized.h"
#include "log/LogManager.h"
#include "main/VirtualCameraSink.h"
#include "shell/AlertManager.h"
#include "shell/RelaunchArguments.h"
#include "vcam/LoopbackOutput.h"

namespace fs = std::filesystem;

namespace corvane {

namespace {

std::string joined(const std::vector<std::string>& argv) {
  std::string s;
  for (const auto& a : argv) {
    if (!s.empty()) s += ' ';
    s += a.find(' ') == std::string::npos ? a : "\"" + a + "\"";
  }
  return s;
}

// The helper beside the installed program: <prefix>/libexec/corvane-studio/.
std::string helperBesideProgram() {
  fs::path exe(platform::Bundle::executablePath());
  return (exe.parent_path().parent_path() / "libexec/corvane-studio/corvane-studio-virtual-camera")
      .lexically_normal()
      .string();
}

}  // namespace

SystemExtensionManager::Environment SystemExtensionManager::Environment::process() {
  Environment env;
  env.run = [](const std::vector<std::string>& argv) { return platform::Process::run(argv); };
  env.api = &platform::V4l2Api::system();
  env.helperPath = helperBesideProgram();
  env.mainQueue = &platform::MainQueue::shared();
  env.connectSink = [] { return VirtualCameraSink::shared().connectCameraExtension(); };
  env.showAlert = [](const std::string& text, std::function<void(bool)> confirm) {
    // The program's one alert: never a second one over another.
    AlertManager::shared().showAlert(QString::fromStdString(text), std::move(confirm));
  };
  env.relaunch = [] {
    // Two seconds later, with the clip that plays: this instance has gone by then.
    return platform::Workspace::shared().relaunchApplication(RelaunchArguments::process());
  };
  env.terminate = [] { QCoreApplication::quit(); };
  return env;
}

SystemExtensionManager& SystemExtensionManager::shared() {
  // Kept past the end of main: a quit while the password prompt is up must not wait for it.
  static SystemExtensionManager* manager = new SystemExtensionManager();
  return *manager;
}

SystemExtensionManager::SystemExtensionManager() : SystemExtensionManager(Environment::process()) {}

SystemExtensionManager::SystemExtensionManager(Environment environment)
    : env_(std::move(environment)),
      queue_(std::make_unique<platform::SerialQueue>("virtual camera activation")) {
  if (!env_.api) env_.api = &platform::V4l2Api::system();
  if (!env_.mainQueue) env_.mainQueue = &platform::MainQueue::shared();
}

SystemExtensionManager::~SystemExtensionManager() { queue_.reset(); }

std::vector<std::string> SystemExtensionManager::loadCommand() const {
  return {env_.pkexecPath, env_.helperPath, "modprobe", kModuleName, "exclusive_caps=1",
          std::string("card_label=") + VirtualCameraSink::kCardLabel};
}

std::vector<std::string> SystemExtensionManager::addCommand() const {
  return {env_.pkexecPath, env_.helperPath, "v4l2loopback-ctl", "add", "-n",
          VirtualCameraSink::kCardLabel, "-x", "1"};
}

std::vector<std::string> SystemExtensionManager::unloadCommand() const {
  return {env_.pkexecPath, env_.helperPath, "modprobe", "-r", kModuleName};
}

std::vector<std::string> SystemExtensionManager::deleteCommand(const std::string& devicePath) const {
  return {env_.pkexecPath, env_.helperPath, "v4l2loopback-ctl", "delete", devicePath};
}

bool SystemExtensionManager::moduleLoaded() const {
  std::error_code ec;
  return fs::exists(fs::path(env_.sysRoot) / "module" / kModuleName, ec);
}

bool SystemExtensionManager::hasControlDevice() const {
  std::error_code ec;
  return fs::exists(fs::path(env_.devRoot) / kModuleName, ec);
}

bool SystemExtensionManager::ourNodeExists() const {
  return platform::LoopbackOutput::findDevice(*env_.api, env_.sysRoot, env_.devRoot,
                                              VirtualCameraSink::kCardLabel)
      .has_value();
}

void SystemExtensionManager::activateCameraExtension() { activateCameraExtension(nullptr); }

void SystemExtensionManager::activateCameraExtension(ActivationHandler handler) {
  CV_LOG_DEBUG("Activate camera extension");
  // Each request carries its own kind; an activation never overlaps a removal.
  if (deactivationsRunning_ > 0) {
    CV_LOG_DEBUG("A deactivation is running; the activation is not started");
    if (handler) env_.mainQueue->async([handler] { handler(Outcome::failed); });
    return;
  }
  if (activationRunning_.exchange(true)) {
    CV_LOG_DEBUG("An activation is running already");
    if (handler) env_.mainQueue->async([handler] { handler(Outcome::failed); });
    return;
  }
  queue_->async([this, handler] {
    Result r = activate();
    env_.mainQueue->async([this, r, handler] {
      activationRunning_ = false;
      activationFinished(r, handler);
    });
  });
}

SystemExtensionManager::Result SystemExtensionManager::activate() {
  if (ourNodeExists()) return {Outcome::completed, {}, false};
  if (!moduleLoaded()) {
    if (env_.run({env_.modinfoPath, kModuleName}) != 0)
      return {Outcome::failed,
              std::string("the ") + kModuleName + " module is not installed; install the package " +
                  kModulePackage,
              false};
    auto argv = loadCommand();
    CV_LOG_DEBUG("run " + joined(argv));
    return afterPrivilegedStep(env_.run(argv), "loading the module");
  }
  // Loaded for another program: add our device beside its devices, never reload the module.
  if (!hasControlDevice()) return {Outcome::willCompleteAfterReboot, {}, false};
  auto argv = addCommand();
  CV_LOG_DEBUG("run " + joined(argv));
  return afterPrivilegedStep(env_.run(argv), "adding the device");
}

SystemExtensionManager::Result SystemExtensionManager::afterPrivilegedStep(int status,
                                                                           const std::string& what) {
  if (status == 126 || status == 127)
    return {Outcome::failed, what + " was not authorised (pkexec " + std::to_string(status) + ")",
            false};
  if (status != 0)
    return {Outcome::failed, what + " failed (exit status " + std::to_string(status) + ")", false};
  // The module makes the node before modprobe returns; udev makes its /dev entry a moment later.
  // Waiting for udev lets the sink connect at once instead of offering a needless restart.
  env_.run({env_.udevadmPath, "settle", "--timeout=5"});
  if (!platform::LoopbackOutput::hasNodeNamed(env_.sysRoot, VirtualCameraSink::kCardLabel))
    return {Outcome::failed, what + " left no device named \"" +
                                 std::string(VirtualCameraSink::kCardLabel) + "\"",
            false};
  return {Outcome::completed, {}, false};
}

void SystemExtensionManager::activationFinished(const Result& r, const ActivationHandler& handler) {
  if (r.outcome == Outcome::failed) {
    CV_LOG_DEBUG("Failed to activate the camera, the " + std::string(kModuleName) +
                 " module (package " + kModulePackage + ") is needed");
    CV_LOG_DEBUG(r.error);
  } else {
    CV_LOG_DEBUG("Request finished with result: " + std::to_string(int(r.outcome)));
  }
  if (r.outcome == Outcome::willCompleteAfterReboot)
    CV_LOG_INFO("Please reboot to finish activating the Vantrel camera");
  if (r.outcome == Outcome::completed) {
    CV_LOG_DEBUG("The camera is activated");
    // Linux needs no restart: the sink connects now. Only when it still cannot is the restart
    // offered.
    bool connected = env_.connectSink && env_.connectSink();
    if (!connected) offerRestart();
  }
  if (handler) handler(r.outcome);
}

void SystemExtensionManager::offerRestart() {
  if (!env_.showAlert) return;
  env_.showAlert(localized("camera_extension_desc"), [this](bool confirmed) {
    if (!confirmed) return;
    CV_LOG_DEBUG("User confirm to restart");
    if (env_.relaunch && !env_.relaunch()) {
      CV_LOG_ERROR("The program could not be started again");
      return;
    }
    if (env_.terminate) env_.terminate();
  });
}

void SystemExtensionManager::deactivateCameraExtension(CompletionHandler completionHandler) {
  CV_LOG_DEBUG("Deactivate camera extension");
  ++deactivationsRunning_;
  queue_->async([this, completionHandler] {
    Result r = deactivate();
    deactivationFinished(r, completionHandler);
    --deactivationsRunning_;
  });
}

SystemExtensionManager::Result SystemExtensionManager::deactivate() {
  auto devices = platform::LoopbackOutput::loopbackDevices(*env_.api, env_.sysRoot, env_.devRoot);
  std::vector<std::string> ours;
  for (const auto& d : devices)
    if (d.name == VirtualCameraSink::kCardLabel) ours.push_back(d.devicePath);
  if (ours.empty()) return {Outcome::failed, "not found", true};
  if (ours.size() == devices.size()) {
    auto argv = unloadCommand();
    CV_LOG_DEBUG("run " + joined(argv));
    int status = env_.run(argv);
    if (status != 0)
      return {Outcome::failed, "unloading the module failed (exit status " +
                                   std::to_string(status) + ")",
              false};
    return {Outcome::completed, {}, false};
  }
  // Other programs' devices stay: ours goes through the control device, or not at all.
  if (!hasControlDevice())
    return {Outcome::failed,
            "other programs' loopback devices are present and the module has no control device",
            false};
  for (const auto& path : ours) {
    auto argv = deleteCommand(path);
    CV_LOG_DEBUG("run " + joined(argv));
    int status = env_.run(argv);
    if (status != 0)
      return {Outcome::failed,
              "removing " + path + " failed (exit status " + std::to_string(status) + ")", false};
  }
  return {Outcome::completed, {}, false};
}

void SystemExtensionManager::deactivationFinished(const Result& r,
                                                  const CompletionHandler& handler) {
  bool deactivated = false;
  if (r.outcome == Outcome::completed) {
    CV_LOG_DEBUG("Request finished with result: 0");
    CV_LOG_DEBUG("The camera is deactivated");
    deactivated = true;
  } else if (r.notFound) {
    CV_LOG_DEBUG("Failed to deactivate the camera, the extension is not found");
    deactivated = true;
  } else {
    CV_LOG_DEBUG("Failed to deactivate the camera, error: " + r.error);
  }
  if (handler) handler(deactivated);
}

void SystemExtensionManager::drain() { queue_->drain(); }

}  // namespace corvane
