#pragma once

#include <cstddef>
#include <string>

namespace qd4718 {

// The firmware image on its way to the device's volume. It is read and written in chunks, so
// an image of any size needs little memory, and lands under its final name only when complete.
class FirmwareFile {
 public:
  static constexpr size_t kChunkSize = 64 * 1024;

  // Empty when the file is a readable, non-empty regular file; otherwise why it is not.
  static std::string problem(const std::string& path);

  // Copies `source` to `destination` through a temporary file in the destination's folder,
  // flushed to the disk, then renamed over whatever was there. On failure the destination is
  // left as it was, the reason logged and, in `why`, said in a user's words.
  static bool copy(const std::string& source, const std::string& destination,
                   size_t chunkSize = kChunkSize, std::string* why = nullptr);
  // What an error number of a write onto a volume means to the user: not mounted, read-only,
  // full, not writable for this user, or the system's text.
  static std::string writeProblem(int error);
};

}  // namespace qd4718
