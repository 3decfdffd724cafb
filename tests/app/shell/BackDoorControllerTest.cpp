#include <gtest/gtest.h>
#include <zip.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "ManualClock.h"
#include "ShellTestMedia.h"
#include "SimulatedCamera.h"
#include "TempDir.h"
#include "camera/CameraManager.h"
#include "camera/CpuUsageMonitor.h"
#include "camera/PlayerManager.h"
#include "camera/USBManager.h"
#include "dispatch/MainQueue.h"
#include "log/LogManager.h"
#include "shell/BackDoorController.h"
#include "shell/PlayerController.h"
#include "widgets/CustomButton.h"
#include "widgets/FocusScope.h"
#include "widgets/PixelBufferView.h"

using corvane::BackDoorController;
using corvane::CameraManager;
using corvane::PlayerController;
using corvane::PlayerManager;
using corvane::PlayerMode;
using platform::CaptureDevice;
using platform::MainQueue;
namespace fs = std::filesystem;

namespace {

CaptureDevice device(const std::string& name, const std::string& node) {
  CaptureDevice d;
  d.localizedName = name;
  d.devicePath = "/dev/" + node;
  d.uniqueID = "/sys/devices/usb/" + node;
  return d;
}

std::vector<std::string> zipEntries(const std::string& path, std::string* dayLog,
                                    const std::string& dayEntry) {
  std::vector<std::string> names;
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
  if (!z) return names;
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i)
    names.push_back(zip_get_name(z, i, 0));
  zip_stat_t st;
  if (zip_stat(z, dayEntry.c_str(), 0, &st) == 0) {
    dayLog->assign(st.size, '\0');
    if (zip_file_t* f = zip_fopen(z, dayEntry.c_str(), 0)) {
      zip_fread(f, dayLog->data(), st.size);
      zip_fclose(f);
    }
  }
  zip_close(z);
  return names;
}

}  // namespace

// The diagnostics window over a real camera manager whose observables the test sets (no camera
// is connected), its USB side over the simulated camera, and a real player and logger.
class BackDoorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    usbCamera->setApiLevel(4);
    usbCamera->setFirmwareText("3.2.1");
    usb = std::make_unique<corvane::USBManager>(usbCamera->connector(), &usbRequests,
                                                &MainQueue::shared());
    ASSERT_EQ(usb->openUSBFromVID(Camera::kVendorId, Camera::kProductId), 0);
    usb->getInfo();
    usbSide = usb.get();
    camera = makeCamera(usbSide);
  }
  void TearDown() override {
    window.reset();
    players.reset();
    camera.reset();
    MainQueue::shared().drain();
    player->videoOutputQueue().drain();
    player.reset();
    usbRequests.drain();
    MainQueue::shared().drain();
  }

  std::unique_ptr<CameraManager> makeCamera(corvane::USBManager* usbSide) {
    CameraManager::Environment env;
    env.sysRoot = home.file("sys");
    env.devRoot = home.file("dev");
    env.usb = usbSide;
    env.usageMonitor = &monitor;
    env.cachesFolder = [this] { return std::optional<std::string>(home.file("caches")); };
    env.executableName = [] { return std::optional<std::string>("corvane-studio"); };
    return std::make_unique<CameraManager>(std::move(env));
  }

  BackDoorController::Environment environment() {
    BackDoorController::Environment env;
    env.camera = camera.get();
    env.usb = usbSide;
    env.player = player.get();
    env.logger = &logger;
    env.osVersion = "Linux 6.1.0";
    env.studioVersion = "2.3.0";
    env.selectLogArchivePath = [this](QWidget* parent) {
      asked.push_back(parent);
      return answer;
    };
    env.showPlayerWindow = [this] { players->showWindow(); };
    env.standardOutput = [this](const std::string& line) { out.push_back(line); };
    return env;
  }

  BackDoorController& open() {
    window = std::make_unique<BackDoorController>(environment());
    window->show();
    MainQueue::shared().drain();
    return *window;
  }

  corvane::LogManager::Environment logEnvironment() {
    corvane::LogManager::Environment e;
    e.cachesFolder = home.file("caches");
    e.executableName = "corvane-studio";
    e.shortVersion = "2.3.0";
    e.osVersion = "Linux 6.1.0";
    e.systemLanguage = "en-US";
    e.clock = &clock;
    e.standardOutput = [](const std::string&) {};
    e.systemLog = [](const std::string&) {};
    return e;
  }

  using Camera = testsupport::SimulatedCamera;
  testsupport::ManualClock clock;
  testsupport::ScopedClock scopedClock{clock};
  testsupport::TempDir home;
  corvane::CpuUsageMonitor monitor{[] { return std::optional<platform::SystemInfo::CpuTimes>(); },
                                   clock};
  std::shared_ptr<Camera> usbCamera = std::make_shared<Camera>();
  platform::SerialQueue usbRequests{"usb-test-requests"};
  std::unique_ptr<corvane::USBManager> usb;
  std::unique_ptr<CameraManager> camera;
  corvane::USBManager* usbSide = nullptr;  // the camera manager's USB side
  std::unique_ptr<PlayerManager> player = std::make_unique<PlayerManager>(clock);
  std::unique_ptr<corvane::SharedWindow<PlayerController>> players =
      std::make_unique<corvane::SharedWindow<PlayerController>>(
          [this] { return std::make_unique<PlayerController>(*player); });
  corvane::LogManager logger{logEnvironment()};
  std::optional<QString> answer;
  std::vector<QWidget*> asked;
  std::vector<std::string> out;
  std::unique_ptr<BackDoorController> window;
};

