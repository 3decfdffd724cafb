#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <syslog.h>
#include <zip.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "BusyFile.h"
#include "ManualClock.h"
#include "SmallTmpfs.h"
#include "TempDir.h"
#include "TestFiles.h"
#include "log/LogManager.h"

using corvane::LogManager;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream s(text);
  std::string line;
  while (std::getline(s, line)) out.push_back(line);
  return out;
}

using testsupport::localTime;

using testsupport::setModified;

class LogTest : public ::testing::Test {
 protected:
  LogManager::Environment env(std::optional<std::string> caches) {
    LogManager::Environment e;
    e.cachesFolder = std::move(caches);
    e.executableName = "corvane-studio";
    e.shortVersion = "2.3.0";
    e.osVersion = "Debian GNU/Linux 12 6.1.0";
    e.systemLanguage = "en-US";
    e.clock = &clock;
    e.standardOutput = [this](const std::string& l) { out.push_back(l); };
    e.standardError = [this](const std::string& l) { err.push_back(l); };
    e.systemLog = [this](const std::string& l) { sys.push_back(l); };
    return e;
  }
  std::string folder() const { return dir.path() + "/corvane-studio/log"; }

  testsupport::TempDir dir;
  testsupport::ManualClock clock;
  std::vector<std::string> out, err, sys;
};

}  // namespace

TEST_F(LogTest, LinesCarryLevelLocationAndGoToTheirConsole) {
  clock.setWallTime(localTime(2023, 5, 17, 9, 30, 5));
  LogManager log(env(dir.path()));
  EXPECT_EQ(log.logFilePath(), folder() + "/2023_05_17.log");
  log.debug("hello", "/src/app/config/ConfigManager.cpp", "loadPresets", 42);
  log.info("info", "a/b/Info.cpp", "run", 7);
  log.warning("warn", "W.cpp", "w", 1);
  log.error("100%d done", "E.cpp", "e", 2);
  log.log("");
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], "[Debug] [ConfigManager.cpp:42], loadPresets(): hello");
  EXPECT_EQ(out[1], "[Info] [Info.cpp:7], run(): info");
  EXPECT_EQ(out[2], "[Info] ");
  // Warnings and errors reach the console's error stream as well as the system log; the system
  // log gets nothing else (a run's hundreds of Info lines would flood it).
  EXPECT_EQ(err, (std::vector<std::string>{"[Warning] [W.cpp:1], w(): warn",
                                           "[Error] [E.cpp:2], e(): 100%d done"}));
  ASSERT_EQ(sys.size(), 2u);
  EXPECT_EQ(sys[0], "[Warning] [W.cpp:1], w(): warn");
  EXPECT_EQ(sys[1], "[Error] [E.cpp:2], e(): 100%d done");

  auto file = lines(readFile(log.logFilePath()));
  ASSERT_EQ(file.size(), 10u);  // five banner lines and five events
  EXPECT_EQ(file[0], "2023_05_17 09:30:05 ");
  EXPECT_EQ(file[1],
            "2023_05_17 09:30:05 ******************** Log Start: 2023_05_17 "
            "09:30:05********************");
  EXPECT_EQ(file[2], "2023_05_17 09:30:05 Mac OS: Debian GNU/Linux 12 6.1.0");
  EXPECT_EQ(file[3], "2023_05_17 09:30:05 Studio version: 2.3.0");
  EXPECT_EQ(file[4], "2023_05_17 09:30:05 Current system language: en-US");
  EXPECT_EQ(file[5], "2023_05_17 09:30:05 [Debug] [ConfigManager.cpp:42], loadPresets(): hello");
  EXPECT_EQ(file[8], "2023_05_17 09:30:05 [Error] [E.cpp:2], e(): 100%d done");
  EXPECT_EQ(file[9], "2023_05_17 09:30:05 [Info] ");
}

