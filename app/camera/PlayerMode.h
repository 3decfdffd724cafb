#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// What the file player shows: still pictures or a video.
enum class PlayerMode : int64_t { image = 0, video = 1 };

// The mode of a raw value; none for any value that is not one of the cases.
inline std::optional<PlayerMode> playerModeFromRaw(int64_t raw) {
  if (raw == int64_t(PlayerMode::image) || raw == int64_t(PlayerMode::video))
    return PlayerMode(raw);
  return std::nullopt;
}

}  // namespace corvane
