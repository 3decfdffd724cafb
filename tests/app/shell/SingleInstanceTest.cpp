#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "InstanceLock.h"
#include "ManualClock.h"
#include "ShellTestMedia.h"
#include "TempDir.h"
#include "camera/PlayerManager.h"
#include "dispatch/MainQueue.h"
#include "log/LogManager.h"
#include "shell/ClipHandOver.h"
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
    // The waits are counted, not slept; an answer is waited for as long as the program would.
    e.lockWaitMs = 10000;
    e.wait = [this](int) { ++waits; };
    e.user = getuid();
    return e;
  }
  // Runs the main thread's events (the first instance's socket) until `done`.
  // Gives up (a failure) after a while, so that a fault shows as a failed test, not a hang.
  template <typename Done>
  static void pumpUntil(Done done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > giveUp) {
        ADD_FAILURE() << "not reached within 20 s";
        return;
      }
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      platform::MainQueue::shared().drain();
    }
  }
  template <typename T>
  static void pumpUntilReady(std::future<T>& f) {
    pumpUntil([&] { return f.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; });
  }
  // A later start with `clip`, while the main thread serves: how it started and its answer.
  std::pair<SingleInstance::Start, InstanceRequest::Answer> askToPlay(const QString& clip) {
    auto e = env();
    auto second = std::async(std::launch::async, [e, clip] {
      SingleInstance instance(e);
      auto start = instance.start(*InstanceRequest::play(clip));
      return std::make_pair(start, instance.answer());
    });
    pumpUntilReady(second);
    return second.get();
  }
  testsupport::TempDir dir;
  std::atomic<int> waits{0};
};

TEST_F(SingleInstanceTest, TheLockIsTheKernelsAndACrashReleasesIt) {
  using Result = platform::InstanceLock::Result;
  const std::string path = dir.file("app.lock");
  platform::InstanceLock mine(path);
  {
    LockHolder other(path);
    ASSERT_TRUE(other.locked());
    EXPECT_EQ(mine.tryLock(), Result::held);
    other.kill();  // a crash: nothing removed, nothing unlocked by the program
    EXPECT_EQ(mine.tryLock(), Result::locked);
    EXPECT_EQ(mine.tryLock(), Result::locked) << "held already";
  }
  platform::InstanceLock second(path);
  EXPECT_EQ(second.tryLock(), Result::held);
  mine.unlock();
  EXPECT_EQ(second.tryLock(), Result::locked);
  platform::InstanceLock nowhere(dir.file("missing/folder/app.lock"));
  EXPECT_EQ(nowhere.tryLock(), Result::failed) << "nobody holds a lock that cannot be made";
}

// The second start asks the first to bring its window forward and ends; the first runs its
// event loop meanwhile.
TEST_F(SingleInstanceTest, ASecondStartBringsTheFirstWindowForward) {
  SingleInstance first(env());
  ASSERT_EQ(first.start(), SingleInstance::Start::first);
  int activations = 0;
  ASSERT_TRUE(first.listen());
  first.serve({[&] { ++activations; }, {}});

  for (int round = 1; round <= 2; ++round) {
    auto second = std::async(std::launch::async, [this] { return SingleInstance(env()).start(); });
    pumpUntilReady(second);
    EXPECT_EQ(second.get(), SingleInstance::Start::answered);
    EXPECT_EQ(activations, round);
  }
  EXPECT_EQ(waits, 0);

  // The first one gone, the next start is the instance.
  first.release();
  SingleInstance next(env());
  EXPECT_EQ(next.start(), SingleInstance::Start::first);
  EXPECT_TRUE(next.listen());
}

// A holder that does not answer (a crashed instance left its socket; an instance on its way out)
// is waited for; one that never lets go leaves the start busy.
TEST_F(SingleInstanceTest, AnUnansweringHolderIsWaitedForAWhile) {
  auto e = env();
  LockHolder holder(e.lockPath);
  ASSERT_TRUE(holder.locked());
  EXPECT_EQ(SingleInstance(e).start(), SingleInstance::Start::busy);
  EXPECT_EQ(waits, 100) << "tries every 100 ms for the whole wait";
  waits = 0;

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
  EXPECT_TRUE(first.listen());
}

