#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// The file player's playback state.
enum class PlayerStatus : int64_t { noFile = 0, playing = 1, pause = 2 };

// The status of a raw value; none for any value that is not one of the cases.
inline std::optional<PlayerStatus> playerStatusFromRaw(int64_t raw) {
  if (raw >= int64_t(PlayerStatus::noFile) && raw <= int64_t(PlayerStatus::pause))
    return PlayerStatus(raw);
  return std::nullopt;
}

}  // namespace corvane
