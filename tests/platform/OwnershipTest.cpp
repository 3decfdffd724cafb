#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <latch>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "InstanceLock.h"
#include "Ownership.h"
#include "Paths.h"
#include "TempDir.h"

using platform::InstanceLock;
using platform::Ownership;
using platform::Paths;

namespace {

struct stat statOf(mode_t mode, uid_t owner) {
  struct stat st {};
  st.st_mode = mode;
  st.st_uid = owner;
  return st;
}

constexpr uid_t kMe = 1000;
constexpr uid_t kOther = 1001;

}  // namespace

// Which folders a lock and a socket may lie in, from their stat results alone (no second user
// needed): the user's own private folder only.
TEST(Ownership, OnlyARealFolderOfTheUsersOwnThatNobodyElseEntersIsPrivate) {
  struct Row {
    mode_t mode;
    uid_t owner;
    const char* problem;  // part of the reason, "" when private
  } rows[] = {
      {S_IFDIR | 0700, kMe, ""},
      {S_IFDIR | 0500, kMe, ""},  // unwritable is not shared: the lock then fails to be made
      {S_IFDIR | 0700, kOther, "owned by user 1001, not by user 1000"},
      {S_IFDIR | 0710, kMe, "open to other users (mode 0710)"},
      {S_IFDIR | 0755, kMe, "open to other users (mode 0755)"},
      {S_IFDIR | 01777, 0, "owned by user 0"},  // the shared temporary folder itself
      {S_IFDIR | 01777, kMe, "open to other users (mode 1777)"},
      {S_IFLNK | 0777, kMe, "a symbolic link"},
      {S_IFREG | 0600, kMe, "not a folder"},
  };
  for (const Row& row : rows) {
    std::string problem = Ownership::folderProblem(statOf(row.mode, row.owner), kMe);
    SCOPED_TRACE(std::to_string(row.mode) + " of " + std::to_string(row.owner));
    if (*row.problem == '\0')
      EXPECT_EQ(problem, "");
    else
      EXPECT_NE(problem.find(row.problem), std::string::npos) << problem;
  }
}

TEST(Ownership, TheLockFileMustBeARegularFileOfTheUsers) {
  EXPECT_EQ(Ownership::fileProblem(statOf(S_IFREG | 0600, kMe), kMe), "");
  EXPECT_EQ(Ownership::fileProblem(statOf(S_IFREG | 0644, kMe), kMe), "");
  EXPECT_NE(Ownership::fileProblem(statOf(S_IFREG | 0600, kOther), kMe).find("owned by user 1001"),
            std::string::npos);
  EXPECT_NE(Ownership::fileProblem(statOf(S_IFLNK | 0777, kMe), kMe).find("symbolic link"),
            std::string::npos);
  EXPECT_NE(Ownership::fileProblem(statOf(S_IFIFO | 0600, kMe), kMe).find("not a regular file"),
            std::string::npos);
  EXPECT_NE(Ownership::fileProblem(statOf(S_IFSOCK | 0600, kMe), kMe), "");
}

// Without a session folder the runtime folder is made in the shared temporary folder, where
// anybody may have made its name first.
class RuntimeFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"})
      if (const char* v = std::getenv(name)) saved_.emplace_back(name, v);
    unsetenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", shared.path().c_str(), 1);
    if (std::filesystem::is_directory("/run/user/" + std::to_string(getuid())))
      GTEST_SKIP() << "this user has a session folder, which comes first";
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
  }
  std::string own() const { return shared.file("corvane-runtime-" + std::to_string(getuid())); }
  // The runtime folder is one of the user's private folders inside the temporary folder,
  // never the temporary folder itself.
  void expectPrivateFolderBeside(const std::optional<std::string>& folder) {
    ASSERT_TRUE(folder.has_value());
    EXPECT_NE(*folder, shared.path());
    EXPECT_EQ(std::filesystem::path(*folder).parent_path(), shared.path());
    struct stat st;
    ASSERT_EQ(lstat(folder->c_str(), &st), 0);
    EXPECT_EQ(Ownership::folderProblem(st, getuid()), "");
  }

  testsupport::TempDir shared;
  std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(RuntimeFolder, IsMadeForTheUserAloneAndKept) {
  auto folder = Paths::runtime();
  EXPECT_EQ(folder, own());
  expectPrivateFolderBeside(folder);
  EXPECT_EQ(Paths::runtime(), own());
}

