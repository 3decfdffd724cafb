#pragma once

#include <optional>
#include <string>

namespace updater {

// Unpacks a zip archive of an update package into a folder, overwriting files already there.
// Every entry name is checked before anything is written: an absolute name, or one that climbs
// out of the folder with "..", or names the folder itself, refuses the whole archive.
class PackageArchive {
 public:
  // False, with the reason in `error`, when the archive cannot be opened, holds an unsafe name,
  // is damaged or needs another password, or a file cannot be written.
  static bool extract(const std::string& zipPath, const std::string& destination,
                      const std::optional<std::string>& password, std::string* error);
  // A name that stays strictly inside the destination: relative, no "..", not empty, not "."
  // (nor anything else that names the destination itself), a file's last part a real name.
  static bool isSafeEntryName(const std::string& name);
};

}  // namespace updater
