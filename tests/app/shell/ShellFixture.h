#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Bundle.h"
#include "ManualClock.h"
#include "TempDir.h"
#include "Workspace.h"
#include "camera/CameraManager.h"
#include "config/ConfigManager.h"
#include "controlboard/ControlBoardViewModel.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"
#include "i18n/LanguageManager.h"
#include "log/LogManager.h"
#include "main/SystemExtensionManager.h"
#include "qt/UserDefaults.h"
#include "shell/AppDelegate.h"

namespace shelltest {

namespace fs = std::filesystem;

inline void writeFile(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Removes the virtual camera with a set outcome and counts the requests.
class RecordingExtensions : public corvane::SystemExtensionManager {
 public:
  bool outcome = true;
  int deactivations = 0;
  void deactivateCameraExtension(CompletionHandler handler) override {
    ++deactivations;
    handler(outcome);
  }
};

// The program's surroundings in a temporary home: a copy of the shipped resources, the bundle's
// Info values, user defaults, a logger whose lines the test reads, the settings store, a camera
// manager with no camera, a manual clock, a workspace that records what it would start and a
// worker queue the test drains.
class ShellFixture : public ::testing::Test {
 protected:
  ShellFixture() {
    fs::copy(CORVANE_SOURCE_RESOURCES_DIR, resources.path(), fs::copy_options::recursive);
    setenv("CORVANE_RESOURCES_DIR", resources.path().c_str(), 1);
    bundle.configure({{"CFBundleName", "Corvane Studio"},
                      {"CFBundleExecutable", "corvane-studio"},
                      {"CFBundleShortVersionString", "2.3.0"}},
                     "corvane-studio");
    corvane::LogManager::Environment e;
    e.cachesFolder = home.caches();
    e.executableName = "corvane-studio";
    e.shortVersion = "2.3.0";
    e.standardOutput = [this](const std::string& l) { logLines.push_back(l); };
    e.systemLog = [this](const std::string& l) { logLines.push_back(l); };
    logger = std::make_unique<corvane::LogManager>(std::move(e));

    corvane::LanguageManager::Environment l;
    l.bundle = &bundle;
    l.defaults = &defaults;
    l.logger = logger.get();
    l.localLibrary = home.localLibrary();
    l.systemLanguage = "en";
    languages = std::make_unique<corvane::LanguageManager>(std::move(l));
    config = makeConfig();

    corvane::CameraManager::Environment c;
    c.sysRoot = home.root() + "/sys";
    c.devRoot = home.root() + "/dev";
    c.defaults = &defaults;
    c.cachesFolder = [this] { return std::optional<std::string>(home.caches()); };
    c.executableName = [] { return std::optional<std::string>("corvane-studio"); };
    camera = std::make_unique<corvane::CameraManager>(std::move(c));
  }

  ~ShellFixture() override {
    worker.drain();
    platform::MainQueue::shared().drain();
    unsetenv("CORVANE_RESOURCES_DIR");
  }

  std::unique_ptr<corvane::ConfigManager> makeConfig() {
    corvane::ConfigManager::Environment e;
    e.bundle = &bundle;
    e.defaults = &defaults;
    e.logger = logger.get();
    e.languages = languages.get();
    e.viewModel = &viewModel;
    e.cachesFolder = home.caches();
    e.localLibrary = home.localLibrary();
    e.now = [] { return 1700000000.5; };
    return std::make_unique<corvane::ConfigManager>(std::move(e));
  }

  // A delegate over everything above; the cloud pieces are left to the test.
  corvane::AppDelegate::Environment delegateEnvironment(std::vector<std::string> arguments = {
                                                            "/usr/bin/corvane-studio"}) {
    corvane::AppDelegate::Environment env;
    env.config = config.get();
    env.workspace = &workspace;
    env.bundle = &bundle;
    env.defaults = &defaults;
    env.clock = &clock;
    env.worker = &worker;
    env.main = &platform::MainQueue::shared();
    env.logger = logger.get();
    env.extensions = &extensions;
    env.customerIdentifier = [this] { return customer; };
    env.cameraIdentity = [] {
      return corvane::AppDelegate::CameraIdentity{"3.1.4", "0x2bd9", "0x0011"};
    };
    env.terminate = [this] { ++terminated; };
    env.arguments = std::move(arguments);
    env.osVersion = "Linux 6.1.0";
    return env;
  }

  // Runs what the worker and the main queue hold, including what they queue meanwhile.
  void settle() {
    for (int i = 0; i < 10; ++i) {
      worker.drain();
      if (platform::MainQueue::shared().drain() == 0 && worker.pendingCount() == 0) return;
    }
  }

  bool logged(const std::string& part) const {
    for (const auto& line : logLines)
      if (line.find(part) != std::string::npos) return true;
    return false;
  }

  std::string jsonFolder() const { return home.caches() + "/corvane-studio/json"; }
  std::string userConfig() const { return jsonFolder() + "/Custom config.json"; }
  std::string userPresets() const { return jsonFolder() + "/Presets.json"; }

  testsupport::ScopedHome home;
  testsupport::TempDir resources;
  platform::Bundle bundle;
  platform::UserDefaults defaults{QString::fromStdString(home.config() + "/defaults.conf")};
  std::vector<std::string> logLines;
  std::unique_ptr<corvane::LogManager> logger;
  std::unique_ptr<corvane::LanguageManager> languages;
  corvane::ControlBoardViewModel viewModel;
  std::unique_ptr<corvane::ConfigManager> config;
  std::unique_ptr<corvane::CameraManager> camera;
  testsupport::ManualClock clock;
  std::vector<std::vector<std::string>> spawned;
  platform::Workspace workspace{platform::Workspace::Environment{
      [this](const std::vector<std::string>& argv) { return spawned.push_back(argv), true; }}};
  platform::SerialQueue worker{"shell test worker"};
  RecordingExtensions extensions;
  std::string customer;
  int terminated = 0;
};

}  // namespace shelltest
