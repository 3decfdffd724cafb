#pragma once

#include <utility>
#include <vector>

#include "PlanContext.h"
#include "RoomPartition.h"

namespace selvo {

// Grid (one cell per person, up to the grid maximum) and compose (a panorama band over a row of
// person tiles). Neighbours whose shots overlap share a tile when auto-merge is on; with
// auto-merge on, when people outnumber the tiles (or sit too close for a tile each) neighbours
// share tiles so that everyone is whole in exactly one tile.
class GridPlanner {
 public:
  void reset() {
    merged_.clear();
    starts_.clear();
    held_.clear();
    shareStarts_.clear();
    shares_.clear();
    heldTop_ = 0;
  }
  void planGrid(const PlanContext& context, std::vector<LayoutTile>& tiles);
  void planCompose(const PlanContext& context, std::vector<LayoutTile>& tiles);

  // Columns and rows of a grid of n cells: 1, 2x1, 2x2 (three as two above one), 2x2, 3x2, 3x3.
  // Three side by side would be tall, narrow cells into which no group of a panorama fits.
  static std::pair<int, int> gridShape(int n);
  // Cell i of n in the area given (rows with fewer cells are centred).
  static rect cell(int i, int n, const rect& area);

 private:
  using Group = std::vector<const LayoutPerson*>;
  std::vector<Group> groupPeople(const PlanContext& context,
                                 std::vector<const LayoutPerson*> chosen,
                                 double (*aspectFor)(int, const rect&), const rect& area);
  // Everyone in at most `maxTiles` tiles, each person whole in exactly one and cut by none; empty
  // when the room cannot be framed so (the caller shows the panorama). Without auto-merge, a tile
  // each for the people of highest priority.
  std::vector<Group> arrange(const PlanContext& context, int maxTiles,
                             double (*aspectFor)(int, const rect&), const rect& area);
  // The groups' tiles: grid cells, or side by side in a row taking the parts of its width in
  // `shares` (left to right, summing to 1).
  void emit(const PlanContext& context, const std::vector<Group>& groups, const rect& area,
            bool row, std::vector<LayoutTile>& tiles, const std::vector<double>& shares = {}) const;
  // The part of a row's width each group's tile takes: even, unless a group too wide for an even
  // slot at the row's height can take the width it needs from the others, each still framed
  // alone in what it keeps. When no sharing frames everyone at the row's height, the row starts
  // lower (`top`, else the area's top) so that one does. Held while the same runs each still fit
  // their part, so people shifting in their seats do not move the tiles' edges.
  std::vector<double> rowShares(const PlanContext& context, const std::vector<Group>& groups,
                                const rect& area, double& top);
  std::vector<double> evenOrNeeded(const std::vector<Group>& groups, double total,
                                   const std::vector<double>& even) const;

  std::vector<std::pair<int, int>> merged_;  // neighbours merged last frame
  std::vector<int> starts_;                  // who began each tile's run last frame
  std::vector<int> shareStarts_;             // who began each run of the row's shares
  std::vector<double> shares_;               // the row's shares last frame
  double heldTop_ = 0;                       // where the row started last frame
  std::vector<std::vector<int>> held_;       // last frame's tiles, while the same people are there
  RoomPartition partition_;
};

}  // namespace selvo
