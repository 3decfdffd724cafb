#pragma once

#include <atomic>
#include <functional>

namespace orlith {

// The process-wide source of rectangle ids. Ids are positive 32-bit values; after the largest
// one the count starts again at 1, and ids the caller still holds are skipped, so a new id
// never collides with a live one. -1 means "no rectangle".
class RectIdCounter {
 public:
  static RectIdCounter& shared();

  // The next id that `inUse` does not claim.
  int next(const std::function<bool(int)>& inUse = {});
  // Makes `last` the most recently handed out id (tests reach the wrap this way).
  void setLast(int last);

 private:
  std::atomic<int> last_{0};
};

}  // namespace orlith
