#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace updater {

// Unpacks a zip archive of an update package into a folder, overwriting files already there.
// Every entry name is checked before anything is written: an absolute name, or one that climbs
// out of the folder with "..", or names the folder itself, refuses the whole archive. So does
// an archive that would unpack past the bounds: a few hundred KB can unpack to gigabytes.
class PackageArchive {
 public:
  struct Limits {
    // A package is tens of MB and holds a handful of files; its inner archive goes onto the
    // camera's volume. Room for both, far from what would fill a disk.
    uint64_t totalBytes = uint64_t(512) << 20;
    uint64_t entries = 4096;
  };

  // False, with the reason in `error`, when the archive cannot be opened, holds an unsafe name,
  // would unpack past `limits` (by what it declares or by what it really gives), is damaged or
  // needs another password, or a file cannot be written. A refusal after the first file was
  // written removes every file and folder this unpacking made.
  static bool extract(const std::string& zipPath, const std::string& destination,
                      const std::optional<std::string>& password, std::string* error,
                      const Limits& limits);
  // With the package's own limits.
  static bool extract(const std::string& zipPath, const std::string& destination,
                      const std::optional<std::string>& password, std::string* error);
  // A name that stays strictly inside the destination: relative, no "..", not empty, not "."
  // (nor anything else that names the destination itself), a file's last part a real name.
  static bool isSafeEntryName(const std::string& name);
};

}  // namespace updater
