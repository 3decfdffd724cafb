#include "LayoutTuning.h"

namespace selvo {

LayoutTuning& LayoutTuning::shared() {
  static LayoutTuning instance;
  return instance;
}

LayoutTuningValues LayoutTuning::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return values_;
}

}  // namespace selvo