TEST_F(LogTest, EachLevelHasItsOwnSystemLogPriority) {
  std::vector<std::pair<int, std::string>> logged;
  auto e = env(dir.path());
  e.priorityLog = [&](int priority, const std::string& l) { logged.emplace_back(priority, l); };
  LogManager log(std::move(e));
  log.error("e", "E.cpp", "e", 1);
  log.warning("w", "W.cpp", "w", 2);
  log.info("i", "I.cpp", "i", 3);   // standard output only
  log.debug("d", "D.cpp", "d", 4);  // standard output only
  for (int i = 0; i < 300; ++i) log.info("a run's line", "I.cpp", "i", 5);
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[0], std::make_pair(LOG_ERR, std::string("[Error] [E.cpp:1], e(): e")));
  EXPECT_EQ(logged[1].first, LOG_WARNING);
  EXPECT_TRUE(sys.empty()) << "the priority sink takes the lines";
  struct Row {
    const char* level;
    int priority;
  } rows[] = {{"Error", LOG_ERR},   {"Warning", LOG_WARNING}, {"Info", LOG_INFO},
              {"Debug", LOG_DEBUG}, {"", LOG_INFO},           {nullptr, LOG_INFO}};
  for (const Row& row : rows)
    EXPECT_EQ(LogManager::syslogPriority(row.level), row.priority) << (row.level ? row.level : "");
}

TEST_F(LogTest, FrameLinesOnlyWithTheDebugSwitch) {
  LogManager log(env(dir.path()));
  EXPECT_FALSE(log.isFrameDebug());
  log.frameDebug("frame 1", "M.cpp", "updateRoiPairList", 5);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(readFile(log.logFilePath()).find("frame 1"), std::string::npos);
  log.setFrameDebug(true);
  log.frameDebug("frame 2", "M.cpp", "updateRoiPairList", 5);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], "[Debug] [M.cpp:5], updateRoiPairList(): frame 2");
  EXPECT_NE(readFile(log.logFilePath()).find("frame 2"), std::string::npos);

  auto e = env(dir.path());
  e.frameDebug = true;
  LogManager on(std::move(e));
  EXPECT_TRUE(on.isFrameDebug());
}

TEST_F(LogTest, VerboseNeverReachesTheDayFile) {
  LogManager log(env(dir.path()));
  testing::internal::CaptureStdout();
  LogManager::verbose("frame 12", "x/CameraManager.cpp", "captureOutput", 9);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed, "[verbose] [CameraManager.cpp:9], captureOutput(): frame 12\n");
  EXPECT_EQ(readFile(log.logFilePath()).find("frame 12"), std::string::npos);
}

// A run past midnight: each line goes to the file of the day it is written on, and the files
// that grew too old meanwhile go then, not only at the next start.
TEST_F(LogTest, LinesAfterMidnightGoToTheNewDaysFileAndTheCleanUpRunsAgain) {
  const auto start = localTime(2024, 2, 28, 23, 59, 59);
  clock.setWallTime(start);
  fs::create_directories(folder());
  std::ofstream(folder() + "/2024_02_25.log") << "x";
  std::ofstream(folder() + "/2024_02_26.log") << "x";
  setModified(folder() + "/2024_02_25.log", localTime(2024, 2, 26, 0, 0, 0));  // kept at start
  setModified(folder() + "/2024_02_26.log", localTime(2024, 2, 26, 12, 0, 0));
  LogManager log(env(dir.path()));
  log.log("before midnight");
  EXPECT_TRUE(fs::exists(folder() + "/2024_02_25.log"));

  clock.advance(2s);
  log.log("after midnight");
  EXPECT_EQ(log.logFilePath(), folder() + "/2024_02_29.log");
  auto yesterday = lines(readFile(folder() + "/2024_02_28.log"));
  EXPECT_EQ(yesterday.back(), "2024_02_28 23:59:59 [Info] before midnight");
  auto today = lines(readFile(folder() + "/2024_02_29.log"));
  ASSERT_EQ(today.size(), 1u);
  EXPECT_EQ(today[0], "2024_02_29 00:00:01 [Info] after midnight");
  // Three days before this line's time: the 25th's file is older than that now.
  EXPECT_FALSE(fs::exists(folder() + "/2024_02_25.log"));
  EXPECT_TRUE(fs::exists(folder() + "/2024_02_26.log"));
  EXPECT_TRUE(fs::exists(folder() + "/2024_02_28.log"));

  // A day later, through every kind of line.
  clock.advance(24h);
  log.error("next day", "E.cpp", "e", 1);
  EXPECT_EQ(log.logFilePath(), folder() + "/2024_03_01.log");
  EXPECT_EQ(lines(readFile(folder() + "/2024_03_01.log")).back(),
            "2024_03_01 00:00:01 [Error] [E.cpp:1], e(): next day");
  EXPECT_EQ(lines(readFile(folder() + "/2024_02_29.log")).size(), 1u);
}

