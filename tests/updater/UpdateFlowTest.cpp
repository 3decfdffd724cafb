#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "CloudService.h"
#include "CompleteController.h"
#include "ConfigManager.h"
#include "ConnectController.h"
#include "ErrorController.h"
#include "LanguageManager.h"
#include "LogManager.h"
#include "LoopbackHttpServer.h"
#include "MainController.h"
#include "ManualClock.h"
#include "PrivacyController.h"
#include "ProgresController.h"
#include "RecordingAudioUpdater.h"
#include "SimulatedCamera.h"
#include "SimulatedHidDevice.h"
#include "SmallTmpfs.h"
#include "TempDir.h"
#include "TestFiles.h"
#include "TestZip.h"
#include "ThreadQuiet.h"
#include "USBManager.h"
#include "UpdateManager.h"
#include "Volumes.h"
#include "Workspace.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"

using namespace std::chrono_literals;
using updater::MainController;
using Page = MainController::Page;
namespace fs = std::filesystem;

namespace {

using testsupport::readFile;
using testsupport::writeFile;

// The whole flow over its real parts: the simulated camera behind the USB manager, a folder of
// fake volumes, the loopback cloud and a recording audio framework; time on a manual clock.
class UpdateFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.trustInThisProcess();
    writeFile(dir.file("resources/Updater config.json"),
              R"({"company_no": "ACME", "cloud_base_url": ")" + server.baseUrl() +
                  R"(", "storage_base_url": ")" + server.baseUrl() + "/storage\"}");
    writeFile(dir.file("resources/Custom config.json"), R"({"camera_name": ["Kestova Camera"]})");
    writeFile(dir.file("resources/ast_app_update"), "resource");
    updater::ConfigManager::Environment configEnv;
    configEnv.resourcePath = [this](const std::string& name) -> std::optional<std::string> {
      std::string p = dir.file("resources/" + name);
      if (!fs::exists(p)) return std::nullopt;
      return p;
    };
    configEnv.localLibrary = dir.file("library");
    config = std::make_unique<updater::ConfigManager>(configEnv);

    camera->answerAsTheUpdatersCamera("1.2.0", "0x1a2b3c4d");
    usb = std::make_unique<updater::USBManager>(camera->connector(0x2245, 0x1221), &usbQueue,
                                                &platform::MainQueue::shared());
    volumeFolder = dir.file("volumes/KESTOVA");
    writeFile(volumeFolder + "/ast_fw_update_disk", "1a2b3c4d");
    platform::Volumes::Environment volumeEnv;
    volumeEnv.mountInfo = [this] {
      if (!volumeMounted) return std::string("29 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
      return "90 29 8:17 / " + volumeFolder + " rw - vfat /dev/sdb1 rw\n";
    };
    volumeEnv.run = [this](const std::vector<std::string>& argv) {
      bool readOnly = std::find(argv.begin(), argv.end(), "ro") != argv.end();
      if (argv.size() > 1 && argv[1] == "mount") {
        ++mounts;
        volumeMounted = true;
        std::lock_guard lock(volumeMutex);
        volumeSteps.push_back(readOnly ? "mount read-only" : "mount read-write");
        return 0;
      }
      ++ejects;
      // Without automount nothing mounts the volume again once it went.
      if (udisksInstalled) volumeMounted = false;
      std::lock_guard lock(volumeMutex);
      volumeSteps.push_back("unmount");
      return 0;
    };
    volumeEnv.findProgram = [this](const std::string& name) {
      return name == "udisksctl" && udisksInstalled ? std::string("/usr/bin/udisksctl")
                                                    : std::string();
    };
    // The camera's volume as a desktop without automount leaves it: attached, not mounted.
    fs::create_directories(dir.file("dev/disk/by-uuid"));
    fs::create_symlink("/dev/sdb1", dir.file("dev/disk/by-uuid/CAFE-0001"));
    std::string usbEntry = dir.file("sys/devices/pci0000:00/usb1/1-1/1-1:1.0/block/sdb/sdb1");
    fs::create_directories(usbEntry);
    fs::create_directories(dir.file("sys/class/block"));
    fs::create_symlink(usbEntry, dir.file("sys/class/block/sdb1"));
    writeFile(dir.file("sys/devices/pci0000:00/usb1/1-1/idVendor"), "2245\n");
    writeFile(dir.file("sys/devices/pci0000:00/usb1/1-1/idProduct"), "1221\n");
    volumeEnv.byLabelFolder = dir.file("dev/disk/by-label");
    volumeEnv.byUuidFolder = dir.file("dev/disk/by-uuid");
    volumeEnv.sysBlockFolder = dir.file("sys/class/block");
    volumes = std::make_unique<platform::Volumes>(volumeEnv);
    updater::UpdateManager::Environment updateEnv;
    updateEnv.volumes = volumes.get();
    updateEnv.chipId = [this] { return usb->chipId(); };
    updateEnv.cameraDisks = [this] {
      return updater::UpdateManager::cameraDiskRule({}, {}, usb->vendor_id(), usb->product_id());
    };
    updateEnv.resourcePath = configEnv.resourcePath;
    updateEnv.workQueue = &fileQueue;
    updateEnv.mainQueue = &platform::MainQueue::shared();
    updateManager = std::make_unique<updater::UpdateManager>(updateEnv);

    MainController::Environment& env = flowEnv;
    env.config = config.get();
    env.usbManager = usb.get();
    env.updateManager = updateManager.get();
    env.captureDevices = [this] {
      ++searches;
      std::vector<platform::CaptureDevice> devices;
      if (!present) return devices;
      platform::CaptureDevice d;
      d.localizedName = "Kestova Camera";
      d.modelID = "UVC Camera VendorID_8773 ProductID_4641";
      devices.push_back(d);
      return devices;
    };
    env.makeAudioUpdater = testsupport::RecordingAudioUpdater::factory(audio);
    env.workQueue = &work;
    env.mainQueue = &platform::MainQueue::shared();
    env.workFolder = dir.file("cache/corvane-studio-updater/update");
    env.osVersion = "6.1.0";
    env.terminate = [this] { ++terminated; };
    env.makeCompletePage = [this](QWidget* parent) {
      updater::CompleteController::Environment e;
      e.workspace = &workspace;
      e.programFolder = dir.file("bin");
      e.studioName = [] { return std::string("Corvane Studio"); };
      e.terminate = [this] { ++terminated; };
      return new updater::CompleteController(e, parent);
    };
    controller = std::make_unique<MainController>(env);
  }

  void TearDown() override {
    controller.reset();
    // Let every worker still waiting on the clock finish.
    for (int i = 0; i < 200 && clock.pendingTimers() > 0; ++i) clock.advance(1s);
    work.drain();
    fileQueue.drain();
    usbQueue.drain();
    platform::MainQueue::shared().drain();
  }

  // Drives the flow: the main queue, the event loop (the loopback cloud) and the clock, a second
  // at a time, until `done` holds or a bounded number of rounds passed.
  template <typename F>
  bool runUntil(F done) {
    auto end = std::chrono::steady_clock::now() + 90s;  // a bound, generous for sanitizer runs
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      platform::MainQueue::shared().drain();
      QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
      if (done()) break;
      // Time moves on only once the workers have done what the last second woke them for.
      if (!testsupport::waitForOtherThreadsToBlock()) continue;
      platform::MainQueue::shared().drain();
      QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
      if (done()) break;
      if (clock.pendingTimers() > 0) clock.advance(1s);
    }
    return true;
  }

  // A package with an audio image, up to the framework's start.
  bool startAudioUpdate() {
    answerVersion(true);
    servePackage({{"fw_file/update.swu", "audio"}, {"fw_file/update.img", "camera image"}});
    camera->queueStatus(0, 0);
    controller->viewDidAppear();
    return runUntil([&] {
      std::lock_guard lock(audio->mutex);
      return audio->firmwareUpdates == 1;
    });
  }

  // A package with the AI image and the firmware, installed in two passes with a restart.
  void startAllPackage() {
    answerVersion(true);
    servePackage({{"FW version.txt", "2.3.0"},
                  {"fw_file/update.img", "camera image"},
                  {"fw_file/update_ai.img", "ai image"}});
    camera->queueStatus(0, 0);
    camera->queueStatus(0, 0);
    camera->queueStatus(5, 100);
    controller->viewDidAppear();
  }

  void answerVersion(bool hasNew, const std::string& link = "/fw/update.zip",
                     const std::string& sha256 = "") {
    std::string digest = sha256.empty() ? "" : R"(, "sha256": ")" + sha256 + "\"";
    std::string answer = std::string(R"({"success": true, "errors": [], "data": {)") +
                         R"("hasNewVersion": false, "version": "2.3.0", "fwVersion": "1.2.5", )" +
                         R"("hasNewFwVersion": )" + (hasNew ? "true" : "false") +
                         R"(, "fwVersionObj": {"link": ")" + link + "\"" + digest + "}}}";
    server.route("POST", "/1.5/version/check",
                 testsupport::LoopbackHttpServer::Reply::json(200, answer));
  }
  // Serves the package; gives its SHA-256.
  std::string servePackage(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string zip = dir.file("served.zip");
    EXPECT_TRUE(testsupport::writeZip(zip, entries));
    server.serveFile("/storage/fw/update.zip", readFile(zip), "application/zip");
    return updater::CloudService::sha256OfFile(zip);
  }
  std::string workFolder() const { return dir.file("cache/corvane-studio-updater/update"); }
  size_t packageRequests() const {
    size_t n = 0;
    for (const auto& r : server.requests()) n += r.path == "/storage/fw/update.zip";
    return n;
  }
  // A package that updates the camera alone, and the camera's answers for its whole run.
  std::string serveCameraPackage() {
    std::string sha = servePackage({{"FW version.txt", "1.2.5"},
                                    {"fw_file/update.img", "camera image"},
                                    {"fw_file/notes.txt", "notes"}});
    camera->queueStatus(0, 0);  // before the download
    camera->queueStatus(0, 0);  // after the unpack
    camera->queueStatus(5, 100);
    return sha;
  }

  testsupport::TempDir dir;
  testsupport::ManualClock clock;
  testsupport::ScopedClock scopedClock{clock};
  testsupport::LoopbackHttpServer server{testsupport::LoopbackHttpServer::Scheme::https};
  platform::SerialQueue work{"flow-work"}, fileQueue{"flow-files"}, usbQueue{"flow-usb"};
  std::shared_ptr<testsupport::SimulatedCamera> camera =
      std::make_shared<testsupport::SimulatedCamera>();
  std::unique_ptr<updater::ConfigManager> config;
  std::unique_ptr<updater::USBManager> usb;
  std::string volumeFolder;
  std::unique_ptr<platform::Volumes> volumes;
  std::unique_ptr<updater::UpdateManager> updateManager;
  std::shared_ptr<testsupport::RecordingAudioUpdater::Log> audio =
      std::make_shared<testsupport::RecordingAudioUpdater::Log>();
  std::vector<std::vector<std::string>> started;
  platform::Workspace workspace{
      platform::Workspace::Environment{[this](const std::vector<std::string>& argv) {
        started.push_back(argv);
        return true;
      }}};
  std::atomic<int> searches{0};
  std::atomic<bool> present{true};
  std::atomic<int> ejects{0};
  std::mutex volumeMutex;
  std::vector<std::string> volumeSteps;  // what udisksctl was asked, in order
  std::atomic<int> mounts{0};
  std::atomic<bool> volumeMounted{true};
  std::atomic<bool> udisksInstalled{false};
  int terminated = 0;
  MainController::Environment flowEnv;
  std::unique_ptr<MainController> controller;
};

