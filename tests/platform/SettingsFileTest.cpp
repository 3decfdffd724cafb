// The settings file under hostile or broken conditions: a file that cannot be used is moved
// aside and named in loadProblem(); a folder that cannot be written is reported once.
#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "TestFiles.h"
#include "qt/UserDefaults.h"

namespace fs = std::filesystem;

TEST(SettingsFile, AFileThatCannotBeUsedIsKeptAsideAndTheStoreStartsEmpty) {
  testsupport::TempDir dir;
  const std::string file = dir.file("conf/app.conf");
  auto cases = testsupport::hostileFiles();
  cases.push_back({{}, "garbage", "not a settings file"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(file + ".unreadable");
    if (std::string(c.name) == "garbage")
      testsupport::writeFile(file, std::string("[General\n\x01\x02=\xff\n", 14));
    else
      testsupport::makeHostileFile(c, file, platform::UserDefaults::kMaxFileBytes);
    platform::UserDefaults d(QString::fromStdString(file));
    QString problem = d.loadProblem();
    EXPECT_TRUE(problem.startsWith(QString::fromStdString(file + ": "))) << problem.toStdString();
    EXPECT_TRUE(problem.contains(c.reason)) << problem.toStdString();
    EXPECT_TRUE(problem.contains("kept as")) << problem.toStdString();
    EXPECT_TRUE(fs::exists(fs::symlink_status(file + ".unreadable")));
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
  EXPECT_FALSE(fs::exists(dir.file("app.conf.unreadable")));
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
  EXPECT_TRUE(problems[0].contains("cannot be written"));
  EXPECT_EQ(d.integer("WindowHeight"), 720);  // the run goes on with its values
}