// A lock that cannot be made (a link planted in its place, no private folder for it) is held by
// nobody: the start goes on at once, without the check, and says why.
TEST_F(SingleInstanceTest, ALockThatCannotBeMadeLetsTheStartGoOnWithoutTheCheck) {
  auto e = env();
  std::filesystem::create_symlink(dir.file("elsewhere"), e.lockPath);
  SingleInstance linked(e);
  EXPECT_EQ(linked.start(), SingleInstance::Start::unchecked);
  EXPECT_NE(linked.problem().find(e.lockPath + ": a symbolic link"), std::string::npos)
      << linked.problem();
  EXPECT_EQ(waits, 0) << "no wait for a lock nobody holds";
  EXPECT_FALSE(linked.listen()) << "no socket without the lock";

  e.lockPath.clear();
  e.lockProblem = "/tmp/corvane-runtime-1000 is owned by user 1001";
  SingleInstance homeless(e);
  EXPECT_EQ(homeless.start(), SingleInstance::Start::unchecked);
  EXPECT_NE(homeless.problem().find(e.lockProblem), std::string::npos) << homeless.problem();
  EXPECT_EQ(waits, 0);
}

// Two starts at the same instant: the first holds the lock and listens at once, but answers
// only once its window exists; the second waits for that answer instead of giving up.
TEST_F(SingleInstanceTest, AStartAtTheSameInstantWaitsForTheFirstWindow) {
  SingleInstance first(env());
  ASSERT_EQ(first.start(), SingleInstance::Start::first);
  ASSERT_TRUE(first.listen());
  auto e = env();
  auto second = std::async(std::launch::async, [e] { return SingleInstance(e).start(); });
  pumpUntil([&] { return first.waitingRequests() == 1; });
  EXPECT_NE(second.wait_for(std::chrono::milliseconds(0)), std::future_status::ready);

  int activations = 0;
  first.serve({[&] { ++activations; }, {}});
  pumpUntilReady(second);
  EXPECT_EQ(second.get(), SingleInstance::Start::answered);
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(waits, 0);
}

// The second start came before the first listened at all: it tries again within its wait.
TEST_F(SingleInstanceTest, ASecondStartTriesAgainUntilTheFirstListens) {
  SingleInstance first(env());
  ASSERT_EQ(first.start(), SingleInstance::Start::first);
  std::atomic<bool> listenNow{false}, listening{false};
  auto e = env();
  e.wait = [&](int) {
    if (++waits == 2) {
      listenNow = true;
      while (!listening) std::this_thread::yield();
    }
  };
  auto second = std::async(std::launch::async, [e] { return SingleInstance(e).start(); });
  pumpUntil([&] { return listenNow.load(); });
  ASSERT_TRUE(first.listen());
  int activations = 0;
  first.serve({[&] { ++activations; }, {}});
  listening = true;
  pumpUntilReady(second);
  EXPECT_EQ(second.get(), SingleInstance::Start::answered);
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(waits, 2);
}

// SIGTERM during a start's wait ends it: the wait for the lock and the wait for an answer.
TEST_F(SingleInstanceTest, ASignalEndsEveryWaitOfTheStart) {
  {
    auto e = env();
    LockHolder holder(e.lockPath);
    ASSERT_TRUE(holder.locked());
    e.interrupted = [this] { return waits >= 3; };
    EXPECT_EQ(SingleInstance(e).start(), SingleInstance::Start::interrupted);
    EXPECT_EQ(waits, 3);
  }
  waits = 0;
  SingleInstance first(env());
  ASSERT_EQ(first.start(), SingleInstance::Start::first);
  ASSERT_TRUE(first.listen());
  std::atomic<bool> signalled{false};
  auto e = env();
  e.interrupted = [&] { return signalled.load(); };
  auto second = std::async(std::launch::async, [e] { return SingleInstance(e).start(); });
  pumpUntil([&] { return first.waitingRequests() == 1; });
  signalled = true;
  pumpUntilReady(second);
  EXPECT_EQ(second.get(), SingleInstance::Start::interrupted);
}