// Each way of taking the name first: the program goes to a private folder of its own beside
// it, the same one at every start, and says what it passed over.
TEST_F(RuntimeFolder, ATakenNameLeadsToAnotherPrivateFolderNeverTheSharedOne) {
  struct Squat {
    const char* how;
    std::function<void(const std::string&)> make;
  } squats[] = {
      {"open to others",
       [](const std::string& p) {
         mkdir(p.c_str(), 0700);
         chmod(p.c_str(), 0777);
       }},
      {"a link to a folder of the squatter's",
       [this](const std::string& p) {
         std::filesystem::create_directory(shared.file("theirs"));
         std::filesystem::create_directory_symlink(shared.file("theirs"), p);
       }},
      {"a file", [](const std::string& p) { fclose(fopen(p.c_str(), "w")); }},
  };
  for (const Squat& squat : squats) {
    SCOPED_TRACE(squat.how);
    std::filesystem::remove_all(shared.path());
    std::filesystem::create_directory(shared.path());
    squat.make(own());
    std::string refused;
    auto folder = Paths::runtime(&refused);
    expectPrivateFolderBeside(folder);
    EXPECT_NE(folder, own());
    EXPECT_NE(refused.find(own()), std::string::npos) << refused;
    EXPECT_EQ(Paths::runtime(), folder) << "the next start finds the same folder";
    auto lock = InstanceLock::pathFor("corvane-studio");
    ASSERT_TRUE(lock.has_value());
    EXPECT_EQ(*lock, *folder + "/corvane-studio.lock");
  }
}

