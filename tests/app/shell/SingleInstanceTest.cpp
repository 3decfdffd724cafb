#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <future>
#include <string>

#include "InstanceLock.h"
#include "TempDir.h"
#include "shell/SingleInstance.h"

namespace corvane {
namespace {

// Another process holding the lock, as a running instance (or one on its way out) does: the
// flock tool keeps it until it is killed.
class LockHolder {
 public:
  explicit LockHolder(const std::string& path) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(ready[1], STDOUT_FILENO);
      execl("/usr/bin/flock", "flock", "--exclusive", "--no-fork", path.c_str(), "/bin/sh", "-c",
            "echo locked; exec sleep 60", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(ready[1]);
    char c = 0;
    locked_ = read(ready[0], &c, 1) == 1;
    close(ready[0]);
  }
  ~LockHolder() { kill(); }
  bool locked() const { return locked_; }
  // As a crash ends it: no clean-up of its own.
  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  bool locked_ = false;
};

class SingleInstanceTest : public ::testing::Test {
 protected:
  SingleInstance::Environment env() {
    SingleInstance::Environment e;
    e.lockPath = dir.file("corvane-studio.lock");
    e.socketPath = QString::fromStdString(dir.file("corvane-studio.socket"));
    e.lockWaitMs = 0;
    e.answerWaitMs = 2000;
    e.wait = [this](int) { ++waits; };
    return e;
  }
  testsupport::TempDir dir;
  int waits = 0;
};

TEST_F(SingleInstanceTest, TheLockIsTheKernelsAndACrashReleasesIt) {
  const std::string path = dir.file("app.lock");
  platform::InstanceLock mine(path);
  {
    LockHolder other(path);
    ASSERT_TRUE(other.locked());
    EXPECT_FALSE(mine.tryLock());
    other.kill();  // a crash: nothing removed, nothing unlocked by the program
    EXPECT_TRUE(mine.tryLock());
    EXPECT_TRUE(mine.tryLock()) << "held already";
  }
  platform::InstanceLock second(path);
  EXPECT_FALSE(second.tryLock());
  mine.unlock();
  EXPECT_TRUE(second.tryLock());
  platform::InstanceLock nowhere(dir.file("missing/folder/app.lock"));
  EXPECT_FALSE(nowhere.tryLock());
}

// The second start asks the first to bring its window forward and ends; the first runs its
// event loop meanwhile.
TEST_F(SingleInstanceTest, ASecondStartBringsTheFirstWindowForward) {
  SingleInstance first(env());
  ASSERT_EQ(first.start(), SingleInstance::Start::first);
  int activations = 0;
  ASSERT_TRUE(first.listen([&] { ++activations; }));

  for (int round = 1; round <= 2; ++round) {
    auto second = std::async(std::launch::async, [this] { return SingleInstance(env()).start(); });
    while (second.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(second.get(), SingleInstance::Start::answered);
    EXPECT_EQ(activations, round);
  }
  EXPECT_EQ(waits, 0);

  // The first one gone, the next start is the instance.
  first.release();
  SingleInstance next(env());
  EXPECT_EQ(next.start(), SingleInstance::Start::first);
  EXPECT_TRUE(next.listen({}));
}

// A holder that does not answer (a crashed instance left its socket; an instance on its way out)
// is waited for; one that never lets go leaves the start busy.
TEST_F(SingleInstanceTest, AnUnansweringHolderIsWaitedForAWhile) {
  auto e = env();
  LockHolder holder(e.lockPath);
  ASSERT_TRUE(holder.locked());
  EXPECT_EQ(SingleInstance(e).start(), SingleInstance::Start::busy);

  e.lockWaitMs = 10000;
  e.wait = [&](int) {
    if (++waits == 3) holder.kill();
  };
  EXPECT_EQ(SingleInstance(e).start(), SingleInstance::Start::first);
  EXPECT_EQ(waits, 3);
}

// A crash leaves its socket file behind: the next first instance listens all the same.
TEST_F(SingleInstanceTest, AStaleSocketIsReplaced) {
  auto e = env();
  {
    LockHolder crashed(e.lockPath);
    ASSERT_TRUE(crashed.locked());
    FILE* stale = fopen(e.socketPath.toLocal8Bit().constData(), "w");
    ASSERT_NE(stale, nullptr);
    fclose(stale);
  }
  SingleInstance first(e);
  ASSERT_EQ(first.start(), SingleInstance::Start::first);
  EXPECT_TRUE(first.listen({}));
}

}  // namespace
}  // namespace corvane
