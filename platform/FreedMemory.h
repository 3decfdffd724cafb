#pragma once

namespace platform {

// The C library keeps memory a program freed for its next allocations, in one pool per thread
// that allocated; after a large working set goes (a video source, an analysis), most of it would
// stay with the process. This hands the free pages back to the system.
class FreedMemory {
 public:
  static void giveBack();
};

}  // namespace platform
