#pragma once

#include <map>
#include <optional>
#include <string>

#include "render/compute/ArgumentTable.h"

namespace corvane::compute {

// The grid row a kernel invocation covers: threads (x, row) for x in [0, gridWidth).
struct GridRow {
  uint32_t row = 0;
  uint32_t gridWidth = 0;
  uint32_t gridHeight = 0;
};

// A compute kernel: one call computes every thread of one grid row. Kernels bound their own
// writes, since the grid is rounded up to whole threadgroups.
using KernelFunction = void (*)(const ArgumentTable& arguments, const GridRow& row);

// The program's kernels by name, as a shader library offers its functions.
class KernelLibrary {
 public:
  // The library holding the program's own kernels ("effectsKernel", "layoutKernel").
  static KernelLibrary makeDefault();

  void add(const std::string& name, KernelFunction function);
  std::optional<KernelFunction> function(const std::string& name) const;

 private:
  std::map<std::string, KernelFunction> functions_;
};

}  // namespace corvane::compute