// The log folder is the user's to look into and drop things in: the prune removes the logger's
// own day files once three days old, and nothing else, old as it may be.
TEST_F(LogTest, ThePruneRemovesOnlyTheLoggersOwnDayFilesOlderThanThreeDays) {
  const auto start = localTime(2023, 5, 17, 12, 0, 0);
  clock.setWallTime(start);
  fs::create_directories(folder());
  fs::create_directories(dir.file("elsewhere/folder"));
  testsupport::writeFile(dir.file("elsewhere/target.log"), "the link's target");
  testsupport::writeFile(dir.file("elsewhere/folder/inside.txt"), "inside the linked folder");
  enum Kind { file, folderWithAFile, linkToAFile, linkToAFolder };
  struct Row {
    const char* name;
    Kind kind;
    std::chrono::seconds age;
    bool removed;
  } rows[] = {
      {"2023_05_14.log", file, 259201s, true},  // a second past three days
      {"2023_04_01.log", file, 4000000s, true},
      {"1970_01_01.log", file, 1684000000s, true},
      {"2023_05_15.log", file, 259199s, false},    // a second short of three days
      {"2099_12_31.log", file, -1000000s, false},  // stamped by a clock that ran ahead
      {"my-notes.txt", file, 400000s, false},
      {"export.zip", file, 400000s, false},
      {"old.log", file, 400000s, false},
      {"2023_05_14.log.bak", file, 400000s, false},
      {"2023_5_14.log", file, 400000s, false},
      {"x2023_05_14.log", file, 400000s, false},
      {"2023_05_14.LOG", file, 400000s, false},
      {"old-folder", folderWithAFile, 300000s, false},
      {"2023_05_10.log", folderWithAFile, 300000s, false},
      {"2023_05_11.log", linkToAFile, 300000s, false},
      {"linked-folder", linkToAFolder, 300000s, false},
  };
  for (const Row& row : rows) {
    const std::string path = folder() + "/" + row.name;
    switch (row.kind) {
      case file:
        testsupport::writeFile(path, "x");
        break;
      case folderWithAFile:
        fs::create_directories(path);
        testsupport::writeFile(path + "/inside.txt", "x");
        setModified(path + "/inside.txt", start - row.age);
        break;
      case linkToAFile:
        fs::create_symlink(dir.file("elsewhere/target.log"), path);
        break;
      case linkToAFolder:
        fs::create_directory_symlink(dir.file("elsewhere/folder"), path);
        break;
    }
    setModified(path, start - row.age);  // the link's own time, not its target's
  }
  setModified(dir.file("elsewhere/target.log"), start - 400000s);

  LogManager log(env(dir.path()));
  for (const Row& row : rows) {
    const std::string path = folder() + "/" + row.name;
    EXPECT_EQ(!fs::exists(fs::symlink_status(path)), row.removed) << row.name;
    if (row.kind == folderWithAFile) {
      EXPECT_TRUE(fs::exists(path + "/inside.txt")) << row.name;
    }
  }
  EXPECT_TRUE(fs::exists(dir.file("elsewhere/target.log")));
  EXPECT_TRUE(fs::exists(dir.file("elsewhere/folder/inside.txt")));
  EXPECT_TRUE(fs::exists(log.logFilePath()));
  EXPECT_TRUE(sys.empty());
}

