#pragma once

#include <cstdint>
#include <vector>

#include "LayoutModel.h"

namespace selvo {

// The people the layout shows: a person joins after being seen for a short while and leaves after
// being missed for a while, so one missed or spurious detection does not reflow the tiles.
class PersonRoster {
 public:
  static constexpr int64_t kJoinUs = 400'000;
  static constexpr int64_t kLeaveUs = 1'000'000;

  void reset() { entries_.clear(); }
  // The people present this frame; `isImmediate` says who joins without waiting.
  template <typename Immediate>
  void update(const std::vector<LayoutPerson>& present, int64_t nowUs, Immediate&& isImmediate) {
    for (const LayoutPerson& p : present) {
      if (p.id == -1) continue;
      seen(p, nowUs, isImmediate(p.id));
    }
    finish(nowUs);
  }
  // Joined people in the order they joined, with their latest rectangles.
  const std::vector<LayoutPerson>& members() const { return members_; }

 private:
  struct Entry {
    LayoutPerson person;
    int64_t firstSeen = 0;
    int64_t lastSeen = 0;
    bool joined = false;
  };
  void seen(const LayoutPerson& person, int64_t nowUs, bool immediate);
  void finish(int64_t nowUs);

  std::vector<Entry> entries_;
  std::vector<LayoutPerson> members_;
};

}  // namespace selvo
