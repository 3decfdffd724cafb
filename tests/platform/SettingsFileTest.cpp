// The settings file under hostile or broken conditions: a file that cannot be used is moved
// aside and named in loadProblem(); a folder that cannot be written is reported once.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "KeptCopy.h"
#include "ManualClock.h"
#include "SettingsFileCheck.h"
#include "TempDir.h"
#include "TestFiles.h"
#include "qt/SettingsText.h"
#include "qt/UserDefaults.h"

namespace fs = std::filesystem;

TEST(SettingsFile, AFileThatCannotBeUsedIsKeptAsideAndTheStoreStartsEmpty) {
  testsupport::TempDir dir;
  const std::string file = dir.file("conf/app.conf");
  auto cases = testsupport::hostileFiles();
  cases.push_back({{}, "garbage", "not a settings file"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& copy : platform::KeptCopy::copiesOf(file)) fs::remove_all(copy);
    if (std::string(c.name) == "garbage")
      testsupport::writeFile(file, std::string("[General\n\x01\x02=\xff\n", 14));
    else
      testsupport::makeHostileFile(c, file, platform::UserDefaults::kMaxFileBytes);
    platform::UserDefaults d(QString::fromStdString(file));
    QString problem = d.loadProblem();
    EXPECT_TRUE(problem.startsWith(QString::fromStdString(file + ": "))) << problem.toStdString();
    EXPECT_TRUE(problem.contains(c.reason)) << problem.toStdString();
    EXPECT_TRUE(problem.contains("kept as")) << problem.toStdString();
    auto copies = platform::KeptCopy::copiesOf(file);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_TRUE(problem.contains(QString::fromStdString("kept as " + copies[0])));
    EXPECT_TRUE(d.keys().isEmpty());
    // The store works on a new file in its place.
    d.set("CurrentVersion", "2.3.0");
    EXPECT_TRUE(d.synchronize());
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file)));
  }
}

TEST(SettingsFile, AGoodFileHasNoProblem) {
  testsupport::TempDir dir;
  QString path = QString::fromStdString(dir.file("app.conf"));
  {
    platform::UserDefaults d(path);
    d.set("WindowWidth", 1280);
    EXPECT_TRUE(d.synchronize());
  }
  platform::UserDefaults d(path);
  EXPECT_TRUE(d.loadProblem().isEmpty());
  EXPECT_EQ(d.integer("WindowWidth"), 1280);
  EXPECT_TRUE(platform::KeptCopy::copiesOf(dir.file("app.conf")).empty());
}

TEST(SettingsFile, AFolderThatCannotBeWrittenIsReportedOnce) {
  testsupport::TempDir dir;
  fs::create_directories(dir.file("gone"));
  platform::UserDefaults d(QString::fromStdString(dir.file("gone/app.conf")));
  std::vector<QString> problems;
  d.setWriteProblemHandler([&](const QString& p) { problems.push_back(p); });
  // The folder becomes a file: no one, not even root, can write the settings there.
  fs::remove_all(dir.file("gone"));
  testsupport::writeFile(dir.file("gone"), "a file");
  d.set("WindowWidth", 1280);
  EXPECT_FALSE(d.synchronize());
  d.set("WindowHeight", 720);
  EXPECT_FALSE(d.synchronize());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_TRUE(problems[0].startsWith(QString::fromStdString(dir.file("gone/app.conf") + ": ")));
  // With the real reason, not only "no access".
  EXPECT_TRUE(problems[0].contains(QStringLiteral("cannot be written: ") + std::strerror(ENOTDIR)))
      << problems[0].toStdString();
  EXPECT_EQ(d.integer("WindowHeight"), 720);  // the run goes on with its values
}

