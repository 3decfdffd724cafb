#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Bundle.h"
#include "TempDir.h"
#include "config/ConfigManager.h"
#include "controlboard/ControlBoardViewModel.h"
#include "dispatch/MainQueue.h"
#include "i18n/LanguageManager.h"
#include "log/LogManager.h"
#include "qt/UserDefaults.h"

namespace settingstest {

namespace fs = std::filesystem;

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline nlohmann::json parseFile(const std::string& path) {
  return nlohmann::json::parse(readFile(path), nullptr, false);
}

inline corvane::PresetModel named(const std::string& name, double ev = 0) {
  corvane::PresetModel p;
  p.name = p.displayName = name;
  p.ev = ev;
  return p;
}

// A program's surroundings in a temporary folder: home folders, a copy of the shipped
// resources (CORVANE_RESOURCES_DIR), the main bundle's Info values, user defaults, and a logger
// whose lines the test reads.
class SettingsFixture : public ::testing::Test {
 protected:
  SettingsFixture() {
    fs::copy(CORVANE_SOURCE_RESOURCES_DIR, resources.path(), fs::copy_options::recursive);
    setenv("CORVANE_RESOURCES_DIR", resources.path().c_str(), 1);
    // The language tables as installed into the machine-wide folder.
    fs::create_directories(tablesFolder());
    fs::copy(resources.file("localizable"), tablesFolder(), fs::copy_options::recursive);
    bundle.configure({{"CFBundleName", "Corvane Studio"},
                      {"CFBundleExecutable", "corvane-studio"},
                      {"CFBundleShortVersionString", "2.3.0"}},
                     "corvane-studio");
    corvane::LogManager::Environment e;
    e.cachesFolder = home.caches();
    e.executableName = "corvane-studio";
    e.shortVersion = "2.3.0";
    e.standardOutput = [this](const std::string& l) { log.push_back(l); };
    e.systemLog = [this](const std::string& l) { log.push_back(l); };
    logger = std::make_unique<corvane::LogManager>(std::move(e));
  }
  ~SettingsFixture() override {
    platform::MainQueue::shared().drain();
    unsetenv("CORVANE_RESOURCES_DIR");
  }

  std::string resource(const std::string& name) const { return resources.file(name); }
  std::string jsonFolder() const { return home.caches() + "/corvane-studio/json"; }
  std::string userConfig() const { return jsonFolder() + "/Custom config.json"; }
  std::string userPresets() const { return jsonFolder() + "/Presets.json"; }
  std::string tablesFolder() const { return home.localLibrary() + "/Corvane Studio/localizable"; }

  corvane::LanguageManager& languages() {
    if (!languages_) {
      corvane::LanguageManager::Environment e;
      e.bundle = &bundle;
      e.defaults = &defaults;
      e.logger = logger.get();
      e.localLibrary = home.localLibrary();
      e.systemLanguage = systemLanguage;
      languages_ = std::make_unique<corvane::LanguageManager>(std::move(e));
    }
    return *languages_;
  }

  // The next languages() is a new load: its tables are read again.
  void reloadLanguages() { languages_.reset(); }

  std::unique_ptr<corvane::ConfigManager> makeConfig() {
    corvane::ConfigManager::Environment e;
    e.bundle = &bundle;
    e.defaults = &defaults;
    e.logger = logger.get();
    e.languages = &languages();
    e.viewModel = &viewModel;
    e.cachesFolder = home.caches();
    e.localLibrary = home.localLibrary();
    e.now = [] { return 1700000000.5; };
    return std::make_unique<corvane::ConfigManager>(std::move(e));
  }

  // The messages of the captured lines that contain `text`.
  size_t count(const std::string& text) const {
    size_t n = 0;
    for (const auto& l : log)
      if (l.find(text) != std::string::npos) ++n;
    return n;
  }
  // Index of the first captured line holding `text`, or -1.
  long indexOf(const std::string& text) const {
    for (size_t i = 0; i < log.size(); ++i)
      if (log[i].find(text) != std::string::npos) return static_cast<long>(i);
    return -1;
  }

  testsupport::ScopedHome home;
  testsupport::TempDir resources;
  platform::Bundle bundle;
  platform::UserDefaults defaults{QString::fromStdString(home.config() + "/test/test.conf")};
  std::vector<std::string> log;
  std::unique_ptr<corvane::LogManager> logger;
  std::string systemLanguage = "en-US";
  corvane::ControlBoardViewModel viewModel;

 private:
  std::unique_ptr<corvane::LanguageManager> languages_;
};

}  // namespace settingstest