// The flow with the firmware-update framework itself, over the simulated audio device: its HID
// interfaces and its volume.
class AudioFrameworkFlowTest : public UpdateFlowTest {
 protected:
  void SetUp() override {
    UpdateFlowTest::SetUp();
    flowEnv.makeAudioUpdater = updater::AudioFirmwareUpdater::framework([this](int, int) {
      return qd4718::HIDManager::Backends{hid.hidBackend(), hid.volumes()};
    });
    controller = std::make_unique<MainController>(flowEnv);
    hid.plug();
  }

  // A package with the audio image and the camera's, and the camera's answers for a whole run.
  void startPackageWithAudio() {
    answerVersion(true);
    servePackage({{"FW version.txt", "1.2.5"},
                  {"fw_file/update.swu", audioImage},
                  {"fw_file/update.img", "camera image"}});
    camera->queueStatus(0, 0);  // before the download
    camera->queueStatus(0, 0);  // back after the audio update
    camera->queueStatus(5, 100);
    controller->viewDidAppear();
  }
  std::string dayLog() const {
    return readFile(updater::LogManager::shared().dayLog().logFilePath());
  }
  // Runs to the first page that ends a run (or asks the user), then tells whether it is `page`.
  bool endsOn(Page page) {
    runUntil([&] {
      Page now = controller->currentPage();
      return now == Page::complete || now == Page::error || now == Page::privacy;
    });
    return controller->currentPage() == page;
  }
  // A device with a second interface, listed `where`, is updated over its update interface.
  void expectUpdatedBeside(testsupport::SimulatedHidDevice::SecondInterface where) {
    hid.setSecondInterface(where);
    startPackageWithAudio();
    ASSERT_TRUE(endsOn(Page::complete));
    EXPECT_FALSE(hid.receivedImage().empty());
    EXPECT_EQ(hid.secondInterfaceReports(), 0);
  }
  // The run ends on the install-error page, and the framework's reason stands in the day log.
  void expectFailureLogged(const std::string& reason) {
    size_t before = dayLog().size();
    startPackageWithAudio();
    ASSERT_TRUE(endsOn(Page::error));
    EXPECT_EQ(controller->errorController()->actionButton->text(), "Reinstall");
    std::string lines = dayLog().substr(before);
    EXPECT_NE(lines.find("(): " + reason), std::string::npos) << lines;
    EXPECT_NE(lines.find("HIDError: " + reason), std::string::npos);
    EXPECT_NE(lines.find("uacSetInstallationErrorView()"), std::string::npos);
    EXPECT_TRUE(camera->updateModes().empty());
  }