// Text from files and devices reaches the log as the caller passes it: its control characters
// would start a line of their own in the day file or drive the terminal of whoever reads the
// log. They are written escaped wherever the line goes; UTF-8 text stays as it is.
TEST_F(LogTest, ControlCharactersAreWrittenEscapedWhereverTheLineGoes) {
  std::vector<std::pair<int, std::string>> priorityLines;
  auto e = env(dir.path());
  e.priorityLog = [&](int priority, const std::string& l) {
    priorityLines.emplace_back(priority, l);
  };
  LogManager log(std::move(e));
  // ESC sequences, BEL, NUL, a line end and a forged line, DEL, a C1 control, a byte that is no
  // UTF-8 and a tab, among UTF-8 text.
  static const char kName[] =
      "Caf\xc3\xa9 \xe2\x98\x95\x1b[31mred\x1b]0;title\x07\0\r\n"
      "2023_05_17 09:30:05 [Error] forged\x7f\xc2\x9b"
      "1m\xff\tend";
  const std::string name(kName, sizeof kName - 1);
  const std::string escaped =
      "Caf\xc3\xa9 \xe2\x98\x95\\x1b[31mred\\x1b]0;title\\x07\\x00\\r\\n"
      "2023_05_17 09:30:05 [Error] forged\\x7f\\xc2\\x9b1m\\xff\tend";
  log.info("preset " + name, "C.cpp", "loadPresets", 1);
  log.warning("preset " + name, "C.cpp", "loadPresets", 2);
  log.error("preset " + name, "C.cpp", "loadPresets", 3);
  log.log("preset " + name);
  log.writeLine(LogManager::eventLine("Info", "preset " + name, "C.cpp", "loadConfig", 4));
  testing::internal::CaptureStdout();
  LogManager::verbose("preset " + name, "C.cpp", "captureOutput", 5);
  const std::string verbose = testing::internal::GetCapturedStdout();

  EXPECT_EQ(out, (std::vector<std::string>{"[Info] [C.cpp:1], loadPresets(): preset " + escaped,
                                           "[Info] preset " + escaped}));
  EXPECT_EQ(err, (std::vector<std::string>{"[Warning] [C.cpp:2], loadPresets(): preset " + escaped,
                                           "[Error] [C.cpp:3], loadPresets(): preset " + escaped}));
  ASSERT_EQ(priorityLines.size(), 2u);
  EXPECT_EQ(priorityLines[0].second, err[0]);
  EXPECT_EQ(priorityLines[1].second, err[1]);
  EXPECT_EQ(verbose, "[verbose] [C.cpp:5], captureOutput(): preset " + escaped + "\n");

  const std::string text = readFile(log.logFilePath());
  auto file = lines(text);
  ASSERT_EQ(file.size(), 10u) << "one line for each line written, and none forged";
  for (size_t i = 5; i < file.size(); ++i) {
    SCOPED_TRACE(file[i]);
    EXPECT_NE(file[i].find("preset " + escaped), std::string::npos);
    EXPECT_NE(file[i].rfind("2023_05_17 09:30:05 [Error] forged", 0), 0u);
  }
  for (unsigned char c : text) EXPECT_TRUE(c >= 0x20 || c == '\n' || c == '\t') << int(c);
}

