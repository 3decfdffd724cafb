#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// The camera's projection. It has no raw value of its own: the camera reports it as the
// projection-type code of its capture-format block, 0 to 3 in the order of the cases.
enum class ProjectionType : uint8_t { eqt, cylinder, panini, normal };

// No value for a code above 3 (or below 0).
constexpr std::optional<ProjectionType> projectionTypeFromCode(int64_t code) {
  if (code >= 0 && code <= 3) return ProjectionType(uint8_t(code));
  return std::nullopt;
}

}  // namespace corvane
