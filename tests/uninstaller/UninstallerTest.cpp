#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <csignal>
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

// The removal scripts the build generated from the install's file list.
const std::string kScripts = std::string(CORVANE_SHARE_DIR) + "/corvane-studio-uninstaller";

void write(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << text;
}

void writeScript(const std::string& path, const std::string& body) {
  write(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
                  fs::perm_options::replace);
}

class RunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProductInfo::configureBundle();
    platform::STPrivilegedTask::setElevationToolPath(std::string(CORVANE_TEST_SUPPORT_DIR) +
                                                     "/fake-pkexec");
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
  writeScript(dir.file("script.sh"), "echo plain > ran\n");
  writeScript(dir.file("script_all.sh"), "echo all > ran\nexit 0\n");
  // pkexec runs the script itself by its absolute path, in the resources folder.
  EXPECT_EQ(RemovalRunner::command(false), dir.path() + "/script.sh");
  EXPECT_EQ(RemovalRunner::command(true), dir.path() + "/script_all.sh");
  ASSERT_TRUE(RemovalRunner::run(false).removed);
  std::string ran;
  std::ifstream(dir.file("ran")) >> ran;
  EXPECT_EQ(ran, "plain");
  ASSERT_TRUE(RemovalRunner::run(true).removed);
  std::ifstream(dir.file("ran")) >> ran;
  EXPECT_EQ(ran, "all");
}

TEST_F(RunnerTest, AFailingScriptOrACancelledPromptIsNotSuccess) {
  writeScript(dir.file("script.sh"), "echo broken; exit 4\n");
  testing::internal::CaptureStdout();
  RemovalRunner::Outcome failed = RemovalRunner::run(false);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(failed.removed);
  EXPECT_EQ(failed.reason, "the removal ended with status 4: broken");
  EXPECT_NE(printed.find("outputString: broken"), std::string::npos);
  EXPECT_NE(printed.find("outputString: Exit status: 4"), std::string::npos);

  setenv("CORVANE_FAKE_PKEXEC_STATUS", "126", 1);
  testing::internal::CaptureStdout();
  RemovalRunner::Outcome cancelled = RemovalRunner::run(false);
  EXPECT_FALSE(cancelled.removed);
  EXPECT_EQ(cancelled.reason, "the password prompt was closed");
  // The task says which tool it started (on standard output: not a failure for the system log).
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "toolPath: " + dir.file("script.sh") + "\nUser cancel\n");

  // A password refused: pkexec's own status.
  setenv("CORVANE_FAKE_PKEXEC_STATUS", "127", 1);
  testing::internal::CaptureStdout();
  RemovalRunner::Outcome refused = RemovalRunner::run(false);
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(refused.removed);
  EXPECT_EQ(refused.reason,
            "the administrator's password was not accepted, or this user may not remove it");
}