// A day file that no longer takes lines (a full disk, a file-size limit): the day file cannot
// say so, the console and the system log are told, once until a line goes through again.
TEST_F(LogTest, ADayFileThatTakesNoLinesIsReportedOnceOnTheConsoleAndTheSystemLog) {
  testsupport::SmallTmpfs disk(dir.file("small"), "64k");
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here: " << disk.why();
  clock.setWallTime(localTime(2023, 5, 17, 9, 30, 5));
  LogManager log(env(dir.file("small")));
  ASSERT_TRUE(log.hasFile());
  {
    // The rest of the disk taken by something else.
    std::ofstream filler(dir.file("small/filler"));
    const std::string block(4096, 'f');
    while (filler.write(block.data(), block.size())) {
    }
  }
  for (int i = 0; i < 100; ++i) log.info(std::string(200, 'x'), "I.cpp", "i", i);
  const std::string report = "[Error] [LogManager.cpp:";
  ASSERT_EQ(err.size(), 1u);
  EXPECT_EQ(err[0].rfind(report, 0), 0u) << err[0];
  EXPECT_NE(err[0].find("Cannot write the day file " + dir.file("small") +
                        "/corvane-studio/log/2023_05_17.log: " + std::strerror(ENOSPC)),
            std::string::npos)
      << err[0];
  EXPECT_EQ(sys, err);
}

// Today's day file is something other than a regular file of the logger's own: no line goes
// into it or through it, the program never waits on it, and the console and the system log
// say so once.
TEST_F(LogTest, ADayFileThatIsNoRegularFileOfItsOwnIsNeverWrittenAndSaidOnce) {
  enum Kind { fifo, folderInPlace, linkToAFile, linkToAFifo, secondName };
  struct Row {
    const char* label;
    Kind kind;
    const char* said;
  } rows[] = {
      {"a FIFO", fifo, "it is a FIFO"},
      {"a folder", folderInPlace, "it is a folder"},
      {"a link to a file", linkToAFile, "it is a link"},
      {"a link to a FIFO", linkToAFifo, "it is a link"},
      {"a second name of another file", secondName, "it has other names"},
  };
  clock.setWallTime(localTime(2023, 5, 17, 9, 30, 5));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    testsupport::TempDir home;
    out.clear();
    err.clear();
    sys.clear();
    const std::string logFolder = home.path() + "/corvane-studio/log";
    fs::create_directories(logFolder);
    const std::string day = logFolder + "/2023_05_17.log";
    const std::string target = home.file("elsewhere.txt");
    testsupport::writeFile(target, "the user's");
    switch (row.kind) {
      case fifo:
        ASSERT_EQ(::mkfifo(day.c_str(), 0644), 0);
        break;
      case folderInPlace:
        fs::create_directories(day);
        break;
      case linkToAFile:
        fs::create_symlink(target, day);
        break;
      case linkToAFifo:
        ASSERT_EQ(::mkfifo(home.file("fifo").c_str(), 0644), 0);
        fs::create_symlink(home.file("fifo"), day);
        break;
      case secondName:
        fs::create_hard_link(target, day);
        break;
    }
    {
      LogManager log(env(home.path()));
      EXPECT_FALSE(log.hasFile());
      EXPECT_EQ(log.logFilePath(), day);
      // Far more than a FIFO's buffer holds.
      for (int i = 0; i < 200; ++i) log.info(std::string(1000, 'x'), "I.cpp", "i", i);
      log.error("an error", "E.cpp", "e", 1);
    }
    EXPECT_EQ(testsupport::readFile(target), "the user's");
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0], "Create file pointer failed");
    ASSERT_EQ(err.size(), 2u) << "said once, then the error line itself";
    EXPECT_NE(err[0].find("The day file " + day + " is not written: " + row.said),
              std::string::npos)
        << err[0];
    EXPECT_EQ(err[1], "[Error] [E.cpp:1], e(): an error");
    EXPECT_EQ(sys, err);
  }
}

