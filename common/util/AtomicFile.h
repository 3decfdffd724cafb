#pragma once

#include <string>
#include <vector>

namespace corvane {

// Writes a whole file so that readers see either the old contents or the new, never a torn
// file: the bytes go to a temporary file in the same folder, are flushed to disk, and the
// temporary file is renamed over the target.
class AtomicFile {
 public:
  // False, with the reason in `error`, when any step failed; the old file is then untouched.
  static bool write(const std::string& path, const std::string& bytes, std::string* error);
  // Removes the temporary files "<path>.XXXXXX" that a write (ours, or QSettings' own save)
  // interrupted by a crash or a kill left beside `path`; the names of those removed.
  static std::vector<std::string> removeStaleTemporaries(const std::string& path);
};

}  // namespace corvane