// Only the user's own instance is believed. The answer here comes from this very user, so the
// start is told it is another one (a second user cannot be had in a test).
TEST_F(SingleInstanceTest, AnAnswerFromAnotherUsersSocketIsNotTrusted) {
  SingleInstance first(env());
  ASSERT_EQ(first.start(), SingleInstance::Start::first);
  ASSERT_TRUE(first.listen());
  int activations = 0;
  first.serve({[&] { ++activations; }, {}});
  auto e = env();
  e.user = getuid() + 1;
  auto second = std::async(std::launch::async, [e] {
    SingleInstance instance(e);
    return std::make_pair(instance.start(), instance.problem());
  });
  pumpUntilReady(second);
  auto [start, problem] = second.get();
  EXPECT_EQ(start, SingleInstance::Start::unchecked);
  EXPECT_NE(problem.find("answered by user " + std::to_string(getuid())), std::string::npos)
      << problem;
  pumpUntil([&] { return first.openConnections() == 0; });
  EXPECT_EQ(activations, 0) << "nothing was asked of it";
}

// A clip given to a later start is handed over by its absolute path and played by the running
// instance; one it cannot play comes back with the reason.
TEST_F(SingleInstanceTest, ALaterStartsClipIsPlayedByTheRunningInstance) {
  SingleInstance first(env());
  ASSERT_EQ(first.start(), SingleInstance::Start::first);
  ASSERT_TRUE(first.listen());
  std::vector<QString> played;
  int activations = 0;
  auto ask = [this](const QString& clip) { return askToPlay(clip); };
  // Asked before the window exists, played once it does.
  auto early = std::async(std::launch::async, [this] {
    auto e = env();
    SingleInstance instance(e);
    auto start = instance.start(*InstanceRequest::play("/clips/early.mp4"));
    return std::make_pair(start, instance.answer());
  });
  pumpUntil([&] { return first.waitingRequests() == 1; });
  first.serve({[&] { ++activations; },
               [&](const QString& clip, std::function<void(const QString&)> answered) {
                 if (clip.endsWith("missing.mp4")) return answered(QStringLiteral("No such file"));
                 played.push_back(clip);
                 answered(QString());
               }});
  pumpUntilReady(early);
  auto [earlyStart, earlyAnswer] = early.get();
  EXPECT_EQ(earlyStart, SingleInstance::Start::answered);
  EXPECT_TRUE(earlyAnswer.playing);

  auto [start, answer] = ask("/clips/with space/ä.mp4");
  EXPECT_EQ(start, SingleInstance::Start::answered);
  EXPECT_TRUE(answer.playing);
  auto [missingStart, missing] = ask("/clips/missing.mp4");
  EXPECT_EQ(missingStart, SingleInstance::Start::answered);
  EXPECT_FALSE(missing.playing);
  EXPECT_EQ(missing.notPlayed, "No such file");
  EXPECT_EQ(played, (std::vector<QString>{"/clips/early.mp4", "/clips/with space/ä.mp4"}));
  EXPECT_EQ(activations, 3) << "the window comes forward each time";
}

