#pragma once

namespace corvane {

// What the processor offers beyond the build's baseline, asked once: the row kernels pick their
// wide loops by it. Safe to call from static initialisers (it sets up the query itself).
class CpuFeatures {
 public:
  static bool avx2();
};

}  // namespace corvane
