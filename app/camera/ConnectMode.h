#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// The camera connection state.
enum class ConnectMode : uint8_t { searching = 0, connecting = 1, connected = 2, disconnected = 3 };

constexpr int64_t rawValue(ConnectMode mode) { return int64_t(mode); }

constexpr std::optional<ConnectMode> makeConnectMode(int64_t rawValue) {
  if (rawValue >= 0 && rawValue <= 3) return ConnectMode(uint8_t(rawValue));
  return std::nullopt;
}

}  // namespace corvane
