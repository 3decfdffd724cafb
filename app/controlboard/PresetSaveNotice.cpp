#include "controlboard/PresetSaveNotice.h"

namespace corvane {

std::optional<std::string> PresetSaveNotice::after(bool saved, const std::string& reason) {
  if (saved) {
    told_ = false;
    return std::nullopt;
  }
  if (told_) return std::nullopt;
  told_ = true;
  return reason;
}

}  // namespace corvane
