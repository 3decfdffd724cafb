// Runs the updater's own window and flow, in this process, against a simulated Kestova Camera
// and its audio device: the camera's USB control side and its update volume (attached, mounted
// through a simulated udisksctl), the audio device's HID interfaces behind the HID backend seam
// with its update volume a real folder (a small tmpfs where a scenario wants the copy to fail),
// and the cloud's version check and package served over loopback https. Everything above those
// seams is the updater's own code.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "AudioFirmwareUpdater.h"
#include "CompleteController.h"
#include "ConfigManager.h"
#include "ErrorController.h"
#include "LogManager.h"
#include "LoopbackHttpServer.h"
#include "MainController.h"
#include "ResourceBundleClass.h"
#include "SimulatedCamera.h"
#include "SimulatedHidDevice.h"
#include "SmallTmpfs.h"
#include "TempDir.h"
#include "TestZip.h"
#include "ToolOptions.h"
#include "USBManager.h"
#include "UnmountedDisks.h"
#include "UpdateManager.h"
#include "Workspace.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"
#include "qt/DisplayPlatform.h"
#include "qt/QtMainQueue.h"

namespace {

namespace fs = std::filesystem;
using updater::MainController;

constexpr const char* kUsage =
    "Usage: corvane-updater-simulated-device [--scenario NAME] [--silent-from COMMAND]\n"
    "                                        [--commands FIFO]\n"
    "\n"
    "Runs the Corvane Studio Updater's window against a simulated Kestova Camera and its audio\n"
    "device. The camera answers over its USB control requests and takes its image on a volume\n"
    "the updater mounts through a simulated udisksctl; the audio device answers the text\n"
    "commands over its HID interface (through the HID backend seam) and takes its image on a\n"
    "folder of its own; the cloud answers the version check with newer firmware and serves a\n"
    "package of both images over loopback https. The updater's day log is named at the start.\n"
    "\n"
    "Scenarios:\n"
    "  good                     the update runs through (the default)\n"
    "  two-interfaces           the audio device lists a silent consumer-control interface\n"
    "                           after its update interface\n"
    "  two-interfaces-reversed  the same, listed before the update interface\n"
    "  copy-fails               the audio device's volume is too small for its image (a tmpfs;\n"
    "                           needs the right to mount, as root)\n"
    "  copy-fails-read-only     the audio device's volume is mounted read-only (a tmpfs)\n"
    "  silent                   the audio device stops answering once --silent-from's command\n"
    "                           arrives (default start_update)\n"
    "\n"
    "Commands, one a line, on standard input or the FIFO:\n"
    "  status        the page shown, its texts, the focused control and the device's state\n"
    "  mend-volume   the audio device's volume takes the image from now on\n"
    "  answer        the audio device answers again\n"
    "  unplug, plug  the audio device goes and comes back\n"
    "  return        presses Return in the window\n"
    "  quit          closes the updater's window\n";

const char* pageName(MainController::Page page) {
  using Page = MainController::Page;
  switch (page) {
    case Page::privacy:
      return "privacy";
    case Page::connect:
      return "connect";
    case Page::progress:
      return "progress";
    case Page::complete:
      return "complete";
    case Page::error:
      return "error";
    case Page::localFile:
      return "local file";
    default:
      return "none";
  }
}

// What a control shows, for the status lines.
std::string describe(const QWidget* widget) {
  if (!widget) return "nothing";
  std::string text;
  if (auto* button = qobject_cast<const QAbstractButton*>(widget))
    text = button->text().toStdString();
  return std::string(widget->metaObject()->className()) + (text.empty() ? "" : " \"" + text + "\"");
}

// The visible texts of the page shown, in the order of its children.
std::string pageTexts(const QWidget* page) {
  std::string out;
  if (!page) return out;
  for (const QWidget* child : page->findChildren<const QWidget*>()) {
    if (!child->isVisibleTo(page->window())) continue;
    QString text;
    if (auto* label = qobject_cast<const QLabel*>(child)) text = label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(child))
      text = "[" + button->text() + "]";
    if (!text.isEmpty()) out += "  " + text.toStdString() + "\n";
  }
  return out;
}

