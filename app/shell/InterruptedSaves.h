#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace corvane {

// The temporary files that saves interrupted by a crash or a kill left beside the files the
// program saves atomically under its caches folder: the user's JSON copies, the face store and
// the layouts' thumbnails (a thumbnail's is the size of a picture). Only the atomic save's own
// hidden names go, and only those older than a save takes; a person's copies beside the files
// stay.
class InterruptedSaves {
 public:
  // The files saved atomically under `root` (<caches>/<executable name>).
  static std::vector<std::string> savedFiles(const std::string& root);
  // Removes the stale temporary files of every one of them; the paths removed.
  static std::vector<std::string> sweep(const std::string& root,
                                        std::chrono::system_clock::time_point now);
};

}  // namespace corvane
