#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "LanguageManager.h"
#include "ManualClock.h"
#include "TempDir.h"
#include "log/LogManager.h"
#include "qt/UserDefaults.h"

namespace fs = std::filesystem;

TEST(UpdaterLog, TheFileURLIsAnnouncedBeforeTheDayFileOpens) {
  testsupport::TempDir dir;
  testsupport::ManualClock clock;
  std::vector<std::string> out;
  corvane::LogManager::Environment e;
  e.cachesFolder = dir.path() + "/caches dir";
  e.executableName = "corvane-studio-updater";
  e.shortVersion = "2.3.0";
  e.clock = &clock;
  e.standardOutput = [&](const std::string& l) { out.push_back(l); };
  e.printsLogFileURL = true;
  corvane::LogManager log(std::move(e));
  ASSERT_TRUE(log.hasFile());
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.front(), "@@ logFileURL:" + corvane::LogManager::fileURL(log.logFilePath()));
  EXPECT_EQ(out.front().rfind("@@ logFileURL:file://", 0), 0u);
  EXPECT_NE(out.front().find("caches%20dir/corvane-studio-updater/log/"), std::string::npos);
  EXPECT_EQ(fs::path(log.logFilePath()).parent_path(),
            fs::path(dir.path() + "/caches dir/corvane-studio-updater/log"));
}

TEST(UpdaterLanguage, TheSystemLanguageDecidesWhateverWasStored) {
  testsupport::TempDir dir;
  std::string tables = dir.path() + "/library/Corvane Studio Updater/localizable";
  fs::create_directories(tables);
  std::ofstream(tables + "/en.json") << R"({"k": "English"})";
  std::ofstream(tables + "/zh-Hant.json") << R"({"k": "Traditional"})";
  std::ofstream(tables + "/zh-Hans.json") << R"({"k": "Simplified"})";
  platform::UserDefaults defaults(QString::fromStdString(dir.path() + "/defaults.conf"));
  defaults.set("CurrentLanguage", QString::fromStdString(tables + "/zh-Hant.json"));

  corvane::LanguageManager::Environment env = updater::LanguageManager::environment();
  env.defaults = &defaults;
  env.localLibrary = dir.path() + "/library";
  env.systemLanguage = "zh-Hans-CN";
  updater::LanguageManager l(env);
  EXPECT_EQ(l.languages, corvane::Languages::system);
  EXPECT_EQ(l.collatorIdentifier(), "zh-Hans-CN");
  EXPECT_EQ(l.localizableList().size(), 3u);
  EXPECT_EQ(l.localized("k"), "Simplified");
}

TEST(UpdaterLanguage, EveryShippedTableHasTheEnglishKeys) {
  std::string folder = std::string(CORVANE_SOURCE_DIR) + "/resources/updater";
  auto keys = [](const std::string& path) {
    nlohmann::json table = nlohmann::json::parse(std::ifstream(path));
    std::set<std::string> out;
    for (auto it = table.begin(); it != table.end(); ++it) out.insert(it.key());
    return out;
  };
  auto english = keys(folder + "/en.json");
  EXPECT_FALSE(english.empty());
  for (const char* name : {"en", "zh-Hans", "zh-Hant"})
    EXPECT_EQ(keys(folder + "/localizable/" + name + ".json"), english) << name;
}
