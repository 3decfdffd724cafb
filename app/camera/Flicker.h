#pragma once

#include <vector>

namespace corvane {

// The power-line frequency control. The modes and the value are the control board's flicker
// choices, held here as their integer raw values (auto 0, fifty 1, sixty 2), so that this layer
// does not depend on the control board.
struct Flicker {
  bool enable = false;
  std::vector<int> modes;
  int value = 0;

  bool operator==(const Flicker&) const = default;
};

}  // namespace corvane
