#include "camera/CameraEnvironment.h"

#include <memory>

#include "camera/ConfigCameraSettings.h"
#include "camera/PlayerManager.h"
#include "camera/ReSpeakerManager.h"
#include "camera/SelvoAnalysisFacade.h"
#include "camera/USBManager.h"
#include "config/ConfigManager.h"
#include "controlboard/ControlBoardViewModel.h"
#include "render/EffectView.h"
#include "render/MetalManager.h"
#include "render/RenderHandoff.h"

namespace corvane {

namespace {

CameraEnvironment::Adjustment& adjustment() {
  static CameraEnvironment::Adjustment adjust;
  return adjust;
}

}  // namespace

void CameraEnvironment::useDevices(Adjustment adjust) { adjustment() = std::move(adjust); }

CameraManager::Environment CameraEnvironment::process() {
  static ConfigCameraSettings settings(ConfigManager::shared());
  CameraManager::Environment env;
  env.usb = &USBManager::shared();
  env.respeaker = &ReSpeakerManager::shared();
  env.player = &PlayerManager::shared();
  env.settings = &settings;
  env.config = &ConfigManager::shared();
  env.viewModel = &ControlBoardViewModel::shared();
  env.makeFacade = SelvoAnalysisFacade::factory();
  env.setDenoise = [](float strength) { MetalManager::shared().denoise = strength; };
  // The effect pass and the preview run on the render queue, never on the delivering queue or
  // the main thread.
  env.publishFrame = [](const platform::PixelBufferRef& frame) {
    RenderHandoff::shared().publish(frame);
  };
  env.frameAdmitted = [](const platform::PixelBufferRef& frame) {
    RenderHandoff::shared().admitted(frame);
  };
  env.frameAnalysed = [](const platform::PixelBufferRef& frame) {
    RenderHandoff::shared().analysed(frame);
  };
  env.framesDropped = [] { return RenderHandoff::shared().skipped(); };
  env.makeEffectView = [] { return EffectView::lean(); };
  if (adjustment()) adjustment()(env);
  return env;
}

}  // namespace corvane