  testsupport::SimulatedHidDevice hid;
  const std::string audioImage = std::string(70000, 'a') + "audio";
};

}  // namespace

TEST_F(UpdateFlowTest, NoNewerFirmwareEndsOnTheLatestVersionPage) {
  answerVersion(false);
  controller->viewDidAppear();
  EXPECT_EQ(controller->currentPage(), Page::connect);
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_EQ(controller->errorController()->messageLabel->text(),
            "Kestova Camera firmware is latest version.");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].path, "/1.5/version/check");
  auto fields = testsupport::LoopbackHttpServer::formFields(requests[0].body);
  EXPECT_EQ(fields.size(), 9u);
  EXPECT_EQ(fields["product"], "0x1221");
  EXPECT_EQ(fields["vendor"], "0x2245");
  EXPECT_EQ(fields["companyNo"], "ACME");
  EXPECT_EQ(fields["version"], "1.0.0");
  EXPECT_EQ(fields["os"], "Linux 6.1.0");
  EXPECT_EQ(fields["action"], "2");
  EXPECT_EQ(fields["length"], "0");
  EXPECT_EQ(fields["fwVersion"], "1.2.0");
  controller->errorController()->actionButton->click();
  EXPECT_EQ(terminated, 1);

  // Shown again: nothing starts over.
  controller->viewDidAppear();
  runUntil([&] { return clock.pendingTimers() == 0; });
  EXPECT_EQ(controller->currentPage(), Page::error);
  EXPECT_EQ(server.requests().size(), 1u);
}