// The running instance answers once its player has opened the clip: a file it cannot read
// comes back "not played" with the player's reason (as the running window logs it), and the
// clip it plays is the player's by the time the later start hears so.
TEST_F(SingleInstanceTest, AHandedOverClipIsAnsweredOnceThePlayerHasOpenedIt) {
  shelltest::PlayerFiles& files = shelltest::playerFiles();
  ASSERT_TRUE(files.error.empty()) << files.error;
  const std::string garbage = dir.file("garbage.mp4");
  {
    std::ofstream out(garbage, std::ios::binary);
    for (int i = 0; i < 65536; ++i) out.put(char((i * 7919) % 251));
  }
  PlayerManager player;
  ClipHandOver clips(player);
  SingleInstance first(env());
  ASSERT_EQ(first.start(), SingleInstance::Start::first);
  ASSERT_TRUE(first.listen());
  first.serve(
      {[] {}, [&](const QString& clip,
                  ClipHandOver::Answered answered) { clips.play(clip, std::move(answered)); }});

  auto [start, refused] = askToPlay(QString::fromStdString(garbage));
  EXPECT_EQ(start, SingleInstance::Start::answered);
  EXPECT_TRUE(refused.shown);
  EXPECT_FALSE(refused.playing);
  EXPECT_TRUE(refused.notPlayed.startsWith("cannot read the file"))
      << refused.notPlayed.toStdString();
  EXPECT_FALSE(player.hasValidAsset());

  auto [playedStart, played] = askToPlay(QString::fromStdString(files.video));
  EXPECT_EQ(playedStart, SingleInstance::Start::answered);
  EXPECT_TRUE(played.playing);
  EXPECT_EQ(player.asset(), files.video);

  // A missing file is refused the same way, and the clip playing stays.
  auto [missingStart, missing] = askToPlay(QString::fromStdString(dir.file("missing.mp4")));
  EXPECT_FALSE(missing.playing);
  EXPECT_TRUE(missing.notPlayed.contains("No such file")) << missing.notPlayed.toStdString();
  EXPECT_EQ(player.asset(), files.video);
  player.close();
}

// Clients of the instance socket that connect and say nothing, in the running program.
class InstanceSocketTest : public SingleInstanceTest {
 protected:
  void SetUp() override {
    auto e = env();
    e.clock = &clock;
    first = std::make_unique<SingleInstance>(e);
    ASSERT_EQ(first->start(), SingleInstance::Start::first);
    ASSERT_TRUE(first->listen());
    first->serve({[this] { ++activations; }, {}});
  }
  QLocalSocket* connectClient() {
    auto* socket = new QLocalSocket;
    clients.emplace_back(socket);
    socket->connectToServer(QString::fromStdString(dir.file("corvane-studio.socket")));
    return socket;
  }
  size_t connectedClients() const {
    size_t n = 0;
    for (const auto& c : clients) n += c->state() == QLocalSocket::ConnectedState;
    return n;
  }
  // The day log's lines holding `text`.
  static int logLines(const std::string& text) {
    std::ifstream in(LogManager::shared().logFilePath());
    int n = 0;
    for (std::string line; std::getline(in, line);) n += line.find(text) != std::string::npos;
    return n;
  }

  testsupport::ManualClock clock;
  testsupport::ScopedClock scopedClock{clock};
  std::unique_ptr<SingleInstance> first;
  std::vector<std::unique_ptr<QLocalSocket>> clients;
  int activations = 0;
};

TEST_F(InstanceSocketTest, ConnectionsThatSayNothingAreDroppedAtTheirDeadline) {
  for (int i = 0; i < 4; ++i) connectClient();
  connectClient()->write("sho");  // a request that never ends
  pumpUntil([&] { return first->openConnections() == 5; });
  clock.advance(SingleInstance::kReadDeadline - std::chrono::milliseconds(1));
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  platform::MainQueue::shared().drain();
  EXPECT_EQ(first->openConnections(), 5u);
  clock.advance(std::chrono::milliseconds(1));
  pumpUntil([&] { return first->openConnections() == 0 && connectedClients() == 0; });

  // The socket still serves the next start.
  auto second = std::async(std::launch::async, [this] { return SingleInstance(env()).start(); });
  pumpUntilReady(second);
  EXPECT_EQ(second.get(), SingleInstance::Start::answered);
  EXPECT_EQ(activations, 1);
}

