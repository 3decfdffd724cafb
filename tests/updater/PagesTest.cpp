#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "CompleteController.h"
#include "ConnectController.h"
#include "ErrorController.h"
#include "LanguageManager.h"
#include "LocalFileController.h"
#include "PrivacyController.h"
#include "ProgresController.h"
#include "TempDir.h"
#include "Workspace.h"

using namespace updater;

TEST(UpdaterPages, ProgressOfCameraNeverShowsBelowTheAudio) {
  ProgresController page;
  page.setAudioProgress(50);
  page.setCameraProgress(30);
  EXPECT_EQ(page.progressValueLabel->text(), "50");
  EXPECT_EQ(page.progressBar->value(), 50);
  EXPECT_EQ(page.iUvcProgress, 50);

  page.setCameraProgress(80);
  page.setAudioProgress(20);
  EXPECT_EQ(page.progressValueLabel->text(), "20");
  EXPECT_EQ(page.iUacProgress, 20);
  EXPECT_EQ(page.iUvcProgress, 20);
  EXPECT_TRUE(page.progressIndicator->isHidden());
}

TEST(UpdaterPages, ProgressMessagesResetTheBar) {
  ProgresController page;
  page.setCameraProgress(70);
  page.setDownloading();
  EXPECT_EQ(page.message->text(), "Camera firmware is downloading");
  EXPECT_EQ(page.progressValueLabel->text(), "0");
  EXPECT_EQ(page.progressBar->value(), 0);
  EXPECT_EQ(page.progressBar->maximum(), 100);  // determinate
  page.setCameraUpdating();
  EXPECT_EQ(page.message->text(), "Camera firmware is updating");
  page.setAiUpdating();
  EXPECT_EQ(page.message->text(), "AI firmware is updating");
  page.setCameraRestarting();
  EXPECT_EQ(page.message->text(), "Waiting for camera to restart");
  page.setWaitingForRestart();
  EXPECT_EQ(page.message->text(), "Waiting for camera to restart");

  page.setAudioProgress(40);
  page.setAudioUpdating();
  EXPECT_EQ(page.message->text(), "Audio firmware is updating");
  EXPECT_EQ(page.progressValueLabel->text(), "40");
  page.setAudioStart();
  EXPECT_EQ(page.message->text(), "Audio firmware is starting to update");
  page.iUvcProgress = 65;
  page.setCameraStart();
  EXPECT_EQ(page.message->text(), "Camera firmware is starting to update");
  EXPECT_EQ(page.progressValueLabel->text(), "65");
  EXPECT_TRUE(page.progressIndicator->isHidden());
}

TEST(UpdaterPages, TheConnectPageSearchesOrOffersToTryAgain) {
  ConnectController page;
  int tries = 0;
  page.tryAgainAction = [&] { ++tries; };
  page.showSearching();
  EXPECT_EQ(page.searchTitle->text(), "Searching camera...");
  EXPECT_FALSE(page.searchView->isHidden());
  EXPECT_TRUE(page.errorView->isHidden());
  page.showError("Cannot find camera device.");
  EXPECT_TRUE(page.searchView->isHidden());
  EXPECT_FALSE(page.errorView->isHidden());
  EXPECT_EQ(page.errorMeassage->text(), "Cannot find camera device.");
  QTest::mouseClick(page.tryAgainButton, Qt::LeftButton);
  EXPECT_EQ(tries, 1);
}

TEST(UpdaterPages, TheErrorPageIsLatestVersionOrInstallError) {
  ErrorController page;
  int actions = 0;
  page.action = [&] { ++actions; };
  page.setFinished("Kestova Camera");
  EXPECT_EQ(page.imageName(), "icon_finish");
  EXPECT_EQ(page.messageLabel->text(), "Kestova Camera firmware is latest version.");
  EXPECT_EQ(page.actionButton->text(), "Close");
  page.setFailed("Kestova Camera");
  EXPECT_EQ(page.imageName(), "icon_unfinish");
  EXPECT_EQ(page.messageLabel->text(),
            "An error occurred during the installation of Kestova Camera firmware.\n Please "
            "reconnect the camera and try again.");
  EXPECT_EQ(page.actionButton->text(), "Reinstall");
  QTest::mouseClick(page.actionButton, Qt::LeftButton);
  EXPECT_EQ(actions, 1);
}

namespace {

class CompletePageTest : public ::testing::Test {
 protected:
  std::string executable(const std::string& name) {
    std::string path = dir.file(name);
    std::ofstream(path) << "#!/bin/sh\n";
    chmod(path.c_str(), 0755);
    return path;
  }
  CompleteController::Environment env() {
    CompleteController::Environment e;
    e.workspace = &workspace;
    e.programFolder = dir.file("bin");
    e.findProgram = [this](const std::string& name) {
      std::string path = dir.file("usr/" + name);
      return std::filesystem::exists(path) ? path : std::string();
    };
    e.studioName = [this] { return studioName; };
    e.terminate = [this] { ++terminated; };
    return e;
  }

  testsupport::TempDir dir;
  std::vector<std::vector<std::string>> started;
  platform::Workspace workspace{
      platform::Workspace::Environment{[this](const std::vector<std::string>& argv) {
        started.push_back(argv);
        return true;
      }}};
  int terminated = 0;
  std::string studioName = "Corvane Studio";
};

}  // namespace

