#pragma once

#include <QColor>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "config/PresetModel.h"
#include "config/RectPoint.h"

namespace corvane {

class ConfigManager;
class LogManager;

// One stored field of ConfigManager: its name, the key and file that set it, and a pointer to
// the member, whose type says how the value is read, written and shown. The one table of them
// (all(), in declaration order) drives loading, saving and the field dump.
struct ConfigField {
  // The file whose key sets the field.
  enum class File { none, setting, bundle, custom };
  // Which copy of the custom configuration sets the field: the build's keys come from the
  // resource copy only, the user's view state from both.
  enum class Copy { none, build, user };
  enum class Format {
    plain,
    sixDecimals,  // written as its "%f" text
    lowerCased,   // every string of the list held in lower case
    anyRectForm,  // elements may be four-corner or the older x, y, w, h form
  };

  using Member = std::variant<
      bool ConfigManager::*, int64_t ConfigManager::*, double ConfigManager::*,
      std::string ConfigManager::*, std::vector<std::string> ConfigManager::*,
      std::optional<QColor> ConfigManager::*, std::optional<std::string> ConfigManager::*,
      std::vector<RectPoint> ConfigManager::*, std::vector<PresetModel> ConfigManager::*,
      std::optional<PresetModel> ConfigManager::*>;

  const char* name;
  Member member;
  File file = File::none;
  const char* key = nullptr;
  Copy copy = Copy::none;
  bool written = false;  // saved to the user copy of the custom configuration
  Format format = Format::plain;
  const char* fallbackColor = nullptr;  // a colour key's value when absent or not a string

  static const std::vector<ConfigField>& all();

  // Sets the field from `object[key]` when the value converts; false (field untouched)
  // otherwise. A colour key present with a string always replaces the colour.
  bool read(ConfigManager& config, const nlohmann::json& object) const;
  // Puts the field under its key.
  void write(const ConfigManager& config, nlohmann::ordered_json& out) const;
  // The value as the field dump shows it: a list with its first kDumpListItems elements and the
  // count of the rest, the whole at most kDumpValueBytes (and the count of what was cut), so a
  // file of ten thousand presets does not put megabytes into every start's log.
  std::string describe(const ConfigManager& config) const;
  static constexpr size_t kDumpListItems = 10;
  static constexpr size_t kDumpValueBytes = 2048;

  // A rectangle list from a JSON array of objects; none when the value is not such an array.
  // Incomplete elements are skipped; each rectangle kept is range-checked.
  static std::optional<std::vector<RectPoint>> rectList(const nlohmann::json& value, bool anyForm,
                                                        LogManager& logger);
  static nlohmann::ordered_json rectListJson(const std::vector<RectPoint>& rects);
};

}  // namespace corvane