// The camera's update as the camera does it: idle until the updater triggers its update over
// USB (the byte 2 on the update selector), then busy a few readings long, done once, and idle
// again after its restart.
class CameraUpdateModel {
 public:
  explicit CameraUpdateModel(testsupport::SimulatedCamera& camera) : camera_(camera) {
    camera_.queueStatus(0, 0);
  }
  // Called now and then on the main thread.
  void poll() {
    std::vector<uint8_t> modes = camera_.updateModes();
    auto triggered = size_t(std::count(modes.begin(), modes.end(), uint8_t(2)));
    if (triggered == seen_) return;
    seen_ = triggered;
    for (uint8_t progress : {20, 40, 60, 80}) camera_.queueStatus(2, progress);
    camera_.queueStatus(5, 100);
    camera_.queueStatus(0, 0);
  }

 private:
  testsupport::SimulatedCamera& camera_;
  size_t seen_ = 0;
};

// Everything below the updater's seams, and the environment its window runs in.
struct Rig {
  testsupport::TempDir dir;
  testsupport::LoopbackHttpServer cloud{testsupport::LoopbackHttpServer::Scheme::https};
  std::shared_ptr<testsupport::SimulatedCamera> camera =
      std::make_shared<testsupport::SimulatedCamera>();
  CameraUpdateModel cameraModel{*camera};
  testsupport::UnmountedDisks disks;
  testsupport::SimulatedHidDevice hid;
  std::unique_ptr<testsupport::SmallTmpfs> audioVolume;  // the copy-fails scenarios' volume
  platform::SerialQueue usbQueue{"sim-usb"}, fileQueue{"sim-files"};
  std::unique_ptr<updater::ConfigManager> config;
  std::unique_ptr<updater::USBManager> usb;
  std::unique_ptr<platform::Volumes> volumes;
  std::unique_ptr<updater::UpdateManager> updateManager;
  platform::Workspace workspace{platform::Workspace::Environment{[](const auto& argv) {
    std::string line;
    for (const auto& a : argv) line += (line.empty() ? "" : " ") + a;
    std::cout << "the complete page opens: " << line << " (not started here)" << std::endl;
    return true;
  }}};

  // False, with the reason on standard error, when the scenario cannot be set up.
  bool setUp(const std::string& scenario, const std::string& silentFrom) {
    cloud.trustInThisProcess();
    if (!serveUpdate()) return false;
    updater::ConfigManager::Environment configEnv = updater::ConfigManager::Environment::process();
    auto resources = configEnv.resourcePath;
    std::string ownConfig = dir.file("Updater config.json");
    std::ofstream(ownConfig) << R"({"company_no": "TOLMIR", "studio_name": "Corvane Studio", )"
                             << R"("vid_audio": 11915, "pid_audio": 20483, "cloud_base_url": ")"
                             << cloud.baseUrl() << R"(", "storage_base_url": ")" << cloud.baseUrl()
                             << "/storage\"}";
    configEnv.resourcePath = [resources, ownConfig](const std::string& name) {
      return name == "Updater config.json" ? std::optional<std::string>(ownConfig)
                                           : resources(name);
    };
    configEnv.localLibrary = dir.file("library");
    config = std::make_unique<updater::ConfigManager>(configEnv);