TEST_F(BackDoorTest, LabelsAtLoad) {
  camera->FPS->setValue(30);
  camera->selvoFPS->setValue(12);
  MainQueue::shared().drain();
  BackDoorController& w = open();
  EXPECT_EQ(w.macosLabel->text(), "Linux 6.1.0");
  EXPECT_EQ(w.studioVersionLabel->text(), "2.3.0");
  EXPECT_EQ(w.cameraVersionLabel->text(), "3.2.1");
  EXPECT_EQ(w.fpsLabel->text(), "30");
  EXPECT_EQ(w.selvoFPSLabel->text(), "12");
  EXPECT_EQ(w.openFileButton->text(), "Open file");
  for (QLineEdit* field : {w.fpsLabel, w.selvoFPSLabel, w.cameraVersionLabel, w.studioVersionLabel})
    EXPECT_TRUE(field->isReadOnly());
  // The player's mode picks the source button.
  EXPECT_TRUE(w.videoModeButton->isChecked());
  EXPECT_FALSE(w.imageModeButton->isChecked());

  camera->inReading->setValue(true);
  MainQueue::shared().drain();
  EXPECT_EQ(w.openFileButton->text(), "Stop");
}

TEST_F(BackDoorTest, AMissingFirmwareVersionShowsAnEmptyLabel) {
  usbSide = nullptr;
  EXPECT_EQ(open().cameraVersionLabel->text(), "");
}

TEST_F(BackDoorTest, TheAnalysisRateIsNeverShownAboveTheCaptureRate) {
  BackDoorController& w = open();
  struct Row {
    int64_t fps, selvo;
    const char* shownFps;
    const char* shownSelvo;
  };
  for (const Row& row : {Row{30, 12, "30", "12"}, Row{10, 25, "10", "10"}, Row{0, 5, "0", "0"},
                         Row{24, 24, "24", "24"}}) {
    camera->FPS->setValue(row.fps);
    camera->selvoFPS->setValue(row.selvo);
    MainQueue::shared().drain();
    EXPECT_EQ(w.fpsLabel->text(), row.shownFps) << row.fps << " " << row.selvo;
    EXPECT_EQ(w.selvoFPSLabel->text(), row.shownSelvo) << row.fps << " " << row.selvo;
  }
  // The capture rate falling alone brings the analysis rate down with it.
  camera->FPS->setValue(30);
  camera->selvoFPS->setValue(20);
  MainQueue::shared().drain();
  camera->FPS->setValue(8);
  MainQueue::shared().drain();
  EXPECT_EQ(w.selvoFPSLabel->text(), "8");
}

