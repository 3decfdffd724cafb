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
#include "SettingsFixture.h"
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

// The settings fixture's surroundings (temporary home, shipped resources, bundle, user defaults,
// a logger whose lines the test reads) with the settings store, a camera manager with no
// camera, a manual clock, a workspace that records what it would start and a worker queue the
// test drains.
class ShellFixture : public settingstest::SettingsFixture {
 protected:
  ShellFixture() {
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

  bool logged(const std::string& part) const { return count(part) > 0; }

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
