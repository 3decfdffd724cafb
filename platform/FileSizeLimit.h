#pragma once

namespace platform {

// The limit on the size of the files a process writes (ulimit -f): a write past it raises
// SIGXFSZ, whose default action ends the program on the spot without a word anywhere.
class FileSizeLimit {
 public:
  // Ignores that signal, so that such a write fails with EFBIG ("File too large") and is
  // handled as any other failed write is. Each program calls it first thing at its start.
  static void failWritesPastIt();
};

}  // namespace platform
