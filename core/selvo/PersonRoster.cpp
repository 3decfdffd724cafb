#include "PersonRoster.h"

#include <algorithm>

#include "FaceMerger.h"

namespace selvo {

void PersonRoster::takeOverGoneMembers(const std::vector<LayoutPerson>& present) {
  const auto isPresent = [&](int id) {
    return std::any_of(present.begin(), present.end(),
                       [&](const LayoutPerson& p) { return p.id == id; });
  };
  for (const LayoutPerson& p : present) {
    if (p.id == -1) continue;
    const auto known = [&](const Entry& e) { return e.person.id == p.id; };
    if (std::any_of(entries_.begin(), entries_.end(), known)) continue;
    // The gone member whose box this one overlaps most.
    Entry* best = nullptr;
    float bestOverlap = kSamePlace;
    for (Entry& e : entries_) {
      if (!e.joined || isPresent(e.person.id)) continue;
      const float o = FaceMerger::Overlap(e.person.box, p.box, 0);
      if (o >= bestOverlap) {
        bestOverlap = o;
        best = &e;
      }
    }
    if (best) best->person.id = p.id;  // seen() below renews the rest of them
  }
}

void PersonRoster::seen(const LayoutPerson& person, int64_t nowUs, bool immediate) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& e) { return e.person.id == person.id; });
  if (it == entries_.end()) {
    Entry e;
    e.person = person;
    e.firstSeen = nowUs;
    entries_.push_back(e);
    it = entries_.end() - 1;
  }
  const int64_t joinedAt = it->person.joinedAt;
  it->person = person;
  it->person.joinedAt = joinedAt;
  it->lastSeen = nowUs;
  if (!it->joined && (immediate || nowUs - it->firstSeen >= kJoinUs)) {
    it->joined = true;
    it->person.joinedAt = nowUs;
  }
}

void PersonRoster::finish(int64_t nowUs) {
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [&](const Entry& e) {
                                  if (e.lastSeen == nowUs) return false;
                                  return !e.joined || nowUs - e.lastSeen >= kLeaveUs;
                                }),
                 entries_.end());
  members_.clear();
  for (const Entry& e : entries_) {
    if (e.joined) members_.push_back(e.person);
  }
  std::stable_sort(
      members_.begin(), members_.end(),
      [](const LayoutPerson& a, const LayoutPerson& b) { return a.joinedAt < b.joinedAt; });
}

}  // namespace selvo
