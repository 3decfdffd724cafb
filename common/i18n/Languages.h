#pragma once

#include <optional>
#include <string>

namespace corvane {

// The interface languages by their table names; `system` follows the system's language.
enum class Languages { en, zh_TW, zh_Hans, system };

inline std::string rawValue(Languages language) {
  switch (language) {
    case Languages::en:
      return "en";
    case Languages::zh_TW:
      return "zh-Hant";
    case Languages::zh_Hans:
      return "zh-Hans";
    case Languages::system:
      return "system";
  }
  return "system";
}

inline std::optional<Languages> languagesFromRaw(const std::string& raw) {
  for (Languages l : {Languages::en, Languages::zh_TW, Languages::zh_Hans, Languages::system})
    if (rawValue(l) == raw) return l;
  return std::nullopt;
}

}  // namespace corvane