// Keeps a window open, as a page whose close button does not end the updater would.
class KeepOpen : public QObject {
 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::Close) return false;
    event->ignore();
    return true;
  }
};

// From the keyboard: Return presses the page's button (where the focus is, else the page's
// own), and Ctrl+Q and Ctrl+W close the window exactly as its close button does.
TEST_F(UpdateFlowTest, TheKeyboardPressesThePagesButtonAndClosesAsTheCloseButtonDoes) {
  answerVersion(false);
  present = false;
  controller->show();
  QApplication::setActiveWindow(controller.get());
  auto key = [&](int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused ? focused : controller.get(), Qt::Key(k), modifiers);
  };
  // While it searches there is nothing to press.
  key(Qt::Key_Return);
  EXPECT_EQ(controller->defaultButton(), nullptr);
  auto connectError = [&] {
    return controller->currentPage() == Page::connect &&
           !controller->connectController()->errorView->isHidden();
  };
  ASSERT_TRUE(runUntil(connectError));
  EXPECT_EQ(controller->defaultButton(), controller->connectController()->tryAgainButton);
  // Try Again, with the focus on it or nowhere.
  const int before = searches;
  present = true;
  controller->setFocus();
  key(Qt::Key_Return);
  EXPECT_TRUE(controller->connectController()->errorView->isHidden());
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_GT(searches, before);
  EXPECT_EQ(terminated, 0);
  controller->errorController()->actionButton->setFocus(Qt::TabFocusReason);
  key(Qt::Key_Enter, Qt::KeypadModifier);  // "Close" on the latest-version page
  EXPECT_EQ(terminated, 1);

  for (int k : {Qt::Key_W, Qt::Key_Q}) {
    controller->show();
    QApplication::setActiveWindow(controller.get());
    const int closes = terminated;
    key(k, Qt::ControlModifier | Qt::ShiftModifier);  // not theirs
    EXPECT_EQ(terminated, closes);
    key(k, Qt::ControlModifier);
    EXPECT_EQ(terminated, closes + 1) << k;
    EXPECT_FALSE(controller->isVisible());
  }
  // Where the window does not close, the keys end nothing either.
  KeepOpen keep;
  controller->installEventFilter(&keep);
  controller->show();
  for (int k : {Qt::Key_W, Qt::Key_Q}) key(k, Qt::ControlModifier);
  EXPECT_EQ(terminated, 3);
  EXPECT_TRUE(controller->isVisible());
  controller->removeEventFilter(&keep);
  QApplication::setActiveWindow(nullptr);
}

TEST_F(UpdateFlowTest, AMissingCameraShowsTheConnectErrorAndTryAgainSearchesAgain) {
  answerVersion(false);
  present = false;
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] {
    return controller->currentPage() == Page::connect &&
           !controller->connectController()->errorView->isHidden();
  }));
  EXPECT_EQ(controller->connectController()->errorMeassage->text(), "Cannot find camera device.");
  EXPECT_TRUE(server.requests().empty());
  present = true;
  QTest::mouseClick(controller->connectController()->tryAgainButton, Qt::LeftButton);
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(UpdateFlowTest, APackageWithoutAudioUpdatesTheCameraAndEndsComplete) {
  answerVersion(true);
  servePackage({{"FW version.txt", "1.2.5"},
                {"fw_file/update.img", "camera image"},
                {"fw_file/notes.txt", "notes"}});
  camera->queueStatus(0, 0);  // before the download
  camera->queueStatus(0, 0);  // after the unpack
  camera->queueStatus(4, 40);
  camera->queueStatus(5, 100);
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::complete; }));
  EXPECT_TRUE(audio->created.empty());  // no audio step at all
  EXPECT_EQ(controller->updateMode, updater::UpdateMode::Fw);
  EXPECT_EQ(readFile(volumeFolder + "/update.img"), "camera image");
  EXPECT_EQ(readFile(volumeFolder + "/ast_app_update"), "resource");
  EXPECT_EQ(readFile(volumeFolder + "/notes.txt"), "notes");
  // Update mode, trigger, then update mode again for the other files; one reboot at the end.
  EXPECT_EQ(camera->updateModes(), (std::vector<uint8_t>{1, 2, 1}));
  EXPECT_EQ(camera->rebootCount(), 1);
  EXPECT_EQ(ejects, 2);
  EXPECT_EQ(controller->otherFilesUpdateProgress, 100);
  EXPECT_EQ(controller->completeController()->cameraName, QString("Kestova Camera"));
  // Everything stayed in the updater's own folder.
  EXPECT_TRUE(fs::exists(workFolder() + "/update.zip"));
  EXPECT_TRUE(fs::exists(workFolder() + "/update/fw_file/update.img"));
  EXPECT_EQ(server.requests()[0].method, "POST");  // all of it over TLS to the loopback cloud
  EXPECT_EQ(server.baseUrl().rfind("https://", 0), 0u);
}

TEST_F(UpdateFlowTest, AFailedDownloadEndsOnTheInstallError) {
  answerVersion(true);  // nothing served at the link
  camera->queueStatus(0, 0);
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_EQ(controller->errorController()->actionButton->text(), "Reinstall");
  EXPECT_TRUE(camera->updateModes().empty());
}

