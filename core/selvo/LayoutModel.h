#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SelvoTypes.h"

// Plain records shared by the layout engine's parts. Positions are display coordinates (see
// LAYOUT.md): the content offset and the mirror are applied, x may run past the width on a
// 360-degree camera.
namespace selvo {

// The tuning every layout instance of the process reads.
struct LayoutTuningValues {
  bool showScaleFactor = false;
  bool speakerTransitionAlways = false;
  bool nameTag = true;
  int stableTolerance = 24;
  int stableMaximum = 0;
  int highlightMs = 3000;
  int clearMs = 5000;
  int transitionFrames = 15;
  float pipEnlargeLimit = 2.0f;
  float minSrcHeightScale = 0.25f;
  float panWeight = 0.5f;
};

// Sizes and the source-to-display mapping of the current frame.
struct LayoutGeometry {
  bool is360 = true;
  int videoWidth = 0;
  int videoHeight = 0;
  int outputWidth = 0;
  int outputHeight = 0;
  int subWidth = 0;
  int subHeight = 0;
  bool mirror = false;
  int contentOffset = 0;  // 360-degree cameras only
  int bannerY = 0;        // 180-degree cameras: top of the banner
  int bannerHeight() const { return videoWidth / 6; }
};

// A framing of the source: centre and height in display pixels; the width is height x aspect.
struct CropPose {
  double cx = 0;
  double cy = 0;
  double h = 0;
};

// One person as the planners see it.
struct LayoutPerson {
  int id = -1;
  rect box;  // display coordinates
  bool tracked = false;
  int pinRank = -1;  // position in the pin list, -1 when not pinned
  bool activeSpeaker = false;
  bool highlighted = false;  // spoke within the highlight time
  int64_t joinedAt = 0;
  double centerX() const { return box.x + box.width * 0.5; }
};

enum class TileLayer : int { Scene = 1, Person = 2, Overlay = 3 };

// How a tile's crop treats the people it meets. Open crops are fixed by the user or show the
// whole scene; the others never cut a person: Whole takes everyone it touches in whole (its
// members always), Only shows its members and keeps everyone else out (two groups).
enum class TileFence : int { Open, Whole, Only };

// One planned tile: where it goes in the output and what it should frame.
struct LayoutTile {
  uint32_t key = 0;  // identity of the tile's virtual camera
  TileLayer layer = TileLayer::Person;
  int id = -1;  // the rectangle shown, -1 for scene tiles
  rect dst;     // output pixels
  CropPose target;
  bool direct = false;      // follows its target at once (manual rectangles)
  bool speakerCut = false;  // a change of subject here is a speaker switch
  bool highlight = false;   // edges drawn (the speaker among several tiles)
  bool tracked = false;
  bool speaking = false;
  TileFence fence = TileFence::Open;
  // Where no crop can pass clear of everybody, its edges go where they cut least (a cell among
  // others); else it keeps its aim on its subject.
  bool cutAtSides = false;
  std::vector<int> members;  // the people the crop is for; empty: `id`
  double aspect() const { return dst.height > 0 ? dst.width / dst.height : 1.0; }
};

// Tile keys: persons by id, slots by number, in separate ranges.
inline uint32_t personTileKey(int id) { return 0x10000u + static_cast<uint16_t>(id); }
inline uint32_t slotTileKey(int slot) { return 0x100u + static_cast<uint32_t>(slot); }

}  // namespace selvo