    camera->answerAsTheUpdatersCamera("1.2.0", "0x1a2b3c4d");
    usb = std::make_unique<updater::USBManager>(camera->connector(0x2245, 0x1221), &usbQueue,
                                                &platform::MainQueue::shared());
    disks.addUsb("sdb1", "1-1", 0x2245, 0x1221, "KESTOVA", {{"ast_fw_update_disk", "1a2b3c4d"}});
    volumes = std::make_unique<platform::Volumes>(disks.environment());
    updater::UpdateManager::Environment updateEnv = updater::UpdateManager::Environment::process();
    updateEnv.volumes = volumes.get();
    updateEnv.chipId = [this] { return usb->chipId(); };
    updateEnv.cameraDisks = [this] {
      return updater::UpdateManager::cameraDiskRule({}, {}, usb->vendor_id(), usb->product_id());
    };
    updateEnv.workQueue = &fileQueue;
    updateManager = std::make_unique<updater::UpdateManager>(updateEnv);
    return setUpAudioDevice(scenario, silentFrom);
  }

  bool setUpAudioDevice(const std::string& scenario, const std::string& silentFrom) {
    using Second = testsupport::SimulatedHidDevice::SecondInterface;
    if (scenario == "two-interfaces") hid.setSecondInterface(Second::listedAfter);
    if (scenario == "two-interfaces-reversed") hid.setSecondInterface(Second::listedBefore);
    if (scenario == "silent") hid.silenceFrom(silentFrom);
    if (scenario == "copy-fails" || scenario == "copy-fails-read-only") {
      bool full = scenario == "copy-fails";
      audioVolume =
          std::make_unique<testsupport::SmallTmpfs>(hid.volumeRoot(), full ? "16k" : "4m");
      if (!audioVolume->mounted()) {
        std::cerr << "cannot mount a tmpfs on " << hid.volumeRoot() << ": " << audioVolume->why()
                  << "\n";
        return false;
      }
      hid.setMarkerText(testsupport::SimulatedHidDevice::Identity{}.storageId + "\n");
      if (!full && !audioVolume->setReadOnly(true)) {
        std::cerr << "cannot mount " << hid.volumeRoot() << " read-only: " << std::strerror(errno)
                  << "\n";
        return false;
      }
    }
    hid.plug();
    return true;
  }

  // The version check answers with newer firmware; the package holds both images.
  bool serveUpdate() {
    cloud.route("POST", "/1.5/version/check",
                testsupport::LoopbackHttpServer::Reply::json(
                    200, R"({"success": true, "errors": [], "data": {"hasNewVersion": false, )"
                         R"("version": "2.3.0", "fwVersion": "1.2.5", "hasNewFwVersion": true, )"
                         R"("fwVersionObj": {"link": "/fw/update.zip"}}})"));
    std::string audioImage(256 * 1024, '\0');
    for (size_t i = 0; i < audioImage.size(); ++i) audioImage[i] = char((i * 7919) & 0xFF);
    std::string zip = dir.file("update.zip");
    if (!testsupport::writeZip(zip, {{"FW version.txt", "1.2.5"},
                                     {"fw_file/update.swu", audioImage},
                                     {"fw_file/update.img", "camera image"}})) {
      std::cerr << "cannot write the package " << zip << "\n";
      return false;
    }
    std::ifstream in(zip, std::ios::binary);
    cloud.serveFile("/storage/fw/update.zip", std::string(std::istreambuf_iterator<char>(in), {}),
                    "application/zip");
    return true;
  }

  MainController::Environment environment() {
    MainController::Environment env = MainController::Environment::process();
    env.config = config.get();
    env.usbManager = usb.get();
    env.updateManager = updateManager.get();
    env.captureDevices = [] {
      platform::CaptureDevice d;
      d.localizedName = "Kestova Camera";
      d.modelID = "UVC Camera VendorID_8773 ProductID_4641";
      return std::vector<platform::CaptureDevice>{d};
    };
    env.makeAudioUpdater = updater::AudioFirmwareUpdater::framework([this](int, int) {
      return qd4718::HIDManager::Backends{hid.hidBackend(), hid.volumes()};
    });
    env.workFolder = dir.file("cache/update");
    env.makeCompletePage = [this](QWidget* parent) {
      updater::CompleteController::Environment e =
          updater::CompleteController::Environment::process();
      e.workspace = &workspace;
      e.studioName = [] { return std::string("Corvane Studio"); };
      return new updater::CompleteController(e, parent);
    };
    return env;
  }

  std::string deviceState() const {
    std::vector<std::string> commands = hid.commands();
    std::vector<uint8_t> modes = camera->updateModes();
    std::ostringstream out;
    out << "audio device: " << (hid.isPlugged() ? "plugged" : "unplugged")
        << (hid.inUpdateMode() ? ", in update mode" : "") << ", " << commands.size()
        << " commands (last: " << (commands.empty() ? "none" : commands.back())
        << "), image received: " << hid.receivedImage().size() << " bytes, reports to the "
        << "second interface: " << hid.secondInterfaceReports()
        << "; camera update triggered: " << std::count(modes.begin(), modes.end(), uint8_t(2))
        << " times";
    return out.str();
  }
};

int signalPipe[2] = {-1, -1};

void onSignal(int) {
  char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
}

struct Commands {
  Rig& rig;
  MainController* window = nullptr;

