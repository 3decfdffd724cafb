#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The one reader of files that come from the user's folders or the machine-wide folder. A
// hostile or broken file must never hang or exhaust the program: the file is opened without
// blocking (a FIFO or a device would wait for a writer), refused unless it is a regular file,
// and read only up to a bound that fits its kind. A refusal says which file and why, so the
// caller can log it and go on with its defaults.
class BoundedFile {
 public:
  // Bounds by kind. Settings and record files are a few kilobytes; a few MB leaves room for
  // hand-edited files while a parse of that size still takes well under a second.
  static constexpr size_t kSettingsBytes = size_t(4) << 20;
  // A language table holds a few hundred short strings.
  static constexpr size_t kLanguageTableBytes = size_t(4) << 20;
  // The face store lists persons and faces (about 200 bytes each): tens of thousands of faces.
  static constexpr size_t kFaceStoreBytes = size_t(16) << 20;
  // A version text or a volume's marker file is one short line.
  static constexpr size_t kMarkerBytes = 4096;

  // The whole file into `out`; false, with "<path>: <reason>" in `error`, when it cannot be
  // opened, is not a regular file, or holds more than `maxBytes`.
  static bool read(const std::string& path, size_t maxBytes, std::string& out,
                   std::string* error = nullptr);
  // Whether `path` can be opened for reading without blocking and is a regular file (a video
  // file before a decoder opens it by name); false, with the reason, otherwise.
  static bool isRegularFile(const std::string& path, std::string* error = nullptr);
};

}  // namespace platform