TEST_F(BackDoorTest, TheDeviceMenuSelectsTheDeviceInUse) {
  BackDoorController& w = open();
  // No device: an empty menu, nothing selected.
  out.clear();
  camera->currentDeviceName->setValue("Kestova Camera");
  MainQueue::shared().drain();
  EXPECT_EQ(w.cameraMenu->count(), 0);
  EXPECT_EQ(w.cameraMenu->currentIndex(), -1);
  EXPECT_EQ(out, (std::vector<std::string>{"deviceName: Kestova Camera", "cameraIndex: 0"}));

  // Two devices of one name: the last of them.
  camera->cameraDevices->setValue({device("Kestova Camera", "video0"),
                                   device("Integrated Webcam", "video2"),
                                   device("Kestova Camera", "video4")});
  MainQueue::shared().drain();
  ASSERT_EQ(w.cameraMenu->count(), 3);
  EXPECT_EQ(w.cameraMenu->itemText(1), "Integrated Webcam");
  EXPECT_EQ(w.cameraMenu->currentIndex(), 2);
  out.clear();
  camera->currentDeviceName->setValue("Integrated Webcam");
  MainQueue::shared().drain();
  EXPECT_EQ(w.cameraMenu->currentIndex(), 1);
  EXPECT_EQ(out, (std::vector<std::string>{"deviceName: Integrated Webcam", "cameraIndex: 1"}));

  // A name not in the list: the first item.
  out.clear();
  camera->currentDeviceName->setValue("C615");
  MainQueue::shared().drain();
  EXPECT_EQ(w.cameraMenu->currentIndex(), 0);
  EXPECT_EQ(out, (std::vector<std::string>{"deviceName: C615", "cameraIndex: 0"}));

  EXPECT_EQ(BackDoorController::cameraIndex({}, "A"), 0);
  EXPECT_EQ(BackDoorController::cameraIndex({"A", "B", "A", "B"}, "B"), 3);
  EXPECT_EQ(BackDoorController::cameraIndex({"A", "B"}, ""), 0);
}

TEST_F(BackDoorTest, TheModeButtonsAreAnExclusivePair) {
  BackDoorController& w = open();
  w.imageModeButton->click();
  EXPECT_TRUE(w.imageModeButton->isChecked());
  EXPECT_FALSE(w.videoModeButton->isChecked());
  w.videoModeButton->click();
  EXPECT_TRUE(w.videoModeButton->isChecked());
  EXPECT_FALSE(w.imageModeButton->isChecked());
  w.onClickImageModeButton();
  EXPECT_FALSE(w.videoModeButton->isChecked());
}

TEST_F(BackDoorTest, OpenFileOpensThePlayerInTheChosenMode) {
  BackDoorController& w = open();
  std::vector<PlayerMode> told;
  player->mode->bind([&](PlayerMode m) { told.push_back(m); });

  w.imageModeButton->click();
  w.openFileButton->click();
  MainQueue::shared().drain();
  PlayerController* shown = players->contentViewController();
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(shown->isVisible());
  EXPECT_EQ(player->mode->value(), PlayerMode::image);
  EXPECT_EQ(told, std::vector<PlayerMode>{PlayerMode::image});
  EXPECT_FALSE(shown->imageView->isHidden());
  EXPECT_TRUE(shown->videoView->isHidden());

  // Closing only hides the player; switching the mode and reopening shows the other view.
  shown->close();
  EXPECT_FALSE(shown->isVisible());
  w.videoModeButton->click();
  w.openFileButton->click();
  MainQueue::shared().drain();
  EXPECT_EQ(players->contentViewController(), shown);
  EXPECT_TRUE(shown->isVisible());
  EXPECT_EQ(player->mode->value(), PlayerMode::video);
  EXPECT_TRUE(shown->imageView->isHidden());
  EXPECT_FALSE(shown->videoView->isHidden());
}

