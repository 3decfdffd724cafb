#pragma once

#include <mutex>

#include "LayoutModel.h"

namespace selvo {

// The layout tuning of the process. Settings objects write it on the main thread, layout
// engines read a copy of it once per frame on the processing queue.
class LayoutTuning {
 public:
  static LayoutTuning& shared();

  LayoutTuningValues snapshot() const;
  template <typename F>
  void edit(F&& change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(values_);
  }

 private:
  mutable std::mutex mutex_;
  LayoutTuningValues values_;
};

}  // namespace selvo