// No pkexec at all: nothing starts, and the page and the console say why.
TEST_F(RunnerTest, WithoutAPasswordPromptTheRemovalSaysWhy) {
  writeScript(dir.file("script.sh"), "echo plain > ran\n");
  platform::STPrivilegedTask::setElevationToolPath(dir.file("no-pkexec"));
  testing::internal::CaptureStdout();
  RemovalRunner::Outcome outcome = RemovalRunner::run(false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Something wrong : -70001\n");
  EXPECT_FALSE(outcome.removed);
  EXPECT_EQ(outcome.reason,
            "pkexec, which asks for an administrator's password, is not installed (the package "
            "pkexec has it)");
  EXPECT_FALSE(fs::exists(dir.file("ran")));
}

// Each way a removal stops has its own reason; a script's last line says where it stopped.
TEST(RemovalReason, EachStopIsToldItsOwnWay) {
  using Task = platform::STPrivilegedTask;
  struct Row {
    int launch, exit;
    std::string output, reason;
  } rows[] = {
      {Task::kNotAvailable, 0, "",
       "pkexec, which asks for an administrator's password, is not "
       "installed (the package pkexec has it)"},
      {Task::kLaunchFailed, 0, "", "the removal could not be started"},
      {-5, 0, "", "the removal could not be started (status -5)"},
      {0, Task::kUserCanceled, "", "the password prompt was closed"},
      {0, 127, "", "the administrator's password was not accepted, or this user may not remove it"},
      {0, Task::kUnknownOutcome, "",
       "the end of the removal could not be seen; it may not be complete"},
      {0, 137, "started\n", "the removal was stopped by signal 9: started"},
      {0, 3, "", "the removal ended with status 3"},
      {0, 1, "removing /usr/bin\nrm: cannot remove 'x': Busy\n\n  \n",
       "the removal ended with status 1: rm: cannot remove 'x': Busy"},
      {0, 2, "one line without an end", "the removal ended with status 2: one line without an end"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(RemovalRunner::reason(row.launch, row.exit, row.output), row.reason)
        << row.launch << " " << row.exit;
}

TEST_F(RunnerTest, AScriptEndedBySignalIsAFailedRemoval) {
  writeScript(dir.file("script.sh"), "echo started; kill -KILL $$\n");
  testing::internal::CaptureStdout();
  RemovalRunner::Outcome outcome = RemovalRunner::run(false);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(outcome.removed);
  EXPECT_EQ(outcome.reason, "the removal was stopped by signal 9: started");
  EXPECT_NE(printed.find("Exit status: 137"), std::string::npos) << printed;
}

TEST_F(RunnerTest, AnEndThatCannotBeObservedIsAFailedRemoval) {
  writeScript(dir.file("script.sh"), "exit 0\n");
  // With SIGCHLD ignored the kernel reaps the child itself and waitpid has nothing to give.
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGCHLD, &ignore, &previous);
  testing::internal::CaptureStdout();
  bool removed = RemovalRunner::run(false).removed;
  testing::internal::GetCapturedStdout();
  sigaction(SIGCHLD, &previous, nullptr);
  EXPECT_FALSE(removed);
}

TEST(RemovalScript, RemovesTheInstalledSuiteAndNothingElse) {
  testsupport::TempDir prefix;
  std::string share = prefix.file("share/corvane-studio-uninstaller");
  fs::create_directories(share);
  fs::copy_file(kScripts + "/script.sh", share + "/script.sh");
  for (auto f :
       {"bin/corvane-studio", "bin/corvane-studio-updater", "bin/corvane-studio-uninstaller",
        "share/corvane-studio/Config.json", "bin/someone-else", "share/other/keep"})
    write(prefix.file(f), "x");
  std::string cmd = "/bin/sh '" + share + "/script.sh' '" + prefix.file("staging") + "' > '" +
                    prefix.file("report") + "'";
  fs::create_directories(prefix.file("staging"));
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_FALSE(fs::exists(prefix.file("bin/corvane-studio")));
  EXPECT_FALSE(fs::exists(prefix.file("bin/corvane-studio-uninstaller")));
  EXPECT_FALSE(fs::exists(prefix.file("share/corvane-studio")));
  EXPECT_FALSE(fs::exists(share));
  EXPECT_TRUE(fs::exists(prefix.file("bin/someone-else")));
  EXPECT_TRUE(fs::exists(prefix.file("share/other/keep")));
}

TEST(RemovalScript, RefusesOutsideAnInstalledSuite) {
  testsupport::TempDir dir;
  fs::copy_file(kScripts + "/script.sh", dir.file("script.sh"));
  write(dir.file("../keep-me"), "x");
  std::string cmd = "/bin/sh '" + dir.file("script.sh") + "' > /dev/null";
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
  std::string why = "the password prompt was closed";
  window.welcomeView->setRunner([&](bool all) {
    asked.push_back(all);
    return RemovalRunner::Outcome{succeed, succeed ? "" : why};
  });
  EXPECT_TRUE(window.welcomeView->failureLabel->isHidden());
  QTest::mouseClick(window.welcomeView->nextButton, Qt::LeftButton);
  EXPECT_EQ(window.state(), UninstallState::welcome);
  EXPECT_FALSE(window.welcomeView->failureLabel->isHidden());
  EXPECT_EQ(window.welcomeView->failureLabel->text(),
            "Corvane Studio was not removed: the password prompt was closed.");
  // Tried again: the page says the latest reason.
  why = "the removal ended with status 1";
  QTest::mouseClick(window.welcomeView->nextButton, Qt::LeftButton);
  EXPECT_EQ(window.welcomeView->failureLabel->text(),
            "Corvane Studio was not removed: the removal ended with status 1.");
  QTest::mouseClick(window.welcomeView->checkButton, Qt::LeftButton);
  EXPECT_TRUE(window.welcomeView->checkButton->isSelected());
  succeed = true;
  QTest::mouseClick(window.welcomeView->nextButton, Qt::LeftButton);
  EXPECT_EQ(asked, (std::vector<bool>{false, false, true}));
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

// From the keyboard: the focus starts on Continue (shown), never on the box that widens what is
// removed; Return and Space press the focused button; Escape closes the window as its close
// button does, until the removal has started.
TEST_F(PagesTest, TheKeyboardStartsOnContinueAndClosesWithEscapeBeforeTheRemoval) {
  MainViewController window;
  std::vector<bool> asked;
  window.welcomeView->setRunner([&](bool all) {
    asked.push_back(all);
    return RemovalRunner::Outcome{false, "the password prompt was closed"};
  });
  window.show();
  QApplication::setActiveWindow(&window);
  CustomButton* next = window.welcomeView->nextButton;
  CustomButton* box = window.welcomeView->checkButton;
  EXPECT_EQ(QApplication::focusWidget(), next);
  EXPECT_TRUE(next->showsFocus());
  EXPECT_FALSE(box->showsFocus());
  // Return on Continue tries the removal with the box as it is: unticked.
  QTest::keyClick(next, Qt::Key_Return);
  EXPECT_EQ(asked, (std::vector<bool>{false}));
  EXPECT_FALSE(box->isSelected());
  // Tab reaches the box and shows it; Return and Space tick it there, and nothing is removed.
  QTest::keyClick(next, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), box);
  EXPECT_TRUE(box->showsFocus());
  EXPECT_FALSE(next->showsFocus());
  QTest::keyClick(box, Qt::Key_Return);
  EXPECT_TRUE(box->isSelected());
  QTest::keyClick(box, Qt::Key_Space);
  EXPECT_FALSE(box->isSelected());
  EXPECT_EQ(asked.size(), 1u);
  QTest::keyClick(box, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), next);
  // A click gives the focus without the ring.
  QTest::mouseClick(box, Qt::LeftButton);
  EXPECT_TRUE(box->hasFocus());
  EXPECT_FALSE(box->showsFocus());
  QTest::mouseClick(box, Qt::LeftButton);
  // Escape closes the window on the first page.
  QTest::keyClick(box, Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(asked.size(), 1u);
  QApplication::setActiveWindow(nullptr);

  // Once the removal ran, Escape leaves the window as it is.
  MainViewController removing;
  removing.show();
  removing.setState(UninstallState::progress);
  QTest::keyClick(&removing, Qt::Key_Escape);
  EXPECT_TRUE(removing.isVisible());
  removing.setState(UninstallState::complete);
  QTest::keyClick(&removing, Qt::Key_Escape);
  EXPECT_TRUE(removing.isVisible());
}