TEST_F(BackDoorTest, OpeningTwiceShowsTheSameWindow) {
  corvane::SharedWindow<BackDoorController> windows(
      [this] { return std::make_unique<BackDoorController>(environment()); });
  EXPECT_EQ(windows.contentViewController(), nullptr);
  BackDoorController* first = windows.showWindow();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isVisible());
  EXPECT_TRUE(first->isWindow());
  first->close();
  EXPECT_FALSE(first->isVisible());
  EXPECT_EQ(windows.showWindow(), first);
  EXPECT_TRUE(first->isVisible());
}

// Tab reaches the window's controls only: not the read-only values (still selectable with the
// mouse for a report), nor a camera list with nothing in it.
TEST_F(BackDoorTest, TabPassesTheValuesAndAnEmptyCameraList) {
  auto isValueOrEmpty = [](QWidget* stop) {
    auto* field = qobject_cast<QLineEdit*>(stop);
    auto* list = qobject_cast<QComboBox*>(stop);
    return (field && field->isReadOnly()) || (list && list->count() == 0);
  };
  open();
  for (QWidget* stop : corvane::FocusScope::stops({window.get()}))
    EXPECT_FALSE(isValueOrEmpty(stop)) << stop->metaObject()->className();
  EXPECT_EQ(window->studioVersionLabel->focusPolicy(), Qt::ClickFocus);
  std::vector<QWidget*> stops = corvane::FocusScope::stops({window.get()});
  for (QWidget* control : std::initializer_list<QWidget*>{
           window->videoModeButton, window->openFileButton, window->exportButton})
    EXPECT_NE(std::find(stops.begin(), stops.end(), control), stops.end());
  // A camera list with the cameras in it is a stop.
  camera->cameraDevices->setValue({platform::CaptureDevice{}});
  MainQueue::shared().drain();
  stops = corvane::FocusScope::stops({window.get()});
  EXPECT_NE(std::find(stops.begin(), stops.end(), window->cameraMenu), stops.end());
  camera->cameraDevices->setValue({});
  MainQueue::shared().drain();
  stops = corvane::FocusScope::stops({window.get()});
  EXPECT_EQ(std::find(stops.begin(), stops.end(), window->cameraMenu), stops.end());
}

TEST_F(BackDoorTest, ExportWritesTheDayLogsIntoTheChosenArchive) {
  logger.log("a line to export");
  BackDoorController& w = open();
  std::string archive = home.file("exports/Corvane_Logs_2026_12_09_10_00.zip");
  fs::create_directories(home.file("exports"));
  answer = QString::fromStdString(archive);
  w.exportButton->click();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], &w);
  EXPECT_EQ(out.back(), "file selected: " + archive);

  std::string dayLog;
  std::string dayEntry = "log/" + fs::path(logger.logFilePath()).filename().string();
  std::vector<std::string> entries = zipEntries(archive, &dayLog, dayEntry);
  EXPECT_NE(std::find(entries.begin(), entries.end(), dayEntry), entries.end());
  EXPECT_NE(dayLog.find("a line to export"), std::string::npos);
}

TEST_F(BackDoorTest, CancellingTheExportPrintsTheLineAndWritesNothing) {
  BackDoorController& w = open();
  fs::create_directories(home.file("exports"));
  answer.reset();
  w.exportButton->click();
  EXPECT_EQ(out.back(), "File selection was canceled");
  EXPECT_TRUE(fs::is_empty(home.file("exports")));
}

TEST_F(BackDoorTest, AnArchiveThatCannotBeWrittenIsReportedByTheLogger) {
  BackDoorController& w = open();
  answer = QString::fromStdString(home.file("no-such-folder/logs.zip"));
  w.exportButton->click();
  EXPECT_FALSE(fs::exists(home.file("no-such-folder/logs.zip")));
  std::ifstream in(logger.logFilePath());
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("Something went wrong"), std::string::npos);
}

