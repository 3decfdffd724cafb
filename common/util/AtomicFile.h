#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "UtilNamespace.h"

namespace CORVANE_UTIL_NAMESPACE {

// Writes a whole file so that readers see either the old contents or the new, never a torn
// file: the bytes go to a temporary file in the same folder, are flushed to disk, and the
// temporary file is renamed over the target.
//
// The temporary file is hidden and carries a mark of its own, ".<name>.save-XXXXXX", so that
// nothing a person names beside the file ("<name>.backup", "<name>.old001") is ever taken for
// one.
class AtomicFile {
 public:
  // The age below which a temporary file may be another process's save still in progress (a
  // save takes milliseconds).
  static constexpr std::chrono::seconds kStaleAfter{60};

  // False, with the reason in `error` ("cannot write <path>: No space left on device"), when
  // any step failed; the old file is then untouched.
  // `mode` is the new file's permission bits (a person's private store passes 0600).
  static bool write(const std::string& path, const std::string& bytes, std::string* error,
                    mode_t mode = 0644);
  // The temporary file's name for `path`, with mkstemp's "XXXXXX" in place.
  static std::string temporaryTemplate(const std::string& path);
  // Whether `name` (a file name, no folder) is one of the temporary files of `path`'s saves.
  static bool isTemporaryOf(const std::string& path, const std::string& name);
  // Removes the temporary files that a save of `path` interrupted by a crash or a kill left
  // beside it, only those older than kStaleAfter at `now`; the paths of those removed. Files
  // named in any other way, the old form "<name>.XXXXXX" of earlier builds included (it cannot
  // be told from a person's "<name>.backup"), are left alone.
  static std::vector<std::string> removeStaleTemporaries(const std::string& path,
                                                         std::chrono::system_clock::time_point now);
};

}  // namespace CORVANE_UTIL_NAMESPACE