  // One command, on the main thread.
  void run(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word.empty()) return;
    if (word == "status") {
      auto page = window->currentPage();
      QWidget* shown = nullptr;
      for (QWidget* w : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisible()) shown = w;
      std::cout << "page: " << pageName(page) << "\n"
                << pageTexts(shown) << "focus: " << describe(QApplication::focusWidget())
                << "; Return presses: " << describe(window->defaultButton()) << "\n"
                << rig.deviceState() << std::endl;
      return;
    }
    if (word == "mend-volume") {
      if (rig.audioVolume && !rig.audioVolume->setReadOnly(false)) {
        std::cerr << "cannot mount the volume read-write: " << std::strerror(errno) << "\n";
        return;
      }
      rig.audioVolume.reset();  // the device's own folder, with room and writable, again
    } else if (word == "answer") {
      rig.hid.silenceAll(false);
    } else if (word == "unplug") {
      rig.hid.unplug();
    } else if (word == "plug") {
      rig.hid.plug();
    } else if (word == "return") {
      // As the key comes from the window system: to the focused control, else the window.
      QWidget* to = QApplication::focusWidget() ? QApplication::focusWidget() : window;
      for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent key(type, Qt::Key_Return, Qt::NoModifier, "\r");
        QApplication::sendEvent(to, &key);
      }
    } else if (word == "quit") {
      window->close();
    } else {
      std::cerr << "unknown command: " << word << " (see --help)\n";
      return;
    }
    std::cout << "done: " << line << std::endl;
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string scenario = "good", silentFrom = "start_update", commandsPath;
  const std::vector<std::string> scenarios = {
      "good",       "two-interfaces",       "two-interfaces-reversed",
      "copy-fails", "copy-fails-read-only", "silent"};
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&] { return tools::optionValue(argc, argv, i); };
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--scenario") {
      scenario = value();
      if (std::find(scenarios.begin(), scenarios.end(), scenario) == scenarios.end()) {
        std::cerr << "unknown scenario " << scenario << " (see --help)\n";
        return 2;
      }
    } else if (a == "--silent-from") {
      silentFrom = value();
    } else if (a == "--commands") {
      commandsPath = value();
    } else {
      std::cerr << "unknown option " << a << " (see --help)\n";
      return 2;
    }
  }

  updater::ResourceBundleClass::configureBundle();
  platform::DisplayPlatform::applyPreferred();
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  updater::LogManager::shared();
  platform::QtMainQueue::install();
  int rc = 1;
  {
    Rig rig;
    if (rig.setUp(scenario, silentFrom)) {
      std::cout << "scenario " << scenario << "; the updater's day log: "
                << updater::LogManager::shared().dayLog().logFilePath()
                << "; the audio device's volume: " << rig.hid.volumeRoot() << std::endl;
      MainController window(rig.environment());
      Commands commands{rig, &window};

      // SIGINT and SIGTERM close the window, so the volumes are unmounted on the way out.
      if (::pipe2(signalPipe, O_CLOEXEC) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
          char byte;
          [[maybe_unused]] ssize_t n = ::read(signalPipe[0], &byte, 1);
          window.close();
        });
      }
      QTimer cameraTicks;
      QObject::connect(&cameraTicks, &QTimer::timeout, [&rig] { rig.cameraModel.poll(); });
      cameraTicks.start(200);

      int input = commandsPath.empty() ? STDIN_FILENO : tools::openCommandFifo(commandsPath);
      if (input < 0) return 1;
      // Commands are read as they come, on the main thread, a line at a time.
      auto* reader = new QSocketNotifier(input, QSocketNotifier::Read, &app);
      auto pending = std::make_shared<std::string>();
      QObject::connect(reader, &QSocketNotifier::activated, &window,
                       [&commands, input, reader, pending] {
                         char bytes[512];
                         ssize_t n = ::read(input, bytes, sizeof bytes);
                         if (n <= 0) {
                           reader->setEnabled(false);  // standard input ended
                           return;
                         }
                         pending->append(bytes, size_t(n));
                         for (size_t end; (end = pending->find('\n')) != std::string::npos;) {
                           std::string line = pending->substr(0, end);
                           pending->erase(0, end + 1);
                           if (!line.empty() && line.back() == '\r') line.pop_back();
                           commands.run(line);
                         }
                       });

      window.show();
      rc = app.exec();
    }
  }
  updater::LogManager::releaseFrameworkLines();
  platform::QtMainQueue::uninstall();
  return rc;
}