TEST_F(UpdateFlowTest, APackageAnnouncedTooLargeEndsOnTheInstallErrorAndTheLogSaysWhy) {
  answerVersion(true);
  testsupport::LoopbackHttpServer::Reply huge = testsupport::LoopbackHttpServer::Reply::with(
      testsupport::LoopbackHttpServer::Reply::Behaviour::endless);
  huge.announcedLength = uint64_t(3) << 30;
  server.route("GET", "/storage/fw/update.zip", huge);
  camera->queueStatus(0, 0);
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_EQ(controller->errorController()->actionButton->text(), "Reinstall");
  EXPECT_EQ(packageRequests(), 1u);
  EXPECT_FALSE(fs::exists(workFolder() + "/update.zip"));
  std::string log = readFile(updater::LogManager::shared().dayLog().logFilePath());
  EXPECT_NE(log.find("Download error: the package is announced as 3221225472 bytes"),
            std::string::npos);
  EXPECT_TRUE(camera->updateModes().empty());
}

TEST_F(UpdateFlowTest, ADiskThatFillsUpDuringTheDownloadEndsOnTheInstallErrorWithTheReason) {
  fs::create_directories(workFolder());
  testsupport::SmallTmpfs disk(workFolder(), "1500k");
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here: " << disk.why();
  answerVersion(true);
  server.route("GET", "/storage/fw/update.zip",
               testsupport::LoopbackHttpServer::Reply::with(
                   testsupport::LoopbackHttpServer::Reply::Behaviour::endless));
  camera->queueStatus(0, 0);
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_EQ(controller->errorController()->actionButton->text(), "Reinstall");
  std::string log = readFile(updater::LogManager::shared().dayLog().logFilePath());
  EXPECT_NE(log.find("Download error: cannot write " + workFolder() +
                     "/update.zip: No space left on device"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(workFolder() + "/update.zip"));
  EXPECT_TRUE(disk.isEmpty());
  EXPECT_TRUE(camera->updateModes().empty());
}

TEST_F(UpdateFlowTest, TheAudioImageGoesToTheFrameworkFirst) {
  ASSERT_TRUE(startAudioUpdate());
  ASSERT_EQ(audio->created.size(), 1u);
  EXPECT_EQ(std::get<0>(audio->created[0]), 0x2E8B);
  EXPECT_EQ(std::get<1>(audio->created[0]), 0x5003);
  EXPECT_TRUE(std::get<2>(audio->created[0]).ends_with("fw_file/update.swu"));
  EXPECT_EQ(controller->progresController()->message->text(),
            "Audio firmware is starting to update");

  // The framework reports from its own thread.
  std::thread([&] { audio->last->fireProgress(30); }).join();
  ASSERT_TRUE(runUntil(
      [&] { return controller->progresController()->progressValueLabel->text() == "30"; }));
  std::thread([&] { audio->last->fireInstallationError(); }).join();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_EQ(controller->errorController()->actionButton->text(), "Reinstall");
  EXPECT_TRUE(camera->updateModes().empty());
}

TEST_F(UpdateFlowTest, TheCameraMustReturnWithinSixteenTicksAfterTheAudioUpdate) {
  ASSERT_TRUE(startAudioUpdate());
  present = false;
  int before = searches;
  std::thread([&] { audio->last->fireComplete(); }).join();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_EQ(searches - before, 16);
  EXPECT_EQ(controller->checkCount, 16);
}

TEST_F(UpdateFlowTest, WhenTheAudioDeviceNeverAppearsTheConnectErrorShows) {
  answerVersion(true);
  servePackage({{"fw_file/update.swu", "audio"}});
  camera->queueStatus(0, 0);
  audio->connected = false;
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] {
    return controller->currentPage() == Page::connect &&
           !controller->connectController()->errorView->isHidden();
  }));
  EXPECT_EQ(audio->firmwareUpdates, 0);
  EXPECT_FALSE(controller->isStartFwUpdate);
}

TEST_F(UpdateFlowTest, AnAllPackageInstallsTheAiImageThenTheFirmwareAfterTheRestart) {
  startAllPackage();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::complete; }));
  EXPECT_EQ(controller->updateMode, updater::UpdateMode::Fw);  // the second pass
  EXPECT_EQ(camera->updateModes(), (std::vector<uint8_t>{1, 2, 1, 2}));
  EXPECT_EQ(readFile(volumeFolder + "/update.img"), "camera image");
  EXPECT_EQ(ejects, 2);
  EXPECT_EQ(camera->rebootCount(), 1);
}

TEST_F(UpdateFlowTest, ACameraThatFallsSilentMidInstallEndsOnTheInstallError) {
  answerVersion(true);
  servePackage({{"fw_file/update.img", "camera image"}});
  camera->queueStatus(0, 0);
  camera->queueStatus(0, 0);
  camera->queueStatus(4, 40);
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->otherFilesUpdateProgress == 40; }));
  // Unplugged while installing: no status arrives any more.
  camera->unplug();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_EQ(controller->errorController()->actionButton->text(), "Reinstall");
  EXPECT_EQ(camera->rebootCount(), 0);
}

