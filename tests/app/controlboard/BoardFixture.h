#pragma once

#include <QMouseEvent>
#include <memory>

#include "../camera/CameraManagerFixture.h"
#include "config/ConfigManager.h"
#include "controlboard/ControlBoardController.h"
#include "controlboard/ControlBoardViewModel.h"
#include "controlboard/SmallControlBoardController.h"
#include "render/MetalManager.h"
#include "widgets/CustomButton.h"

// The boards over a real camera manager (the simulated camera behind the USB transport, the
// fake capture driver), their own settings, view model and render state, the manual clock and
// the drained main queue.
class BoardTest : public CameraManagerTest {
 protected:
  // UVC processing-unit selectors of the simulated camera.
  static constexpr uint8_t kBrightness = 0x02, kFlicker = 0x05, kGamma = 0x09;

  void SetUp() override {
    CameraManagerTest::SetUp();
    corvane::ConfigManager::Environment env;
    env.defaults = defaults.get();
    config = std::make_unique<corvane::ConfigManager>(env);
    config->displayModesPerRow = 4;
    config->gridComposeMode = true;
    config->focusMode = true;
    config->gridMode = true;
    config->speakerMode = true;
    config->topdownMode = true;
    config->presets = {preset("Standard", "Standard", 0, 0, 50, 50, 30),
                       preset("Bright", "Bright", 1.0, 2, 65, 250, 50),
                       preset("Custom", "Custom", 0, 0, 50, 200, 30)};
    config->customPresetTitle = "Custom";
  }

  void TearDown() override {
    board.reset();
    small.reset();
    platform::MainQueue::shared().drain();
    CameraManagerTest::TearDown();
  }

  static corvane::PresetModel preset(const std::string& name, const std::string& displayName,
                                     double ev, int64_t flickr, int64_t lighting, int64_t gamma,
                                     int64_t nr) {
    corvane::PresetModel p;
    p.name = name;
    p.displayName = displayName;
    p.ev = ev;
    p.flickr = flickr;
    p.lighting = lighting;
    p.gamma = gamma;
    p.nr = nr;
    return p;
  }

  corvane::ControlBoardController::Environment boardEnvironment() {
    corvane::ControlBoardController::Environment env;
    env.camera = manager.get();
    env.viewModel = &viewModel;
    env.config = config.get();
    env.metal = &metal;
    env.defaults = defaults.get();
    env.clock = &clock;
    env.localized = [](const std::string& key) { return key; };
    env.makeMetalView = false;
    return env;
  }

  void makeBoard() {
    board = std::make_unique<corvane::ControlBoardController>(boardEnvironment());
    settle();
  }

  void makeSmallBoard() {
    corvane::SmallControlBoardController::Environment env;
    env.camera = manager.get();
    env.config = config.get();
    env.localized = [](const std::string& key) { return key; };
    small = std::make_unique<corvane::SmallControlBoardController>(env);
    settle();
  }

  // A camera that is plugged in and connected, with its manager.
  void connectCamera() {
    plugCamera();
    makeManager();
    connect();
  }

  static std::vector<int> tagsOf(const std::vector<corvane::CustomButton*>& buttons) {
    std::vector<int> tags;
    for (auto* b : buttons) tags.push_back(b->tag);
    return tags;
  }

  static corvane::CustomButton* withTag(const std::vector<corvane::CustomButton*>& buttons,
                                        int tag) {
    for (auto* b : buttons)
      if (b->tag == tag) return b;
    return nullptr;
  }

  // The SET_CUR requests the simulated camera received, by selector, in order.
  std::vector<uint8_t> writtenSelectors() const {
    std::vector<uint8_t> out;
    for (const auto& r : usbCamera->requests())
      if (r.requestType == 0x21) out.push_back(uint8_t(r.value >> 8));
    return out;
  }

  corvane::ControlBoardViewModel viewModel;
  corvane::MetalManager metal;
  std::unique_ptr<corvane::ConfigManager> config;
  std::unique_ptr<corvane::ControlBoardController> board;
  std::unique_ptr<corvane::SmallControlBoardController> small;
};