TEST_F(InstanceSocketTest, OpenConnectionsAreCapped) {
  const size_t cap = SingleInstance::kMaxConnections;
  for (size_t i = 0; i < cap + 10; ++i) connectClient();
  // The ones past the cap are closed as they come; the rest are held until their deadline.
  pumpUntil([&] { return first->openConnections() == cap && connectedClients() == cap; });
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(first->openConnections(), cap);
  EXPECT_EQ(connectedClients(), cap);
  clock.advance(SingleInstance::kReadDeadline);
  pumpUntil([&] { return first->openConnections() == 0; });
  auto second = std::async(std::launch::async, [this] { return SingleInstance(env()).start(); });
  pumpUntilReady(second);
  EXPECT_EQ(second.get(), SingleInstance::Start::answered);
}

// A flood of "show" requests brings the window forward each time but writes a few lines.
TEST_F(InstanceSocketTest, AFloodOfRequestsWritesAFewLogLines) {
  const std::string line = "Another start of the program: this window comes forward";
  const int before = logLines(line);
  for (int round = 0; round < 10; ++round) {
    clients.clear();
    for (int i = 0; i < 10; ++i) connectClient()->write(InstanceRequest::show().line());
    pumpUntil([&] {
      for (const auto& c : clients)
        if (c->state() != QLocalSocket::UnconnectedState) return false;
      return true;
    });
  }
  EXPECT_EQ(activations, 100);
  EXPECT_LE(logLines(line) - before, 6);
  EXPECT_GE(logLines(line) - before, 1);
}

TEST(InstanceRequest, LinesBothWays) {
  EXPECT_EQ(InstanceRequest::show().line(), "show\n");
  EXPECT_EQ(InstanceRequest::play("/a b/c.mp4")->line(), "play /a b/c.mp4\n");
  EXPECT_FALSE(InstanceRequest::play("relative/c.mp4")) << "the running instance's folder differs";
  EXPECT_FALSE(InstanceRequest::play("/a\nshow"));
  EXPECT_FALSE(InstanceRequest::play("/" + QString(5000, 'x')));

  struct Row {
    QByteArray line;
    bool valid;
    InstanceRequest::Kind kind;
    QString clip;
  } rows[] = {
      {"show\n", true, InstanceRequest::Kind::show, {}},
      {"play /x/y.mp4\n", true, InstanceRequest::Kind::play, "/x/y.mp4"},
      {QByteArray("play /x/\xc3\xa4.mp4\n"), true, InstanceRequest::Kind::play, "/x/ä.mp4"},
      {"show", false, {}, {}},
      {"show\nshow\n", false, {}, {}},
      {"SHOW\n", false, {}, {}},
      {"play \n", false, {}, {}},
      {"play x.mp4\n", false, {}, {}},
      {"play /x.mp4", false, {}, {}},
      {QByteArray("play /x\0y\n", 10), false, {}, {}},
      {"play  /x.mp4\n", false, {}, {}},
      {"", false, {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line.toStdString());
    auto request = InstanceRequest::parse(row.line);
    ASSERT_EQ(request.has_value(), row.valid);
    if (!request) continue;
    EXPECT_EQ(request->kind, row.kind);
    EXPECT_EQ(request->clip, row.clip);
    EXPECT_EQ(request->line(), row.line) << "what is read is what was sent";
  }

  auto shown = InstanceRequest::parseAnswer("shown\n");
  ASSERT_TRUE(shown);
  EXPECT_TRUE(shown->shown);
  EXPECT_FALSE(shown->playing);
  auto playing = InstanceRequest::parseAnswer("playing\n");
  ASSERT_TRUE(playing);
  EXPECT_TRUE(playing->playing);
  auto refused = InstanceRequest::parseAnswer(InstanceRequest::notPlayedAnswer("not a\nvideo"));
  ASSERT_TRUE(refused);
  EXPECT_FALSE(refused->playing);
  EXPECT_EQ(refused->notPlayed, "not a video");
  EXPECT_FALSE(InstanceRequest::parseAnswer("shown"));
  EXPECT_FALSE(InstanceRequest::parseAnswer("hello\n"));
  EXPECT_EQ(InstanceRequest::notPlayedAnswer(QString(10000, 'x')).size(),
            InstanceRequest::kMaxLineBytes);
}

}  // namespace
}  // namespace corvane