TEST_F(UpdateFlowTest, TheVersionCheckWithoutAnOpenCameraCompletesWithTheFailure) {
  std::optional<std::optional<std::string>> result;
  controller->checkUpdate([&](const std::optional<std::string>& link) { result = link; });
  ASSERT_TRUE(result);  // at once, without a request
  EXPECT_FALSE(*result);
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(UpdateFlowTest, AControllerGoneWhileTheCameraRestartsStopsTheSearch) {
  startAllPackage();
  ASSERT_TRUE(runUntil([&] { return camera->updateModes().size() == 2; }));
  present = false;  // the camera restarts and does not come back
  int before = searches;
  ASSERT_TRUE(runUntil([&] { return searches >= before + 3; }));
  controller.reset();
  int atDestruction = searches;
  for (int i = 0; i < 5; ++i) clock.advance(1s);
  work.drain();
  // At most the attempt under way when the controller went; then the search ends.
  EXPECT_LE(searches, atDestruction + 1);
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST_F(UpdateFlowTest, StaleFilesOfAnEarlierRunNeverTakePartAndTheUserFilesAreLeftAlone) {
  // An earlier run left an audio image and a half-unpacked folder behind.
  writeFile(workFolder() + "/update/fw_file/update.swu", "old audio");
  writeFile(workFolder() + "/update/fw_file/update_ai.img", "old ai");
  writeFile(workFolder() + "/leftover.bin", "x");
  answerVersion(true);
  serveCameraPackage();
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::complete; }));
  EXPECT_TRUE(audio->created.empty());  // the old audio image was not used
  EXPECT_FALSE(fs::exists(workFolder() + "/leftover.bin"));
  EXPECT_FALSE(fs::exists(workFolder() + "/update/fw_file/update.swu"));
  EXPECT_EQ(controller->updateMode, updater::UpdateMode::Fw);
}

TEST_F(UpdateFlowTest, AFolderThatCannotBeMadeEmptyStopsOnTheInstallError) {
  // The updater's folder is a link someone put there: never followed, never emptied.
  fs::create_directories(dir.file("cache/corvane-studio-updater"));
  writeFile(dir.file("elsewhere/precious.txt"), "keep");
  fs::create_symlink(dir.file("elsewhere"), workFolder());
  answerVersion(true);
  serveCameraPackage();
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_EQ(controller->errorController()->actionButton->text(), "Reinstall");
  EXPECT_EQ(packageRequests(), 0u);
  EXPECT_EQ(readFile(dir.file("elsewhere/precious.txt")), "keep");
  EXPECT_TRUE(camera->updateModes().empty());
}

TEST_F(UpdateFlowTest, APlainHttpPackageLinkIsRefused) {
  answerVersion(true, server.plainUrl() + "/storage/fw/update.zip");
  serveCameraPackage();
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_EQ(packageRequests(), 0u);
  EXPECT_FALSE(controller->errorController()->detailLabel->isHidden());
  EXPECT_TRUE(camera->updateModes().empty());
}

TEST_F(UpdateFlowTest, APackageIsCheckedAgainstTheAnnouncedDigestBeforeItIsUnpacked) {
  std::string sha = serveCameraPackage();
  ASSERT_EQ(sha.size(), 64u);
  std::string wrong = sha;
  wrong[0] = wrong[0] == '0' ? '1' : '0';
  answerVersion(true, "/fw/update.zip", wrong);
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_EQ(packageRequests(), 1u);
  EXPECT_FALSE(fs::exists(workFolder() + "/update"));  // nothing unpacked
  EXPECT_TRUE(camera->updateModes().empty());
}

TEST_F(UpdateFlowTest, APackageMatchingItsDigestInstalls) {
  std::string sha = serveCameraPackage();
  std::string upper;
  for (char c : sha) upper += char(std::toupper(static_cast<unsigned char>(c)));
  answerVersion(true, "/fw/update.zip", upper);  // the digest's case does not matter
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::complete; }));
  EXPECT_EQ(readFile(volumeFolder + "/update.img"), "camera image");
}

TEST_F(UpdateFlowTest, AnArchiveThatDoesNotUnpackCompletelyIsNeverUsed) {
  std::string bytes = testsupport::zipWithDamagedSecondFile(dir.path());
  ASSERT_FALSE(bytes.empty());
  server.serveFile("/storage/fw/update.zip", bytes, "application/zip");
  answerVersion(true);
  camera->queueStatus(0, 0);
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_FALSE(fs::exists(workFolder() + "/update"));
  EXPECT_TRUE(camera->updateModes().empty());
}

TEST_F(UpdateFlowTest, WithoutAutomountTheCameraVolumeIsMountedThroughUdisks) {
  volumeMounted = false;
  udisksInstalled = true;
  answerVersion(true);
  serveCameraPackage();
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::complete; }));
  EXPECT_GE(mounts, 1);
  // Each copy looks for the marker read-only and has the volume mounted again to write; the
  // eject unmounts it.
  std::lock_guard lock(volumeMutex);
  EXPECT_EQ(volumeSteps, (std::vector<std::string>{
                             "mount read-only", "unmount", "mount read-write", "unmount",  // image
                             "mount read-only", "unmount", "mount read-write", "unmount"   // others
                         }));
  EXPECT_EQ(readFile(volumeFolder + "/update.img"), "camera image");
  EXPECT_EQ(readFile(volumeFolder + "/ast_app_update"), "resource");
}