TEST_F(CompletePageTest, WithoutACameraNameTheButtonHidesAndNothingOpens) {
  CompleteController page(env(), nullptr);
  page.onClickOpenStudio();
  EXPECT_TRUE(page.openButton->isHidden());
  page.cameraName = "";
  page.onClickOpenStudio();
  EXPECT_TRUE(started.empty());
  EXPECT_EQ(terminated, 0);
}

TEST_F(CompletePageTest, TheMainProgramBesideTheUpdaterReopensThenTheUpdaterEnds) {
  std::filesystem::create_directories(dir.file("bin"));
  std::filesystem::create_directories(dir.file("usr"));
  std::string beside = executable("bin/corvane-studio");
  std::string onPath = executable("usr/corvane-studio");
  CompleteController page(env(), nullptr);
  page.cameraName = "Kestova Camera";
  page.onClickOpenStudio();
  EXPECT_FALSE(page.openButton->isHidden());
  EXPECT_EQ(started, (std::vector<std::vector<std::string>>{{beside}}));
  EXPECT_EQ(terminated, 1);

  // Not beside the updater: the one on PATH.
  std::filesystem::remove(beside);
  started.clear();
  page.onClickOpenStudio();
  EXPECT_EQ(started, (std::vector<std::vector<std::string>>{{onPath}}));
  EXPECT_EQ(terminated, 2);
}

TEST_F(CompletePageTest, TheStudioNameNamesTheProgramThatReopens) {
  std::filesystem::create_directories(dir.file("bin"));
  std::filesystem::create_directories(dir.file("usr"));
  std::string beta = executable("bin/corvane-studio-beta");
  std::string plain = executable("usr/corvane-studio");
  studioName = "Corvane  Studio Beta";
  CompleteController page(env(), nullptr);
  page.cameraName = "Kestova Camera";
  page.onClickOpenStudio();
  EXPECT_EQ(started, (std::vector<std::vector<std::string>>{{beta}}));

  // A name no program answers to still reopens the suite's own program.
  studioName = "Kestova Studio";
  started.clear();
  page.onClickOpenStudio();
  EXPECT_EQ(started, (std::vector<std::vector<std::string>>{{plain}}));
}

TEST(UpdaterPages, AStudioNameBecomesAnExecutableName) {
  struct Row {
    const char* studio;
    const char* program;
  } rows[] = {
      {"Corvane Studio", "corvane-studio"},   {" Corvane\tStudio  Beta ", "corvane-studio-beta"},
      {"kestova-studio2", "kestova-studio2"}, {"", "corvane-studio"},
      {"../bin/sh", "corvane-studio"},        {"a/b", "corvane-studio"},
      {".hidden", "corvane-studio"}};
  for (const Row& row : rows)
    EXPECT_EQ(CompleteController::programName(row.studio), row.program) << row.studio;
}

TEST(UpdaterPages, CancellingTheFolderPanelCallsNothing) {
  std::optional<QString> answer;
  LocalFileController page([&](QWidget*) { return answer; }, nullptr);
  std::vector<QString> chosen;
  page.selectedComplete = [&](const QString& folder) { chosen.push_back(folder); };
  page.onClickSelect();
  EXPECT_TRUE(chosen.empty());

  testsupport::TempDir dir;
  answer = QString::fromStdString(dir.path());
  page.onClickSelect();  // no version file: still handed over
  std::ofstream(dir.file("FW version.txt")) << "1.3.0";
  QTest::mouseClick(page.selectButton, Qt::LeftButton);
  EXPECT_EQ(chosen, (std::vector<QString>{answer.value(), answer.value()}));
}

TEST(UpdaterPages, AVersionFileThatIsNoShortFileIsNotReadAndTheFolderStillGoesOn) {
  testsupport::TempDir dir;
  std::optional<QString> answer = QString::fromStdString(dir.path());
  LocalFileController page([&](QWidget*) { return answer; }, nullptr);
  std::vector<QString> chosen;
  page.selectedComplete = [&](const QString& folder) { chosen.push_back(folder); };
  // A FIFO: opening it to read would wait for a writer, and the window with it.
  ASSERT_EQ(mkfifo(dir.file("FW version.txt").c_str(), 0600), 0);
  page.onClickSelect();
  EXPECT_EQ(chosen, std::vector<QString>{answer.value()});
}

// On Linux no settings pane grants a program access to a volume: the page's button does what
// its text asks in the end, start the update again, and the page says what stood in the way.
TEST(UpdaterPages, ThePrivacyPageSaysWhyAndStartsTheUpdateAgain) {
  int started = 0;
  PrivacyController page(nullptr);
  page.action = [&] { ++started; };
  EXPECT_TRUE(page.textLabel->text().contains("font-size: 16px"));
  EXPECT_TRUE(page.textLabel->text().contains("line-height: 24px"));
  EXPECT_EQ(page.settingButton->text().toStdString(),
            updater::LanguageManager::shared().localized("updater_try_again_name"));
  EXPECT_TRUE(page.reasonLabel->isHidden());
  page.setReason("The volume is read-only.");
  EXPECT_FALSE(page.reasonLabel->isHidden());
  EXPECT_EQ(page.reasonLabel->text(), "The volume is read-only.");
  QTest::mouseClick(page.settingButton, Qt::LeftButton);
  EXPECT_EQ(started, 1);
  page.setReason("");
  EXPECT_TRUE(page.reasonLabel->isHidden());
}
