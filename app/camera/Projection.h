#pragma once

#include <cstdint>
#include <optional>

#include "camera/ProjectionType.h"

namespace corvane {

// The camera's projection and fields of view, in the order the projection information gives them.
struct Projection {
  ProjectionType type = ProjectionType::eqt;
  int64_t max_hfov = 0;
  int64_t max_vfov = 0;
  int64_t hfov = 0;
  int64_t vfov = 0;
  int64_t width = 0;
  int64_t height = 0;

  // From the seven values of the projection information; none for an unknown projection code.
  static std::optional<Projection> make(int32_t typeCode, int32_t max_hfov, int32_t max_vfov,
                                        int32_t hfov, int32_t vfov, int32_t width, int32_t height) {
    std::optional<ProjectionType> type = projectionTypeFromCode(typeCode);
    if (!type) return std::nullopt;
    return Projection{*type, max_hfov, max_vfov, hfov, vfov, width, height};
  }

  bool operator==(const Projection&) const = default;
};

}  // namespace corvane
