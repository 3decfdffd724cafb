#include "qt/WindowSystem.h"

namespace platform {

WindowSystem::Abilities WindowSystem::of(std::string_view platformName) {
  // Every Wayland plugin's name starts so ("wayland", "wayland-egl", "wayland-brcm", ...).
  if (platformName.substr(0, 7) == "wayland") return {false, false, false};
  return {};
}

WindowSystem::MaximiseStep WindowSystem::onMaximised(const Abilities& abilities) {
  return abilities.sizesOwnMaximise ? MaximiseStep::zoomOwnFrame : MaximiseStep::letStand;
}

WindowSystem::ZoomStep WindowSystem::zoom(const Abilities& abilities, bool maximisedNow) {
  if (abilities.sizesOwnMaximise) return ZoomStep::ownFrame;
  return maximisedNow ? ZoomStep::restore : ZoomStep::maximise;
}

}  // namespace platform
