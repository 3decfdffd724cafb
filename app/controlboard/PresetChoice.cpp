#include "controlboard/PresetChoice.h"

namespace corvane {

std::optional<size_t> PresetChoice::indexForStored(const std::vector<PresetModel>& presets,
                                                   const std::string& stored) {
  if (stored.empty()) return std::nullopt;
  for (size_t i = 0; i < presets.size(); ++i)
    if (presets[i].name == stored) return i;
  for (size_t i = 0; i < presets.size(); ++i)
    if (presets[i].displayName == stored) return i;
  return std::nullopt;
}

bool PresetChoice::isCustom(const std::vector<PresetModel>& presets, std::optional<size_t> index,
                            const std::string& customTitle) {
  return index && *index < presets.size() && presets[*index].displayName == customTitle;
}

std::optional<size_t> PresetChoice::customIndex(const std::vector<PresetModel>& presets,
                                                const std::string& customTitle) {
  for (size_t i = 0; i < presets.size(); ++i)
    if (presets[i].displayName == customTitle) return i;
  return std::nullopt;
}

}  // namespace corvane