// Another user's folder under the name (made here by root handing it over).
TEST_F(RuntimeFolder, AnotherUsersFolderUnderTheNameIsPassedOver) {
  if (getuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
  ASSERT_EQ(mkdir(own().c_str(), 0700), 0);
  ASSERT_EQ(chown(own().c_str(), 65534, 65534), 0);
  // A private folder of that other user's beside it, under the pattern of ours, is not ours.
  std::string decoy = own() + ".AAAAAA";
  ASSERT_EQ(mkdir(decoy.c_str(), 0700), 0);
  ASSERT_EQ(chown(decoy.c_str(), 65534, 65534), 0);
  std::string refused;
  auto folder = Paths::runtime(&refused);
  expectPrivateFolderBeside(folder);
  EXPECT_NE(folder, own());
  EXPECT_NE(folder, decoy);
  EXPECT_NE(refused.find("owned by user 65534"), std::string::npos) << refused;
}

// Starts at the same instant, the name taken: each must find the folder the others chose, or
// each would hold a lock of its own and run as a second instance. Then with the first choice
// beside the name taken as well.
TEST_F(RuntimeFolder, StartsAtTheSameInstantWithTheNameTakenChooseOneFolder) {
  const bool root = getuid() == 0;
  // Another user's folder where root can make one (uid nobody), else one open to all.
  auto squat = [root](const std::string& path) {
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    if (root)
      ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    else
      ASSERT_EQ(chmod(path.c_str(), 0777), 0);
  };
  constexpr int kStarts = 8;
  constexpr int kRounds = 40;
  for (int squatted : {1, 2}) {
    for (int round = 0; round < kRounds; ++round) {
      SCOPED_TRACE(std::to_string(squatted) + " names taken, round " + std::to_string(round));
      std::filesystem::remove_all(shared.path());
      std::filesystem::create_directory(shared.path());
      squat(own());
      if (squatted == 2) squat(own() + ".1");
      std::vector<std::optional<std::string>> chosen(kStarts);
      std::latch go(kStarts);
      std::vector<std::thread> starts;
      for (int i = 0; i < kStarts; ++i)
        starts.emplace_back([&, i] {
          go.arrive_and_wait();
          chosen[i] = Paths::runtime();
        });
      for (auto& start : starts) start.join();
      expectPrivateFolderBeside(chosen[0]);
      for (int i = 1; i < kStarts; ++i) ASSERT_EQ(chosen[i], chosen[0]);
      EXPECT_EQ(Paths::runtime(), chosen[0]) << "a later start finds it too";
    }
  }
}

// Every name of the fixed order taken: a private folder of its own beside them, which the next
// start finds again.
TEST_F(RuntimeFolder, EveryNameTakenLeadsToAPrivateFolderOfItsOwn) {
  for (int n = 0; n <= 16; ++n) {
    std::string name = n == 0 ? own() : own() + "." + std::to_string(n);
    ASSERT_EQ(mkdir(name.c_str(), 0700), 0);
    ASSERT_EQ(chmod(name.c_str(), 0777), 0);
  }
  std::string refused;
  auto folder = Paths::runtime(&refused);
  expectPrivateFolderBeside(folder);
  EXPECT_EQ(folder->rfind(own() + ".", 0), 0u) << *folder;
  EXPECT_EQ(folder->size(), own().size() + 7) << *folder;
  EXPECT_NE(refused.find(own() + ".16 is open to other users"), std::string::npos) << refused;
  EXPECT_EQ(Paths::runtime(), folder);
}

// A session folder open to others is no place for them either.
TEST_F(RuntimeFolder, ASharedSessionFolderIsPassedOver) {
  testsupport::TempDir session;
  chmod(session.path().c_str(), 0777);
  setenv("XDG_RUNTIME_DIR", session.path().c_str(), 1);
  std::string refused;
  auto folder = Paths::runtime(&refused);
  EXPECT_EQ(folder, own());
  EXPECT_NE(refused.find(session.path() + " is open to other users"), std::string::npos) << refused;
  chmod(session.path().c_str(), 0700);
  EXPECT_EQ(Paths::runtime(), session.path());
}

// A lock that cannot be made is a failure of its own, told apart from a lock another process
// holds, with the reason.
TEST(InstanceLock, ALockThatCannotBeMadeIsNotHeldBySomebody) {
  testsupport::TempDir dir;
  InstanceLock nowhere(dir.file("missing/folder/app.lock"));
  EXPECT_EQ(nowhere.tryLock(), InstanceLock::Result::failed);
  EXPECT_NE(nowhere.problem().find(dir.file("missing/folder/app.lock") + ": No such file"),
            std::string::npos)
      << nowhere.problem();

  std::filesystem::create_symlink(dir.file("elsewhere"), dir.file("linked.lock"));
  InstanceLock linked(dir.file("linked.lock"));
  EXPECT_EQ(linked.tryLock(), InstanceLock::Result::failed);
  EXPECT_NE(linked.problem().find("symbolic link"), std::string::npos) << linked.problem();
  EXPECT_FALSE(std::filesystem::exists(dir.file("elsewhere"))) << "nothing made through the link";

  std::filesystem::create_directory(dir.file("folder.lock"));
  InstanceLock folder(dir.file("folder.lock"));
  EXPECT_EQ(folder.tryLock(), InstanceLock::Result::failed);

  if (getuid() == 0) {
    fclose(fopen(dir.file("theirs.lock").c_str(), "w"));
    ASSERT_EQ(chown(dir.file("theirs.lock").c_str(), 65534, 65534), 0);
    InstanceLock theirs(dir.file("theirs.lock"));
    EXPECT_EQ(theirs.tryLock(), InstanceLock::Result::failed);
    EXPECT_NE(theirs.problem().find("owned by user 65534"), std::string::npos);
  }

  InstanceLock fine(dir.file("app.lock"));
  EXPECT_EQ(fine.tryLock(), InstanceLock::Result::locked);
  EXPECT_EQ(fine.problem(), "");
  EXPECT_EQ(InstanceLock(dir.file("app.lock")).tryLock(), InstanceLock::Result::held);
}
