#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/PresetModel.h"

namespace corvane {

// Which preset a stored "CurrentPreset" value means. The value is a preset's `name`, the one
// key that does not change with the language; values written as a display name by earlier
// versions still find their preset.
class PresetChoice {
 public:
  // The preset whose name is `stored`, else the one whose display name is; none otherwise.
  static std::optional<size_t> indexForStored(const std::vector<PresetModel>& presets,
                                              const std::string& stored);
  // Whether the preset at `index` is the one the user may edit (its display name is the
  // custom title); false for an index out of range.
  static bool isCustom(const std::vector<PresetModel>& presets, std::optional<size_t> index,
                       const std::string& customTitle);
  // The editable preset's index, or none.
  static std::optional<size_t> customIndex(const std::vector<PresetModel>& presets,
                                           const std::string& customTitle);
};

}  // namespace corvane
