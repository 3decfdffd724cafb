#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "ManualClock.h"
#include "NotificationCenter.h"
#include "TempDir.h"
#include "dispatch/MainQueue.h"
#include "privileged/STPrivilegedTask.h"

using platform::STPrivilegedTask;

namespace {
const std::string kFakePkexec = std::string(CORVANE_TEST_SUPPORT_DIR) + "/fake-pkexec";

class PrivilegedTaskTest : public ::testing::Test {
 protected:
  void SetUp() override { STPrivilegedTask::setElevationToolPath(kFakePkexec); }
  void TearDown() override {
    STPrivilegedTask::setElevationToolPath("");
    unsetenv("CORVANE_FAKE_PKEXEC_STATUS");
  }
  testsupport::TempDir dir;
};
}  // namespace

TEST_F(PrivilegedTaskTest, RunsTheToolWithItsArgumentsInItsDirectoryAndCollectsOutput) {
  STPrivilegedTask task("/bin/sh", {"-c", "pwd; echo \"$1\"; exit 3", "sh", "two words"},
                        dir.path());
  EXPECT_EQ(task.description(),
            "'/bin/sh' -c pwd; echo \"$1\"; exit 3 sh two words (CWD:" + dir.path() + ")");
  ASSERT_EQ(task.launch(), STPrivilegedTask::kSuccess);
  EXPECT_TRUE(task.isRunning());
  EXPECT_GT(task.processIdentifier(), 0);
  task.waitUntilExit();
  EXPECT_FALSE(task.isRunning());
  EXPECT_EQ(task.terminationStatus(), 3);
  EXPECT_EQ(task.output(), dir.path() + "\ntwo words\n");
}

// Which tool a task starts is told on standard output; the system log gets failures only.
TEST_F(PrivilegedTaskTest, TheToolStartedIsToldOnStandardOutput) {
  STPrivilegedTask task("/bin/true");
  testing::internal::CaptureStdout();
  ASSERT_EQ(task.launch(), STPrivilegedTask::kSuccess);
  task.waitUntilExit();
  EXPECT_NE(testing::internal::GetCapturedStdout().find("toolPath: /bin/true\n"),
            std::string::npos);
}

TEST_F(PrivilegedTaskTest, ASecondLaunchWhileRunningStartsNothing) {
  std::string fifo = dir.file("gate");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  STPrivilegedTask task("/bin/sh", {"-c", "read x < \"$0\"; echo done", fifo});
  ASSERT_EQ(task.launch(), 0);
  pid_t first = task.processIdentifier();
  EXPECT_EQ(task.launch(), 0);
  EXPECT_EQ(task.processIdentifier(), first);
  std::ofstream(fifo) << "go\n";
  task.waitUntilExit();
  EXPECT_EQ(task.output(), "done\n");
}

TEST_F(PrivilegedTaskTest, ADismissedPromptReadsAsUserCancel) {
  setenv("CORVANE_FAKE_PKEXEC_STATUS", "126", 1);
  STPrivilegedTask task("/bin/sh", {"-c", "echo never"});
  ASSERT_EQ(task.launch(), 0);
  task.waitUntilExit();
  EXPECT_EQ(task.terminationStatus(), STPrivilegedTask::kUserCanceled);
  EXPECT_EQ(task.output(), "");
}

TEST_F(PrivilegedTaskTest, WithoutTheElevationToolNothingStarts) {
  STPrivilegedTask::setElevationToolPath(dir.file("no-such-tool"));
  EXPECT_FALSE(STPrivilegedTask::authorizationFunctionAvailable());
  STPrivilegedTask task("/bin/true");
  EXPECT_EQ(task.launch(), STPrivilegedTask::kNotAvailable);
  EXPECT_FALSE(task.isRunning());
}

TEST_F(PrivilegedTaskTest, ALongOutputNeverStallsTheTool) {
  // Far more than a pipe holds, written before anyone waits.
  STPrivilegedTask task(
      "/bin/sh", {"-c", "i=0; while [ $i -lt 20000 ]; do echo 0123456789abcdef; i=$((i+1)); done"});
  ASSERT_EQ(task.launch(), 0);
  task.waitUntilExit();
  EXPECT_EQ(task.terminationStatus(), 0);
  EXPECT_EQ(task.output().size(), 20000u * 17);
}

TEST_F(PrivilegedTaskTest, TheStatusTimerTellsTheHandlerOnItsQueue) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  platform::MainQueue& main = platform::MainQueue::shared();
  STPrivilegedTask task("/bin/sh", {"-c", "exit 0"});
  int calls = 0;
  task.setTerminationHandler(
      [&](STPrivilegedTask& t) {
        ++calls;
        EXPECT_FALSE(t.isRunning());
      },
      &main);
  ASSERT_EQ(task.launch(), 0);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (calls == 0 && std::chrono::steady_clock::now() < deadline) {
    clock.advance(std::chrono::milliseconds(50));
    main.drain();
    std::this_thread::yield();
  }
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(task.terminationStatus(), 0);
}

TEST_F(PrivilegedTaskTest, TheEndIsAnnouncedOnceWhicheverWayItIsNoticed) {
  auto& center = platform::NotificationCenter::shared();
  std::vector<const void*> senders;
  auto token =
      center.addObserver(STPrivilegedTask::kDidTerminateNotification, nullptr,
                         [&](const platform::Notification& n) { senders.push_back(n.sender); });
  STPrivilegedTask waited("/bin/sh", {"-c", "exit 0"});
  ASSERT_EQ(waited.launch(), 0);
  waited.waitUntilExit();
  waited.waitUntilExit();  // not running any more: nothing new to announce
  EXPECT_EQ(senders, std::vector<const void*>{&waited});

  // Noticed by the status check on the launching thread's queue, with the handler after it.
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped{clock};
  auto& main = platform::MainQueue::shared();
  STPrivilegedTask checked("/bin/sh", {"-c", "exit 5"});
  int handled = 0;
  checked.setTerminationHandler(
      [&](STPrivilegedTask& t) {
        EXPECT_EQ(senders.size(), 2u);  // announced before the handler runs
        EXPECT_EQ(t.terminationStatus(), 5);
        ++handled;
      },
      &main);
  ASSERT_EQ(checked.launch(), 0);
  while (!checked.checkStatus()) {
  }
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(senders.size(), 2u);
  EXPECT_EQ(senders.back(), &checked);
  center.removeObserver(token);
}

TEST_F(PrivilegedTaskTest, ASignalOrAnUnobservedEndIsNeverSuccess) {
  STPrivilegedTask killed("/bin/sh", {"-c", "kill -TERM $$"});
  ASSERT_EQ(killed.launch(), 0);
  killed.waitUntilExit();
  EXPECT_EQ(killed.terminationStatus(), 128 + SIGTERM);

  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGCHLD, &ignore, &previous);
  STPrivilegedTask waited("/bin/true");
  ASSERT_EQ(waited.launch(), 0);
  waited.waitUntilExit();
  STPrivilegedTask polled("/bin/true");
  ASSERT_EQ(polled.launch(), 0);
  while (!polled.checkStatus()) std::this_thread::yield();
  sigaction(SIGCHLD, &previous, nullptr);
  EXPECT_EQ(waited.terminationStatus(), STPrivilegedTask::kUnknownOutcome);
  EXPECT_EQ(polled.terminationStatus(), STPrivilegedTask::kUnknownOutcome);
}
