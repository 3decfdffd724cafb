#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "CompleteController.h"
#include "ConfigManager.h"
#include "ConnectController.h"
#include "ErrorController.h"
#include "LoopbackHttpServer.h"
#include "MainController.h"
#include "ManualClock.h"
#include "ProgresController.h"
#include "RecordingAudioUpdater.h"
#include "SimulatedCamera.h"
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

    camera->setFirmwareText("1.2.0");
    camera->setCommandReply("devmem 0x1e6e2150 64", "0x1a2b3c4d\n");
    camera->setCommandReply("ast_param g camera:safe:mode", "0");
    usb = std::make_unique<updater::USBManager>(camera->connector(0x2245, 0x1221), &usbQueue,
                                                &platform::MainQueue::shared());
    volumeFolder = dir.file("volumes/KESTOVA");
    writeFile(volumeFolder + "/ast_fw_update_disk", "1a2b3c4d");
    platform::Volumes::Environment volumeEnv;
    volumeEnv.mountInfo = [this] {
      return "90 29 8:17 / " + volumeFolder + " rw - vfat /dev/sdb1 rw\n";
    };
    volumeEnv.run = [this](const std::vector<std::string>&) {
      ++ejects;
      return 0;
    };
    volumeEnv.findProgram = [](const std::string&) { return std::string(); };
    volumes = std::make_unique<platform::Volumes>(volumeEnv);
    updater::UpdateManager::Environment updateEnv;
    updateEnv.volumes = volumes.get();
    updateEnv.chipId = [this] { return usb->chipId(); };
    updateEnv.resourcePath = configEnv.resourcePath;
    updateEnv.workQueue = &fileQueue;
    updateEnv.mainQueue = &platform::MainQueue::shared();
    updateManager = std::make_unique<updater::UpdateManager>(updateEnv);

    MainController::Environment env;
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
    env.documentsFolder = dir.file("documents");
    env.osVersion = "6.1.0";
    env.terminate = [this] { ++terminated; };
    env.makeCompletePage = [this](QWidget* parent) {
      updater::CompleteController::Environment e;
      e.workspace = &workspace;
      e.programPath = dir.file("bin/corvane-studio");
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

  void answerVersion(bool hasNew) {
    std::string answer = std::string(R"({"success": true, "errors": [], "data": {)") +
                         R"("hasNewVersion": false, "version": "2.3.0", "fwVersion": "1.2.5", )" +
                         R"("hasNewFwVersion": )" + (hasNew ? "true" : "false") +
                         R"(, "fwVersionObj": {"link": "/fw/update.zip"}}})";
    server.route("POST", "/1.5/version/check",
                 testsupport::LoopbackHttpServer::Reply::json(200, answer));
  }
  void servePackage(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string zip = dir.file("served.zip");
    ASSERT_TRUE(testsupport::writeZip(zip, entries));
    server.serveFile("/storage/fw/update.zip", readFile(zip), "application/zip");
  }

  testsupport::TempDir dir;
  testsupport::ManualClock clock;
  testsupport::ScopedClock scopedClock{clock};
  testsupport::LoopbackHttpServer server;
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
  int terminated = 0;
  std::unique_ptr<MainController> controller;
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
  EXPECT_TRUE(fs::exists(dir.file("documents/update.zip")));
}

TEST_F(UpdateFlowTest, AFailedDownloadEndsOnTheInstallError) {
  answerVersion(true);  // nothing served at the link
  camera->queueStatus(0, 0);
  controller->viewDidAppear();
  ASSERT_TRUE(runUntil([&] { return controller->currentPage() == Page::error; }));
  EXPECT_EQ(controller->errorController()->actionButton->text(), "Reinstall");
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
