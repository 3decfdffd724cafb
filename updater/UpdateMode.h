#pragma once

#include <optional>
#include <string>

namespace updater {

// What an update package updates.
enum class UpdateMode { None = 0, Fw = 1, Ai = 2, All = 3, Zip = 4 };

inline std::optional<UpdateMode> updateModeFromRaw(int raw) {
  if (raw < 0 || raw > 4) return std::nullopt;
  return static_cast<UpdateMode>(raw);
}

inline int rawValue(UpdateMode mode) { return static_cast<int>(mode); }

}  // namespace updater