// The FIFO taken away, the next line starts a day file of the logger's own.
TEST_F(LogTest, ADayFileIsStartedOnceWhatStoodInItsPlaceIsGone) {
  clock.setWallTime(localTime(2023, 5, 17, 9, 30, 5));
  fs::create_directories(folder());
  const std::string day = folder() + "/2023_05_17.log";
  ASSERT_EQ(::mkfifo(day.c_str(), 0644), 0);
  LogManager log(env(dir.path()));
  log.log("not kept");
  fs::remove(day);
  log.log("kept");
  EXPECT_TRUE(log.hasFile());
  struct stat st {};
  ASSERT_EQ(::lstat(day.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(lines(readFile(day)), (std::vector<std::string>{"2023_05_17 09:30:05 [Info] kept"}));
  EXPECT_EQ(err.size(), 1u);
}

// Only names of real days are the logger's: one shaped like a date that is none is a file of
// someone else's, old as it may be.
TEST_F(LogTest, ThePruneTakesOnlyNamesOfRealDays) {
  const auto start = localTime(2026, 6, 10, 12, 0, 0);
  clock.setWallTime(start);
  fs::create_directories(folder());
  struct Row {
    const char* name;
    bool removed;
  } rows[] = {
      {"2026_06_01.log", true},  {"2024_02_29.log", true},  {"2000_02_29.log", true},
      {"2026_13_45.log", false}, {"2026_00_00.log", false}, {"9999_99_99.log", false},
      {"2026_02_29.log", false}, {"1900_02_29.log", false}, {"2026_04_31.log", false},
      {"2026_06_00.log", false}, {"2026_06_32.log", false}, {"0000_00_01.log", false},
  };
  for (const Row& row : rows) {
    testsupport::writeFile(folder() + "/" + row.name, "x");
    setModified(folder() + "/" + row.name, start - 400000s);
  }
  LogManager log(env(dir.path()));
  for (const Row& row : rows)
    EXPECT_EQ(!fs::exists(folder() + "/" + row.name), row.removed) << row.name;
  EXPECT_TRUE(sys.empty());
}

// A day file that cannot be removed keeps only itself: the other old ones go all the same, and
// the day file, the console and the system log name it with the reason.
TEST_F(LogTest, ADayFileThatCannotBeRemovedIsNamedAndTheRestArePruned) {
  const auto start = localTime(2026, 6, 10, 12, 0, 0);
  clock.setWallTime(start);
  fs::create_directories(folder());
  testsupport::BusyFile busy(folder() + "/2026_05_15.log", "x");
  if (!busy.busy()) GTEST_SKIP() << "no file can be mounted over here: " << busy.why();
  setModified(folder() + "/2026_05_15.log", start - 400000s);
  std::vector<std::string> others;
  for (int d = 1; d <= 12; ++d) {
    char name[32];
    std::snprintf(name, sizeof name, "2026_05_%02d.log", d);
    others.push_back(folder() + "/" + name);
    testsupport::writeFile(others.back(), "x");
    setModified(others.back(), start - 400000s);
  }
  LogManager log(env(dir.path()));
  for (const std::string& other : others) EXPECT_FALSE(fs::exists(other)) << other;
  EXPECT_TRUE(fs::exists(folder() + "/2026_05_15.log"));
  const std::string said =
      "Cannot cleanup the old files: 2026_05_15.log: " + std::string(std::strerror(EBUSY));
  ASSERT_EQ(sys.size(), 1u);
  EXPECT_NE(sys[0].find(said), std::string::npos) << sys[0];
  EXPECT_EQ(err, sys);
  EXPECT_NE(readFile(log.logFilePath()).find(said), std::string::npos);
}

TEST_F(LogTest, ADeletedDayFileIsStartedAgainWithoutABanner) {
  LogManager log(env(dir.path()));
  fs::remove(log.logFilePath());
  log.log("again");
  auto file = lines(readFile(log.logFilePath()));
  ASSERT_EQ(file.size(), 1u);
  EXPECT_NE(file[0].find("[Info] again"), std::string::npos);
}

TEST_F(LogTest, TwoStartsOnOneDayAppendEachWithItsBanner) {
  {
    LogManager first(env(dir.path()));
    first.log("one");
  }
  LogManager second(env(dir.path()));
  auto file = lines(readFile(second.logFilePath()));
  int banners = 0;
  for (auto& l : file) banners += l.find("Log Start: ") != std::string::npos;
  EXPECT_EQ(banners, 2);
  EXPECT_EQ(file.size(), 11u);
}

TEST_F(LogTest, WithoutACachesFolderEventsReachOnlyTheConsole) {
  LogManager log(env(std::nullopt));
  EXPECT_FALSE(log.hasFile());
  EXPECT_EQ(log.logFilePath(), "");
  log.error("nowhere", "f.cpp", "g", 1);
  EXPECT_EQ(sys.size(), 1u);
}

TEST_F(LogTest, AnUnopenableDayFileIsReportedOnStandardOutput) {
  fs::create_directories(folder());
  // A folder in the day file's place cannot be opened as a stream.
  clock.setWallTime(localTime(2023, 1, 2, 3, 4, 5));
  fs::create_directories(folder() + "/2023_01_02.log");
  LogManager log(env(dir.path()));
  EXPECT_FALSE(log.hasFile());
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out[0], "Create file pointer failed");
}

TEST_F(LogTest, ExportPacksTheFolderStoredUnderLog) {
  LogManager log(env(dir.path()));
  log.log("exported line");
  std::ofstream(folder() + "/2023_05_16.log") << "older day";
  std::string archivePath = dir.file("logs.zip");
  ASSERT_TRUE(log.exportLogs(archivePath));

  int err = 0;
  zip_t* z = zip_open(archivePath.c_str(), ZIP_RDONLY, &err);
  ASSERT_TRUE(z);
  std::string dayEntry = "log/" + fs::path(log.logFilePath()).filename().string();
  zip_stat_t st;
  ASSERT_EQ(zip_stat(z, dayEntry.c_str(), 0, &st), 0);
  EXPECT_EQ(st.comp_method, ZIP_CM_STORE);
  std::string content(st.size, '\0');
  zip_file_t* f = zip_fopen(z, dayEntry.c_str(), 0);
  ASSERT_TRUE(f);
  ASSERT_EQ(zip_fread(f, content.data(), st.size), zip_int64_t(st.size));
  zip_fclose(f);
  EXPECT_NE(content.find("exported line"), std::string::npos);
  EXPECT_EQ(zip_name_locate(z, "log/2023_05_16.log", 0) >= 0, true);
  zip_close(z);
}

TEST_F(LogTest, AFailedExportLeavesALineAndNoArchive) {
  LogManager log(env(dir.path()));
  EXPECT_FALSE(log.exportLogs(dir.file("missing-folder/logs.zip")));
  EXPECT_FALSE(fs::exists(dir.file("missing-folder/logs.zip")));
  auto file = lines(readFile(log.logFilePath()));
  EXPECT_NE(file.back().find(" Something went wrong"), std::string::npos);
}

// Whoever asked for the archive can tell the user why there is none.
TEST_F(LogTest, AFailedExportGivesItsReason) {
  LogManager log(env(dir.path()));
  std::ofstream(dir.file("a-file")) << "not a folder";
  std::string reason;
  EXPECT_FALSE(log.exportLogs(dir.file("a-file/logs.zip"), &reason));
  EXPECT_NE(reason.find("Not a directory"), std::string::npos) << reason;
  auto file = lines(readFile(log.logFilePath()));
  EXPECT_NE(file.back().find(" Something went wrong: " + reason), std::string::npos);
  reason.clear();
  EXPECT_TRUE(log.exportLogs(dir.file("logs.zip"), &reason));
  EXPECT_EQ(reason, "");
}