TEST_F(UpdateFlowTest, AVolumeThatCannotBeMountedIsNamedOnTheErrorPage) {
  volumeMounted = false;
  udisksInstalled = false;  // and nothing mounts it by itself
  answerVersion(true);
  serveCameraPackage();
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  std::string detail = controller->errorController()->detailLabel->text().toStdString();
  EXPECT_FALSE(controller->errorController()->detailLabel->isHidden());
  EXPECT_NE(detail.find("ast_fw_update_disk"), std::string::npos) << detail;
  EXPECT_NE(detail.find("udisksctl"), std::string::npos) << detail;
  EXPECT_EQ(mounts, 0);
  EXPECT_FALSE(fs::exists(volumeFolder + "/update.img"));
}

TEST(UpdaterWorkFolder, IsTheUpdatersOwnCacheFolderOrAFreshPrivateOne) {
  testsupport::TempDir dir;
  auto keep = [](const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  };
  auto restore = [](const char* name, const std::optional<std::string>& v) {
    if (v)
      setenv(name, v->c_str(), 1);
    else
      unsetenv(name);
  };
  auto caches = keep("CORVANE_CACHES_DIR"), xdg = keep("XDG_CACHE_HOME"), home = keep("HOME"),
       tmp = keep("TMPDIR"), documents = keep("CORVANE_DOCUMENTS_DIR");
  setenv("CORVANE_CACHES_DIR", dir.file("caches").c_str(), 1);
  setenv("CORVANE_DOCUMENTS_DIR", dir.file("Documents").c_str(), 1);
  EXPECT_EQ(MainController::privateWorkFolder(), dir.file("caches/corvane-studio-updater/update"));

  unsetenv("CORVANE_CACHES_DIR");
  unsetenv("XDG_CACHE_HOME");
  unsetenv("HOME");
  setenv("TMPDIR", dir.path().c_str(), 1);
  std::string first = MainController::privateWorkFolder();
  std::string second = MainController::privateWorkFolder();
  restore("CORVANE_CACHES_DIR", caches);
  restore("XDG_CACHE_HOME", xdg);
  restore("HOME", home);
  restore("TMPDIR", tmp);
  restore("CORVANE_DOCUMENTS_DIR", documents);
  EXPECT_EQ(first.rfind(dir.file("corvane-studio-updater-"), 0), 0u) << first;
  EXPECT_NE(first, second);  // never a name someone could have prepared
  EXPECT_EQ(fs::status(first).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_FALSE(fs::exists(dir.file("Documents")));
}

// The updater as it starts from the build tree in a fresh home: its own resources, no studio
// settings, no machine-wide language tables, no camera. Optional files and files looked for in
// a second place are information; nothing of a normal start is an error.
TEST(UpdaterStart, ANormalStartWithoutACameraWritesNoErrorLine) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scopedClock{clock};
  std::string logPath = updater::LogManager::shared().dayLog().logFilePath();
  ASSERT_FALSE(logPath.empty());
  size_t before = readFile(logPath).size();
  // The language tables are looked for once a process: a manager of this start's own looks
  // for them as the updater's start does, whatever ran before in this process.
  updater::LanguageManager language(updater::LanguageManager::environment());
  platform::SerialQueue work{"start-work"};
  MainController::Environment env = MainController::Environment::process();
  env.captureDevices = [] { return std::vector<platform::CaptureDevice>{}; };
  env.workQueue = &work;
  env.terminate = [] {};
  auto controller = std::make_unique<MainController>(env);
  controller->viewDidAppear();
  auto searching = [&] {
    return controller->currentPage() == Page::connect &&
           !controller->connectController()->errorView->isHidden();
  };
  for (int round = 0; round < 20 && !searching(); ++round) {
    work.drain();
    platform::MainQueue::shared().drain();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    if (!searching()) clock.advance(1s);
  }
  ASSERT_TRUE(searching());
  controller.reset();
  std::string lines = readFile(logPath).substr(before);
  std::istringstream in(lines);
  std::vector<std::string> errors;
  std::map<std::string, std::string> said;  // text -> its line
  const std::vector<std::string> texts = {"No language tables at", "Not found custom config JSON",
                                          "Not found kestova setting JSON",
                                          "connectCamera: no camera device found"};
  // An optional file that is absent is told as such, in no words of a failure.
  std::vector<std::string> failureWords;
  for (std::string line; std::getline(in, line);) {
    if (line.find("[Error]") != std::string::npos) errors.push_back(line);
    for (const char* words : {"Error while enumerating files", "Load kestova setting JSON error"})
      if (line.find(words) != std::string::npos) failureWords.push_back(line);
    for (const std::string& text : texts)
      if (line.find(text) != std::string::npos) said[text] = line;
  }
  EXPECT_TRUE(errors.empty()) << errors.size() << " error lines, the first: "
                              << (errors.empty() ? "" : errors.front());
  EXPECT_TRUE(failureWords.empty()) << failureWords.front();
  // The texts stay, as information.
  for (const std::string& text : texts)
    EXPECT_NE(said[text].find("[Info]"), std::string::npos) << text << ": " << said[text];
  EXPECT_NE(said["No language tables at"].find("(they are optional)"), std::string::npos);
  EXPECT_NE(said["Not found kestova setting JSON"].find("(it is optional)"), std::string::npos);
}