// What the settings reader makes of a file, judged: the reader takes garbage, binary bytes and a
// file cut short without an error, as a store with no settings.
TEST(SettingsFile, TheDamageDecision) {
  using Reading = platform::SettingsFileCheck::Reading;
  struct Row {
    const char* name;
    Reading reading;
    bool damaged, keep;
    const char* reason;
    bool inPart = false;
  } rows[] = {
      {"no file (first start)", {false, "", 0, false, 0, ""}, false, false, ""},
      {"a good file", {true, "", 60, false, 3, ""}, false, false, ""},
      {"one setting", {true, "", 30, false, 1, ""}, false, false, ""},
      {"refused by the reader",
       {true, "not a regular file", 0, false, 0, ""},
       true,
       true,
       "not a regular file"},
      {"empty", {true, "", 0, false, 0, ""}, true, false, "is empty"},
      {"a format error", {true, "", 20, true, 1, ""}, true, true, "not a settings file"},
      {"no setting in it", {true, "", 300, false, 0, ""}, true, true, "holds no setting"},
      {"a line that is no setting after good ones",
       {true, "", 80, false, 2, "line 4 is not a setting"},
       true,
       true,
       "is damaged in part: line 4 is not a setting",
       true},
      {"a broken group header among good lines",
       {true, "", 80, true, 2, "line 3 is not a setting"},
       true,
       true,
       "is damaged in part: line 3 is not a setting",
       true},
      {"damaged lines and nothing else",
       {true, "", 80, false, 0, "line 2 holds stray binary bytes"},
       true,
       true,
       "holds no setting"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto verdict = platform::SettingsFileCheck::judge(row.reading);
    EXPECT_EQ(verdict.damaged, row.damaged);
    EXPECT_EQ(verdict.keepAside, row.keep);
    EXPECT_EQ(verdict.inPart, row.inPart);
    EXPECT_NE(verdict.reason.find(row.reason), std::string::npos) << verdict.reason;
  }
}

// The kinds of content a damaged disk, a crash or a hand leaves in the settings file: each one
// that holds no setting the program wrote is named, kept aside byte for byte, and the store
// starts empty; a file cut short after its first settings is kept aside too, and keeps those.
TEST(SettingsFile, DamagedContentIsKeptAsideAndNamed) {
  const std::string good = "[General]\nCurrentVersion=2.3.0\nTutorialSkip=true\n";
  std::string binary;
  for (int i = 0; i < 300; ++i) binary += char((i * 73 + 11) % 256);
  struct Row {
    const char* name;
    std::string content;
    const char* reason;  // empty: usable
    bool kept;
    int keys;
  } rows[] = {
      {"good", good, "", false, 2},
      {"cut inside a key after a setting", good.substr(0, 42), "is damaged in part", true, 1},
      {"cut inside the first value", good.substr(0, 25), "holds no setting", true, 0},
      {"cut inside the first key", good.substr(0, 12), "holds no setting", true, 0},
      {"cut inside the section", good.substr(0, 5), "not a settings file", true, 0},
      {"empty", "", "is empty", false, 0},
      {"garbage text", "hello world\nthis is no settings file\n", "holds no setting", true, 0},
      {"binary", binary, "holds no setting", true, 0},
      {"JSON", R"({"CurrentVersion": "2.3.0"})", "holds no setting", true, 0},
      {"stray bytes as a key", "[General]\n\x01\x7f=\x03\n", "holds no setting", true, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testsupport::TempDir dir;
    const std::string file = dir.file("corvane-studio/corvane-studio.conf");
    testsupport::writeFile(file, row.content);
    platform::UserDefaults d(QString::fromStdString(file));
    QString problem = d.loadProblem();
    auto copies = platform::KeptCopy::copiesOf(file);
    if (!*row.reason) {
      EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
    } else {
      EXPECT_TRUE(problem.startsWith(QString::fromStdString(file + ": " + row.reason)))
          << problem.toStdString();
    }
    ASSERT_EQ(copies.size(), row.kept ? 1u : 0u);
    if (row.kept) {
      EXPECT_EQ(testsupport::readFile(copies[0]), row.content);
      EXPECT_TRUE(problem.contains(QString::fromStdString("kept as " + copies[0])));
    }
    EXPECT_EQ(d.keys().size(), row.keys);
    // The store goes on over a file of its own, and says nothing of a write that went through.
    d.set("CurrentVersion", "2.3.0");
    EXPECT_TRUE(d.synchronize());
    EXPECT_EQ(platform::UserDefaults(QString::fromStdString(file)).string("CurrentVersion"),
              "2.3.0");
  }
}

TEST(SettingsFile, ASecondDamagedStartKeepsTheFirstCopy) {
  testsupport::TempDir dir;
  const std::string file = dir.file("app.conf");
  testsupport::writeFile(file, "first garbage");
  { platform::UserDefaults d(QString::fromStdString(file)); }
  testsupport::writeFile(file, "second garbage");
  { platform::UserDefaults d(QString::fromStdString(file)); }
  auto copies = platform::KeptCopy::copiesOf(file);
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(testsupport::readFile(copies[0]), "first garbage");
  EXPECT_EQ(testsupport::readFile(copies[1]), "second garbage");
}

// Five copies kept by a run whose clock was ahead: the copy of this start is kept all the same,
// and the problem says which old one made room for it.
TEST(SettingsFile, ADamagedStartKeepsItsCopyBesideCopiesStampedLater) {
  testsupport::TempDir dir;
  const std::string file = dir.file("app.conf");
  std::vector<std::string> future;
  for (int i = 0; i < 5; ++i) {
    future.push_back(file + ".unreadable-2031010" + std::to_string(i + 1) + "-120000");
    testsupport::writeFile(future.back(), "garbage of a run ahead");
    testsupport::setModified(future.back(), testsupport::localTime(2031, 1, i + 1, 12, 0, 0));
  }
  testsupport::writeFile(file, "[General]\nCurrentVersion=2.3.0\nTutori");
  platform::UserDefaults d(QString::fromStdString(file));
  auto copies = platform::KeptCopy::copiesOf(file);
  ASSERT_EQ(copies.size(), 5u);
  EXPECT_EQ(testsupport::readFile(copies.back()), "[General]\nCurrentVersion=2.3.0\nTutori");
  EXPECT_TRUE(d.loadProblem().contains(QString::fromStdString(
      "kept as " + copies.back() + "; the oldest kept copy " + future[0] + " removed")))
      << d.loadProblem().toStdString();
  EXPECT_EQ(d.string("CurrentVersion"), "2.3.0");
}

// The file turned to binary bytes under a running store: the write goes through and is no
// write problem (the reader's complaint about the old bytes is not the writer's).
TEST(SettingsFile, AWriteOverAFileChangedUnderTheStoreIsNoWriteProblem) {
  testsupport::TempDir dir;
  const std::string file = dir.file("app.conf");
  platform::UserDefaults d(QString::fromStdString(file));
  std::vector<QString> problems;
  d.setWriteProblemHandler([&](const QString& p) { problems.push_back(p); });
  d.set("CurrentVersion", "2.3.0");
  ASSERT_TRUE(d.synchronize());
  testsupport::writeFile(file, std::string("[General\n\x01\x02=\xff\n", 14));
  d.set("WindowWidth", 1280);
  EXPECT_TRUE(d.synchronize());
  EXPECT_TRUE(problems.empty()) << problems[0].toStdString();
  EXPECT_EQ(platform::UserDefaults(QString::fromStdString(file)).integer("WindowWidth"), 1280);
}

namespace {

// The store's folder turned into a file and back: no one, not even root, can write there
// meanwhile.
class BlockedFolder {
 public:
  explicit BlockedFolder(std::string folder) : folder_(std::move(folder)) {}
  void block() {
    fs::rename(folder_, folder_ + ".away");
    testsupport::writeFile(folder_, "a file");
  }
  void unblock() {
    fs::remove(folder_);
    fs::rename(folder_ + ".away", folder_);
  }

 private:
  std::string folder_;
};

}  // namespace

// The settings reader keeps the first trouble it met for the store's life: a damaged read at
// start, a file changed under the store, a failed write. Each save is judged on its own all the
// same: a failed one is reported with its reason, and one that goes through again says so.
TEST(SettingsFile, EachSaveIsJudgedOnItsOwnWhateverCameBefore) {
  struct Case {
    const char* name;
    std::string atStart;  // the file the store starts over; none when empty
    std::function<void(platform::UserDefaults&, const std::string&)> thenInTheRun;
  } cases[] = {
      {"a start over a file cut inside a key", "[General]\nCurrentVersion=2.3.0\nTutorialSki", {}},
      {"a start over a file with a line of binary bytes",
       std::string("[General]\nCurrentVersion=2.3.0\n\x89\xfe\x01\xff\nTutorialSkip=true\n"),
       {}},
      {"a start over a file with a comment of the user's",
       "[General]\n# mine\nCurrentVersion=2.3.0\n",
       {}},
      {"the file damaged under the running store", "",
       [](platform::UserDefaults& d, const std::string& file) {
         d.set("CurrentVersion", "2.3.0");
         ASSERT_TRUE(d.synchronize());
         testsupport::writeFile(file, std::string("[General\n\x01\x02=\xff\n", 14));
         d.set("TutorialSkip", true);
         ASSERT_TRUE(d.synchronize());
       }},
      {"a failed save before", "",
       [](platform::UserDefaults& d, const std::string& file) {
         BlockedFolder folder(fs::path(file).parent_path());
         folder.block();
         d.set("TutorialSkip", true);
         EXPECT_FALSE(d.synchronize());
         folder.unblock();
         EXPECT_TRUE(d.synchronize()) << "the same changes, written this time";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir dir;
    const std::string file = dir.file("corvane-studio/corvane-studio.conf");
    if (!c.atStart.empty()) testsupport::writeFile(file, c.atStart);
    platform::UserDefaults d(QString::fromStdString(file));
    std::vector<QString> problems;
    d.setWriteProblemHandler([&](const QString& p) { problems.push_back(p); });
    if (c.thenInTheRun) c.thenInTheRun(d, file);
    problems.clear();

    BlockedFolder folder(dir.file("corvane-studio"));
    folder.block();
    d.set("WindowWidth", 1280);
    EXPECT_FALSE(d.synchronize());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_TRUE(problems[0].startsWith(QString::fromStdString(file + ": cannot be written: ") +
                                       std::strerror(ENOTDIR)))
        << problems[0].toStdString();

    folder.unblock();
    EXPECT_TRUE(d.synchronize());
    // On the disk, not only in what this process read of it.
    EXPECT_NE(testsupport::readFile(file).find("WindowWidth=1280\n"), std::string::npos);
    d.set("WindowHeight", 720);
    EXPECT_TRUE(d.synchronize()) << "nothing left over from the failure";
    EXPECT_EQ(problems.size(), 1u);
  }
}

// A limit on the size of the files the process may write: the save fails, and the reason is
// named, also after a damaged start.
TEST(SettingsFile, ASaveCutShortByTheFileSizeLimitIsReportedWithItsReason) {
  testsupport::TempDir dir;
  const std::string file = dir.file("corvane-studio/corvane-studio.conf");
  testsupport::writeFile(file, "[General]\nCurrentVersion=2.3.0\nTutorialSki");
  platform::UserDefaults d(QString::fromStdString(file));
  std::vector<QString> problems;
  d.setWriteProblemHandler([&](const QString& p) { problems.push_back(p); });

  struct rlimit before {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = before;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  d.set("RecentClips", QString(4096, 'x'));
  const bool written = d.synchronize();
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(written);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_TRUE(problems[0].contains(QStringLiteral("cannot be written: ") + std::strerror(EFBIG)))
      << problems[0].toStdString();
  EXPECT_TRUE(d.synchronize()) << "written once the limit is gone";
  EXPECT_NE(testsupport::readFile(file).find("RecentClips=" + std::string(4096, 'x') + "\n"),
            std::string::npos);
}

// A good file with a few lines no setting can be read from: the store starts with the settings
// of the other lines, the file is kept aside byte for byte first, and the problem names the
// damaged lines. The new file holds the readable settings alone, and the next start is clean.
TEST(SettingsFile, AFileDamagedInPartKeepsTheSettingsThatCanBeRead) {
  const std::string head = "[General]\nCurrentLanguage=de\nCurrentVersion=2.3.0\n";
  struct Row {
    const char* name;
    std::string content;
    const char* damage;
    std::vector<const char*> keys;  // the settings kept, with the values of `head` or "true"
  } rows[] = {
      {"cut inside a key",
       head + "TutorialSk",
       "line 4 is not a setting",
       {"CurrentLanguage", "CurrentVersion"}},
      {"a line of stray binary bytes",
       "[General]\nCurrentLanguage=de\n\x89\xfe\x01\x02\xff\x80\x1b[0m\nCurrentVersion=2.3.0\n"
       "TutorialSkip=true\n",
       "line 3 holds stray binary bytes",
       {"CurrentLanguage", "CurrentVersion", "TutorialSkip"}},
      {"stray bytes inside a value",
       head + "TutorialSkip=true\nNotificationId=\x01\xff\xfe\n",
       "line 5 holds stray binary bytes",
       {"CurrentLanguage", "CurrentVersion", "TutorialSkip"}},
      {"a line that is no setting",
       "[General]\nCurrentLanguage=de\nhello world\nCurrentVersion=2.3.0\nTutorialSkip=true\n",
       "line 3 is not a setting",
       {"CurrentLanguage", "CurrentVersion", "TutorialSkip"}},
      {"a broken group header",
       "[General]\nCurrentLanguage=de\n[Gener\nCurrentVersion=2.3.0\nTutorialSkip=true\n",
       "line 3 is not a setting",
       {"CurrentLanguage", "CurrentVersion", "TutorialSkip"}},
      {"a byte that is no character of Latin-1 either",
       head + "TutorialSkip=true\nNotificationId=a\x85"
              "b\n",
       "line 5 holds stray binary bytes",
       {"CurrentLanguage", "CurrentVersion", "TutorialSkip"}},
      {"a line that is no setting, in line ends of old Macs",
       "[General]\rCurrentLanguage=de\rhello world\rCurrentVersion=2.3.0\rTutorialSkip=true\r",
       "line 3 is not a setting",
       {"CurrentLanguage", "CurrentVersion", "TutorialSkip"}},
      {"many damaged lines",
       "[General]\nCurrentLanguage=de\n\x01\n\x02\n\x03\n\x04\nCurrentVersion=2.3.0\nTutori",
       "line 3 holds stray binary bytes, line 4 holds stray binary bytes, line 5 holds stray "
       "binary bytes and 2 more lines",
       {"CurrentLanguage", "CurrentVersion"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testsupport::TempDir dir;
    const std::string file = dir.file("corvane-studio/corvane-studio.conf");
    testsupport::writeFile(file, row.content);
    platform::UserDefaults d(QString::fromStdString(file));
    const QString problem = d.loadProblem();
    EXPECT_TRUE(problem.startsWith(
        QString::fromStdString(file + ": is damaged in part: " + row.damage + "; kept as ")))
        << problem.toStdString();
    EXPECT_TRUE(problem.endsWith("; the settings that could be read are used"))
        << problem.toStdString();
    EXPECT_TRUE(d.loadedInPart());
    auto copies = platform::KeptCopy::copiesOf(file);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(testsupport::readFile(copies[0]), row.content);
    EXPECT_TRUE(problem.contains(QString::fromStdString("kept as " + copies[0])));

    QStringList expected;
    for (const char* key : row.keys) expected << key;
    EXPECT_EQ(d.keys(), expected);
    EXPECT_EQ(d.string("CurrentLanguage"), "de");
    EXPECT_EQ(d.string("CurrentVersion"), "2.3.0");
    if (expected.contains("TutorialSkip")) {
      EXPECT_TRUE(d.boolean("TutorialSkip"));
    }
    // Written at once, as the store's own file: what is on the disk, read on its own.
    auto onDisk = platform::SettingsText::read(testsupport::readFile(file));
    ASSERT_TRUE(onDisk.has_value());
    EXPECT_EQ(onDisk->values.keys(), expected);
    EXPECT_TRUE(platform::SettingsText::sortLines(testsupport::readFile(file)).damage.empty());

    platform::UserDefaults next(QString::fromStdString(file));
    EXPECT_TRUE(next.loadProblem().isEmpty()) << next.loadProblem().toStdString();
    EXPECT_FALSE(next.loadedInPart());
    EXPECT_EQ(next.keys(), expected);
    EXPECT_EQ(platform::KeptCopy::copiesOf(file).size(), 1u);
  }
}

// What a hand leaves in a good file is no damage: line ends of another system, comments,
// blank lines, blanks around the "=".
TEST(SettingsFile, AHandEditedFileIsNoDamage) {
  const std::string rows[] = {
      "[General]\r\nCurrentLanguage=de\r\nCurrentVersion=2.3.0\r\n",
      "; mine\n# also mine\n\n[General]\nCurrentLanguage = de\n  CurrentVersion=2.3.0\n\n",
      "[General]\nCurrentLanguage=\"de, "
      "fr\"\nCurrentVersion=2.3.0\nRecentClip=/home/me/\xc3\xa9t\xc3\xa9.mp4\n",
  };
  for (const std::string& content : rows) {
    SCOPED_TRACE(content);
    testsupport::TempDir dir;
    const std::string file = dir.file("corvane-studio/corvane-studio.conf");
    testsupport::writeFile(file, content);
    platform::UserDefaults d(QString::fromStdString(file));
    EXPECT_TRUE(d.loadProblem().isEmpty()) << d.loadProblem().toStdString();
    EXPECT_TRUE(platform::KeptCopy::copiesOf(file).empty());
    EXPECT_EQ(d.string("CurrentVersion"), "2.3.0");
    EXPECT_EQ(testsupport::readFile(file), content) << "left as it was";
  }
}

namespace {

// The temporary folder named by TMPDIR, for the life of a scope.
class ScopedTemporaryFolder {
 public:
  explicit ScopedTemporaryFolder(const char* folder) : before_(qgetenv("TMPDIR")) {
    had_ = qEnvironmentVariableIsSet("TMPDIR");
    qputenv("TMPDIR", folder);
  }
  ~ScopedTemporaryFolder() {
    if (had_)
      qputenv("TMPDIR", before_);
    else
      qunsetenv("TMPDIR");
  }

 private:
  QByteArray before_;
  bool had_ = false;
};

}  // namespace

// A hand's edits that the settings reader reads whole are no damage: a last line without a line
// feed, a byte-order mark, a name with a space (a key the program does not know is only unused).
// Forms of its own too: values continued in the next line, line ends of old Macs, Latin-1
// bytes, "#" comments. The file is read as it is and left alone, a save keeps every setting
// with its value and is judged by reading it back, all with
// no temporary folder (TMPDIR names a file, where nothing can be made, not even by root): the
// check needs no folder but the settings file's own.
TEST(SettingsFile, HandEditedFilesAreReadWholeWithoutATemporaryFolder) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir.file("not-a-folder"), "");
  ScopedTemporaryFolder noTemporaryFolder(dir.file("not-a-folder").c_str());
  struct Row {
    const char* name;
    std::string content;
    std::vector<std::pair<const char*, const char*>> values;
  } rows[] = {
      {"no line feed after the last line",
       "[General]\nCurrentVersion=2.3.0\nWindowY=100",
       {{"CurrentVersion", "2.3.0"}, {"WindowY", "100"}}},
      {"no line feed after a value cut by the hand",
       "[General]\nCurrentVersion=2.3.0\nTutorialSkip=tr",
       {{"CurrentVersion", "2.3.0"}, {"TutorialSkip", "tr"}}},
      {"a byte-order mark",
       "\xEF\xBB\xBF[General]\nCurrentVersion=2.3.0\nWindowY=100\n",
       {{"CurrentVersion", "2.3.0"}, {"WindowY", "100"}}},
      {"a byte-order mark before a setting", "\xEF\xBB\xBFWindowY=100\n", {{"WindowY", "100"}}},
      {"a key with a space",
       "[General]\nCurrentVersion=2.3.0\nWindow Y=1\n",
       {{"CurrentVersion", "2.3.0"}, {"Window Y", "1"}}},
      {"only a key with a space", "Window Y=1", {{"Window Y", "1"}}},
      {"a group with a space",
       "[My Things]\nnote=mine\n[General]\nCurrentVersion=2.3.0\n",
       {{"My Things/note", "mine"}, {"CurrentVersion", "2.3.0"}}},
      {"keys of a hand's",
       "[General]\nMyOwnMarker=yes\nCurrentVersion=2.3.0\n",
       {{"MyOwnMarker", "yes"}, {"CurrentVersion", "2.3.0"}}},
      {"all of them, with line ends of another system",
       "\xEF\xBB\xBF[General]\r\nWindow Y=1\r\nCurrentVersion=2.3.0\r\nWindowY=100",
       {{"Window Y", "1"}, {"CurrentVersion", "2.3.0"}, {"WindowY", "100"}}},
      // Forms the settings reader reads its own way: lines cut where it cuts them (after a "\"
      // the value goes on, quotes hold line ends, a line end of old Macs is one), a Latin-1 byte
      // of an older editor, "#" comments. Each is read as the text means it.
      {"a Latin-1 byte in a value",
       "[General]\nCurrentPreset=Caf\xe9\nWindowHeight=800\n",
       {{"CurrentPreset", "Caf\xc3\xa9"}, {"WindowHeight", "800"}}},
      {"Latin-1 bytes among UTF-8 text",
       "[General]\nCurrentPreset=cr\xe8me \xc3\xa9t\xc3\xa9 \xff\nWindowHeight=800\n",
       {{"CurrentPreset", "cr\xc3\xa8me \xc3\xa9t\xc3\xa9 \xc3\xbf"}, {"WindowHeight", "800"}}},
      {"a value continued in the next line",
       "[General]\nCurrentLanguage=/usr/share/corvane/\\\n  de.json\nWindowHeight=800\n",
       {{"CurrentLanguage", "/usr/share/corvane/  de.json"}, {"WindowHeight", "800"}}},
      {"a value continued over line ends of another system",
       "[General]\r\nCurrentLanguage=de\\\r\n.json\r\nWindowHeight=800\r\n",
       {{"CurrentLanguage", "de.json"}, {"WindowHeight", "800"}}},
      {"line ends of old Macs",
       "[General]\rCurrentLanguage=de\rCurrentVersion=2.3.0\rWindowHeight=800\r",
       {{"CurrentLanguage", "de"}, {"CurrentVersion", "2.3.0"}, {"WindowHeight", "800"}}},
      {"line ends of old Macs and a continued value",
       "[General]\rCurrentLanguage=d\\\re\rWindowHeight=800",
       {{"CurrentLanguage", "de"}, {"WindowHeight", "800"}}},
      {"a quoted value over two lines",
       "[General]\nNote=\"one\ntwo\"\nWindowHeight=800\n",
       {{"Note", "one\ntwo"}, {"WindowHeight", "800"}}},
      {"a comment after a value", "WindowHeight=800 ; was 640\n", {{"WindowHeight", "800"}}},
      {"a # comment with an equals sign",
       "[General]\n# WindowHeight=640 was too small\nWindowHeight=800\n",
       {{"WindowHeight", "800"}}},
      {"a # comment with a quote",
       "[General]\n# the \"Custom preset\nCurrentPreset=Custom\nWindowHeight=800\n",
       {{"CurrentPreset", "Custom"}, {"WindowHeight", "800"}}},
      {"a # comment with a semicolon",
       "# mine; not the program's\n[General]\nWindowHeight=800\n",
       {{"WindowHeight", "800"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string file =
        dir.file(std::string("conf-") + std::to_string(&row - rows) + "/corvane-studio.conf");
    testsupport::writeFile(file, row.content);
    platform::UserDefaults d(QString::fromStdString(file));
    EXPECT_TRUE(d.loadProblem().isEmpty()) << d.loadProblem().toStdString();
    EXPECT_FALSE(d.loadedInPart());
    EXPECT_TRUE(platform::KeptCopy::copiesOf(file).empty());
    EXPECT_EQ(testsupport::readFile(file), row.content) << "left as it was";
    EXPECT_EQ(d.keys().size(), qsizetype(row.values.size()));
    for (const auto& [key, value] : row.values) EXPECT_EQ(d.string(key), value) << key;

    // A save goes through and is judged so.
    std::vector<QString> problems;
    d.setWriteProblemHandler([&](const QString& p) { problems.push_back(p); });
    d.set("WindowWidth", 1280);
    EXPECT_TRUE(d.synchronize());
    EXPECT_TRUE(problems.empty()) << problems[0].toStdString();
    EXPECT_EQ(testsupport::readFile(file).find("%23"), std::string::npos) << "no comment as a key";
    platform::UserDefaults next(QString::fromStdString(file));
    EXPECT_EQ(next.keys().size(), qsizetype(row.values.size() + 1));
    EXPECT_TRUE(next.loadProblem().isEmpty()) << next.loadProblem().toStdString();
    EXPECT_EQ(next.integer("WindowWidth"), 1280);
    for (const auto& [key, value] : row.values) EXPECT_EQ(next.string(key), value) << key;
  }

  // Damaged in part, with no temporary folder all the same: the readable settings are kept.
  const std::string file = dir.file("damaged/corvane-studio.conf");
  const std::string damaged = "[General]\nCurrentVersion=2.3.0\n\x01\xff\nWindow Y=1\nWindowY=100";
  testsupport::writeFile(file, damaged);
  platform::UserDefaults d(QString::fromStdString(file));
  EXPECT_TRUE(d.loadProblem().startsWith(QString::fromStdString(
      file + ": is damaged in part: line 3 holds stray binary bytes; kept as ")))
      << d.loadProblem().toStdString();
  EXPECT_TRUE(d.loadProblem().endsWith("; the settings that could be read are used"))
      << d.loadProblem().toStdString();
  EXPECT_EQ(d.keys(), (QStringList{"CurrentVersion", "Window Y", "WindowY"}));
  EXPECT_EQ(d.integer("WindowY"), 100);
  ASSERT_EQ(platform::KeptCopy::copiesOf(file).size(), 1u);
  EXPECT_EQ(testsupport::readFile(platform::KeptCopy::copiesOf(file)[0]), damaged);
}

// Each reading of a text reads that text, however quickly one follows another of the same size.
TEST(SettingsFile, EachReadingReadsItsOwnText) {
  for (int i = 0; i < 20; ++i) {
    const std::string value = std::to_string(10 + i);
    auto read = platform::SettingsText::read("[General]\nWindowY=" + value + "\n");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->values.value("WindowY").toString().toStdString(), value);
  }
}