// As after any save dialog: an alert names a failed export and its reason, and a successful
// one says where the archive went.
TEST_F(BackDoorTest, TheExportTellsWhereTheArchiveWentOrWhyItDidNot) {
  BackDoorController& w = open();
  std::ofstream(home.file("a-file")) << "not a folder";
  struct Case {
    std::string path;
    bool written;
    const char* reason;
  } cases[] = {{home.file("a-file/logs.zip"), false, "Not a directory"},
               {home.file("no-such-folder/logs.zip"), false, "No such file or directory"},
               {home.file("logs.zip"), true, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    answer = QString::fromStdString(c.path);
    w.exportButton->click();
    QMessageBox* box = nullptr;
    for (QMessageBox* found : w.findChildren<QMessageBox*>())
      if (found->isVisible()) box = found;
    ASSERT_NE(box, nullptr) << "the user is told";
    EXPECT_EQ(fs::exists(c.path), c.written);
    if (c.written) {
      EXPECT_EQ(box->text(), QString::fromStdString("The logs were exported to " + c.path));
      EXPECT_EQ(box->icon(), QMessageBox::Information);
    } else {
      EXPECT_EQ(box->text(), QString::fromStdString("The logs could not be exported to " + c.path));
      EXPECT_EQ(box->icon(), QMessageBox::Warning);
      EXPECT_TRUE(box->informativeText().contains(c.reason)) << box->informativeText().toStdString();
    }
    box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

// Pictures play, then Open file in video mode: the pictures' source closes before a clip is
// chosen, so the player window shows no file, no time and no playing mark, and only the clip
// chosen then hands out frames.
TEST_F(BackDoorTest, OpenFileForVideoWhilePicturesPlayClosesThemFirst) {
  shelltest::PlayerFiles& files = shelltest::playerFiles();
  ASSERT_EQ(files.error, "");
  std::atomic<int> frames{0};
  std::atomic<int> lastWidth{0};
  player->setOutputBuffer([&](platform::PixelBufferRef buffer) {
    ++frames;
    lastWidth = buffer->width();
  });
  auto settle = [this] {
    for (int i = 0; i < 20; ++i) {
      player->videoOutputQueue().drain();
      player->pushImageQueue().drain();
      if (MainQueue::shared().drain() == 0 && player->videoOutputQueue().pendingCount() == 0)
        return;
    }
  };
  BackDoorController& w = open();
  // The clip of the command line plays.
  player->loadVideo(QString::fromStdString(files.video));
  settle();
  player->play();
  settle();

  w.imageModeButton->click();
  w.openFileButton->click();
  player->loadImages({QString::fromStdString(files.png)});
  settle();
  PlayerController* shown = players->contentViewController();
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(shown->imagePlayButton->isSelected);

  w.videoModeButton->click();
  w.openFileButton->click();
  settle();
  shown->videoPicture->convertQueue().drain();
  settle();
  EXPECT_EQ(shown->fileNameLabel->text(), "No file");
  EXPECT_EQ(shown->currentTimeLabel->text(), "00:00:00");
  EXPECT_FALSE(shown->videoPlayButton->isSelected);
  EXPECT_TRUE(shown->videoPicture->image().isNull()) << "no picture of the closed source";
  frames = 0;
  for (int i = 0; i < 10; ++i) {
    clock.advance(std::chrono::milliseconds(100));
    settle();
  }
  EXPECT_EQ(frames.load(), 0) << "nothing plays until a clip is chosen";

  player->loadVideo(QString::fromStdString(files.video));
  settle();
  shown->videoPlayButton->click();
  settle();
  EXPECT_EQ(shown->fileNameLabel->text(), "clip.mp4");
  EXPECT_TRUE(shown->videoPlayButton->isSelected);
  frames = 0;
  for (int i = 0; i < 10; ++i) {
    clock.advance(std::chrono::milliseconds(100));
    settle();
  }
  // The clip's ten frames a second, and only its frames.
  EXPECT_NEAR(frames.load(), 10, 1);
  EXPECT_EQ(lastWidth.load(), 320);
}