TEST_F(AudioFrameworkFlowTest, AGoodUpdateReachesTheCompletePageAfterTheDevicesAnswer) {
  startPackageWithAudio();
  ASSERT_TRUE(endsOn(Page::complete));
  std::vector<uint8_t> image = hid.receivedImage();
  std::string received(image.begin(), image.end());
  EXPECT_EQ(received, audioImage);
  EXPECT_EQ(hid.commands().back(), "get_state");
  EXPECT_EQ(readFile(volumeFolder + "/update.img"), "camera image");
  // The framework's own lines stand in the updater's day log.
  EXPECT_NE(dayLog().find("Copied 70005 bytes to " + hid.volumeRoot() + "/update.swu"),
            std::string::npos);
}

// A device that lists a consumer-control interface beside its update interface, before or after
// it, is updated as one without it is.
TEST_F(AudioFrameworkFlowTest, ADeviceWithASecondHidInterfaceListedAfterIsUpdated) {
  expectUpdatedBeside(testsupport::SimulatedHidDevice::SecondInterface::listedAfter);
}

TEST_F(AudioFrameworkFlowTest, ADeviceWithASecondHidInterfaceListedBeforeIsUpdated) {
  expectUpdatedBeside(testsupport::SimulatedHidDevice::SecondInterface::listedBefore);
}

// Each failure's reason, said by the framework, is found in the updater's day log beside the
// page it led to.
TEST_F(AudioFrameworkFlowTest, ADeviceThatStopsAnsweringIsNamedInTheUpdatersDayLog) {
  hid.silence("get_update_flag");
  expectFailureLogged("Communication error!!");
}

TEST_F(AudioFrameworkFlowTest, ADeviceWhoseUpdateFailsIsNamedInTheUpdatersDayLog) {
  hid.overrideReply("get_state", "9");
  expectFailureLogged("Invalid state!![Upgrage fail]");
}

TEST_F(AudioFrameworkFlowTest, AMissingVolumeIsNamedInTheUpdatersDayLog) {
  hid.setVolumeAppears(false);
  expectFailureLogged("Can not get storage!!");
}

// A copy onto the device's volume that fails shows the privacy page with the reason; its button
// starts the update again, which completes once the volume takes the file.
TEST_F(AudioFrameworkFlowTest, AFailedCopySaysWhyAndTheButtonStartsTheUpdateAgain) {
  fs::create_directories(hid.volumeRoot() + "/update.swu");  // in the way of the image
  size_t before = dayLog().size();
  startPackageWithAudio();
  ASSERT_TRUE(endsOn(Page::privacy));
  auto* page = controller->privacyController();
  EXPECT_FALSE(page->reasonLabel->isHidden());
  EXPECT_TRUE(page->reasonLabel->text().startsWith("The firmware could not be saved on " +
                                                   QString::fromStdString(hid.volumeRoot())))
      << page->reasonLabel->text().toStdString();
  std::string lines = dayLog().substr(before);
  EXPECT_NE(lines.find("HIDError: Can not save file!!"), std::string::npos) << lines;
  EXPECT_NE(
      lines.find("uacSetPrivacyView(): the firmware could not be saved on " + hid.volumeRoot()),
      std::string::npos);
  EXPECT_EQ(controller->defaultButton(), page->settingButton);

  fs::remove_all(hid.volumeRoot() + "/update.swu");
  camera->queueStatus(0, 0);  // the second run's first look
  page->settingButton->click();
  EXPECT_EQ(controller->currentPage(), Page::connect);
  ASSERT_TRUE(endsOn(Page::complete));
  EXPECT_FALSE(hid.receivedImage().empty());
}

// The keyboard follows the pages: Try Again pressed with Space from the privacy page leaves no
// focus on that hidden button, so Space on the completion page opens the studio and does not
// start the update over.
TEST_F(AudioFrameworkFlowTest, SpaceOnThePageShownPressesThatPagesButtonAlone) {
  fs::create_directories(hid.volumeRoot() + "/update.swu");  // in the way of the image
  startPackageWithAudio();
  ASSERT_TRUE(endsOn(Page::privacy));
  controller->show();
  QApplication::setActiveWindow(controller.get());
  auto space = [&] {
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused ? focused : controller.get(), Qt::Key_Space);
  };
  auto* tryAgain = controller->privacyController()->settingButton;
  tryAgain->setFocus(Qt::TabFocusReason);
  fs::remove_all(hid.volumeRoot() + "/update.swu");
  camera->queueStatus(0, 0);  // the second run's first look
  space();
  EXPECT_EQ(controller->currentPage(), Page::connect);
  ASSERT_TRUE(endsOn(Page::complete));
  EXPECT_EQ(QApplication::focusWidget(), controller->completeController()->openButton);
  const size_t downloads = packageRequests();
  writeFile(dir.file("bin/corvane-studio"), "#!/bin/sh\n");
  fs::permissions(dir.file("bin/corvane-studio"), fs::perms::owner_all);
  space();
  EXPECT_EQ(controller->currentPage(), Page::complete);
  EXPECT_EQ(packageRequests(), downloads);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].front(), dir.file("bin/corvane-studio"));
  EXPECT_EQ(terminated, 1);
  QApplication::setActiveWindow(nullptr);
}
