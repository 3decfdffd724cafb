#include "qt/DisplayPlatform.h"

#include <cstdlib>

namespace platform {

namespace {
bool present(const char* value) { return value && *value; }
}  // namespace

std::optional<std::string> DisplayPlatform::preferred(const char* qpaPlatform,
                                                      const char* waylandDisplay,
                                                      const char* x11Display) {
  if (present(qpaPlatform) || !present(waylandDisplay) || !present(x11Display)) return std::nullopt;
  return std::string("xcb");
}

void DisplayPlatform::applyPreferred() {
  if (auto plugin = preferred(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"),
                              std::getenv("DISPLAY")))
    ::setenv("QT_QPA_PLATFORM", plugin->c_str(), 1);
}

}  // namespace platform
