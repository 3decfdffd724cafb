#pragma once

#include <vector>

#include "PlanContext.h"

namespace selvo {

// The people of the room in order round it, merged where their cores overlap (no edge can pass
// between them), and their division into runs that tiles frame whole and alone: a run's crop
// holds its people's cores whole and keeps everyone else's wholly out, at the tiles' aspect.
class RoomPartition {
 public:
  using Group = std::vector<const LayoutPerson*>;

  // The people to divide, in any order; the context's waiting people only stand in the way.
  void build(const PlanContext& context, const std::vector<const LayoutPerson*>& people);

  // Runs of people that can be divided no further (those whose cores overlap).
  int units() const { return members_; }

  // The division into exactly `count` runs, each fitting a crop of that aspect alone, the crops
  // as evenly sized as the room allows; runs that began with someone in `previous` (who began a
  // run before) are preferred while nearly as good. With `reshape`, a run too wide for a crop of
  // the aspect at the frame's height (or too tall for its gap) may take a crop of another aspect,
  // shown smaller inside its tile (see `shape`). Empty when there is none.
  std::vector<Group> divide(int count, double aspect, const std::vector<int>& previous,
                            bool reshape = false) const;

  // Whether these people, framed together, fit one crop of that aspect that keeps everyone else
  // wholly out (they must be neighbours in the room).
  bool fits(const Group& group, double aspect) const;
  // Whether they fit a crop of that aspect or of another shown smaller in their tile.
  bool fitsReshaped(const Group& group, double aspect) const;
  // Groups in order round the turn stay in the order they had: the one holding `first` (who was in
  // the first group last frame) is put first, the rest following round the turn. A group whose
  // middle sits at the picture's seam would otherwise hop from first to last as people shift.
  static void keepFirst(std::vector<Group>& groups, int first);

  // The aspect of the crop that frames these neighbours alone: `aspect` where it can, else the
  // nearest one that can (wider when the run is too wide for the frame's height, narrower when
  // the gap beside it is too narrow for its height); `aspect` when nothing can.
  double shape(const Group& group, double aspect) const;
  // The narrowest aspect of a crop at the frame's height that frames these neighbours alone:
  // their whole boxes where the gaps beside them allow, else (`coresOnly`, or where the gaps do
  // not allow more) their cores, their boxes' margins cut; `fallback` when none does.
  double narrowest(const Group& group, bool coresOnly, double fallback) const;

 private:
  struct Cluster {
    double x0, x1, y0, y1;              // the cores, merged
    double boxX0, boxX1, boxY0, boxY1;  // the boxes
    bool blocker;                       // waiting people only
    Group people;
  };
  // Cluster i of the order that starts at `start`, its columns unwrapped past that start.
  const Cluster& at(int start, int i) const;
  double shift(int start, int i) const;
  // The cost of showing the run [first, last] of that order in a tile of that aspect (its crop's
  // height squared, at the tile's scale); false when no crop of the aspect frames it alone. With
  // `reshape`, crops of other aspects count (shown smaller in the tile); `shape` is the crop's.
  bool measure(int start, int first, int last, double aspect, double& cost, bool reshape = false,
               double* shape = nullptr, bool coresOnly = false) const;
  // Where a group lies in the order starting at `start`: false unless it is one run of clusters.
  bool locate(const Group& group, int& start, int& first, int& last) const;

  std::vector<Cluster> clusters_;
  int members_ = 0;
  double width_ = 0;
  double height_ = 0;
  double minHeight_ = 0;
  bool circular_ = false;
};

}  // namespace selvo
