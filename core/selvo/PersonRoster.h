#pragma once

#include <cstdint>
#include <vector>

#include "LayoutModel.h"

namespace selvo {

// The people the layout shows: a person joins after being seen for a short while and leaves after
// being missed for a while, so one missed or spurious detection does not reflow the tiles. A box
// that comes in where a member's box has just gone (a new detection replacing the boxes) is that
// member: it takes their place at once rather than showing them twice for a second.
class PersonRoster {
 public:
  static constexpr int64_t kJoinUs = 400'000;
  static constexpr int64_t kLeaveUs = 1'000'000;
  // How much a new box must overlap a gone member's (over their union) to take their place.
  static constexpr float kSamePlace = 0.5f;

  void reset() { entries_.clear(); }
  // The people present this frame; `isImmediate` says who joins without waiting.
  template <typename Immediate>
  void update(const std::vector<LayoutPerson>& present, int64_t nowUs, Immediate&& isImmediate) {
    takeOverGoneMembers(present);
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
  void takeOverGoneMembers(const std::vector<LayoutPerson>& present);
  void seen(const LayoutPerson& person, int64_t nowUs, bool immediate);
  void finish(int64_t nowUs);

  std::vector<Entry> entries_;
  std::vector<LayoutPerson> members_;
};

}  // namespace selvo
