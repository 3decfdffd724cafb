#pragma once

namespace platform {

// Tells ThreadSanitizer about an ordering made where it cannot see it: inside an
// uninstrumented library (Qt's event queue, the thread pool under OpenCV's parallel_for_).
// What a thread did before release(a) happens before what another does after a later
// acquire(a). Both do nothing in other builds.
class SyncAnnotation {
 public:
  static void release(const void* address);
  static void acquire(const void* address);
};

}  // namespace platform
