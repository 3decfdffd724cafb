#include <gtest/gtest.h>

#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "MainViewController.h"
#include "ManualClock.h"
#include "ProductInfo.h"
#include "RemovalRunner.h"
#include "TempDir.h"
#include "dispatch/MainQueue.h"
#include "privileged/STPrivilegedTask.h"

namespace fs = std::filesystem;
using namespace uninstaller;

namespace {

const std::string kScripts = std::string(CORVANE_SOURCE_DIR) + "/resources/uninstaller";

void write(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << text;
}

class RunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProductInfo::configureBundle();
    platform::STPrivilegedTask::setElevationToolPath(std::string(CORVANE_TEST_SUPPORT_DIR) + "/fake-pkexec");
    setenv("CORVANE_RESOURCES_DIR", dir.path().c_str(), 1);
  }
  void TearDown() override {
    platform::STPrivilegedTask::setElevationToolPath("");
    unsetenv("CORVANE_RESOURCES_DIR");
    unsetenv("CORVANE_FAKE_PKEXEC_STATUS");
  }
  testsupport::TempDir dir;
};

}  // namespace

TEST_F(RunnerTest, TheCheckBoxChoosesWhichScriptRuns) {
  write(dir.file("script.sh"), "echo plain > ran\n");
  write(dir.file("script_all.sh"), "echo all > ran\nexit 0\n");
  EXPECT_EQ(RemovalRunner::command(false), "/bin/sh script.sh");
  ASSERT_TRUE(RemovalRunner::run(false));
  std::string ran;
  std::ifstream(dir.file("ran")) >> ran;
  EXPECT_EQ(ran, "plain");
  ASSERT_TRUE(RemovalRunner::run(true));
  std::ifstream(dir.file("ran")) >> ran;
  EXPECT_EQ(ran, "all");
}

TEST_F(RunnerTest, AFailingScriptOrACancelledPromptIsNotSuccess) {
  write(dir.file("script.sh"), "echo broken; exit 4\n");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(RemovalRunner::run(false));
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("outputString: broken"), std::string::npos);
  EXPECT_NE(printed.find("outputString: Exit status: 4"), std::string::npos);

  setenv("CORVANE_FAKE_PKEXEC_STATUS", "126", 1);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(RemovalRunner::run(false));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "User cancel\n");
}

TEST(RemovalScript, RemovesTheInstalledSuiteAndNothingElse) {
  testsupport::TempDir prefix;
  std::string share = prefix.file("share/corvane-studio-uninstaller");
  fs::create_directories(share);
  fs::copy_file(kScripts + "/script.sh", share + "/script.sh");
  for (auto f : {"bin/corvane-studio", "bin/corvane-studio-updater", "bin/corvane-studio-uninstaller",
                 "lib/liborlith.so.2.3.0", "share/corvane-studio/Config.json",
                 "share/applications/corvane-studio.desktop", "bin/someone-else", "lib/libother.so"})
    write(prefix.file(f), "x");
  std::string cmd = "cd '" + share + "' && /bin/sh script.sh > '" + prefix.file("report") + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_FALSE(fs::exists(prefix.file("bin/corvane-studio")));
  EXPECT_FALSE(fs::exists(prefix.file("lib/liborlith.so.2.3.0")));
  EXPECT_FALSE(fs::exists(prefix.file("share/corvane-studio")));
  EXPECT_FALSE(fs::exists(prefix.file("share/applications/corvane-studio.desktop")));
  EXPECT_FALSE(fs::exists(share));
  EXPECT_TRUE(fs::exists(prefix.file("bin/someone-else")));
  EXPECT_TRUE(fs::exists(prefix.file("lib/libother.so")));
}

TEST(RemovalScript, RefusesOutsideAnInstalledSuite) {
  testsupport::TempDir dir;
  fs::copy_file(kScripts + "/script.sh", dir.file("script.sh"));
  write(dir.file("../keep-me"), "x");
  std::string cmd = "cd '" + dir.path() + "' && /bin/sh script.sh > /dev/null";
  EXPECT_NE(std::system(cmd.c_str()), 0);
}

class PagesTest : public ::testing::Test {
 protected:
  void SetUp() override { ProductInfo::configureBundle(); }
  void TearDown() override { platform::MainQueue::shared().drain(); }
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped{clock};
};

TEST_F(PagesTest, NamesComeFromTheInfoValues) {
  EXPECT_EQ(ProductInfo::productName(), "Corvane Studio");
  EXPECT_EQ(ProductInfo::versionLine(), "Version " CORVANE_VERSION);
  MainViewController window;
  EXPECT_EQ(window.welcomeView->descLabel->text(), "Uninstall Corvane Studio");
  EXPECT_EQ(window.progressView->descLabel->text(), "Corvane Studio is uninstalling");
  EXPECT_EQ(window.completeView->descLabel->text(), "Corvane Studio uninstall complete");
}

TEST_F(PagesTest, WelcomeStaysWhenTheRemovalFailsAndMovesOnWhenItWorks) {
  MainViewController window;
  std::vector<bool> asked;
  bool succeed = false;
  window.welcomeView->setRunner([&](bool all) {
    asked.push_back(all);
    return succeed;
  });
  QTest::mouseClick(window.welcomeView->nextButton, Qt::LeftButton);
  EXPECT_EQ(window.state(), UninstallState::welcome);
  QTest::mouseClick(window.welcomeView->checkButton, Qt::LeftButton);
  EXPECT_TRUE(window.welcomeView->checkButton->isSelected());
  succeed = true;
  QTest::mouseClick(window.welcomeView->nextButton, Qt::LeftButton);
  EXPECT_EQ(asked, (std::vector<bool>{false, true}));
  EXPECT_EQ(window.state(), UninstallState::progress);
}

TEST_F(PagesTest, ProgressReachesOneHundredThenTheLastPage) {
  MainViewController window;
  window.setState(UninstallState::progress);
  auto& main = platform::MainQueue::shared();
  clock.advance(std::chrono::milliseconds(999));
  main.drain();
  EXPECT_EQ(window.progressView->valueLabel->text(), "0");
  clock.advance(std::chrono::milliseconds(1));
  main.drain();
  EXPECT_EQ(window.progressView->valueLabel->text(), "90");
  EXPECT_EQ(window.progressView->progressBar->value(), 90);
  clock.advance(std::chrono::seconds(1));
  main.drain();
  EXPECT_EQ(window.progressView->valueLabel->text(), "100");
  EXPECT_EQ(window.progressView->progressBar->value(), 100);
  EXPECT_EQ(window.state(), UninstallState::progress);
  clock.advance(std::chrono::seconds(1));
  main.drain();
  EXPECT_EQ(window.state(), UninstallState::complete);
}
