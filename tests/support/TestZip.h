#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Writes a zip archive of the given entries (a name ending in "/" is a folder), each encrypted
// with AES-256 when a password is given, creating the archive's folder. False when libzip
// refused an entry or the archive.
bool writeZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries,
              const char* password = nullptr);

// A zip archive of two files whose second file's data is damaged: the first unpacks, the
// second fails its check. Empty when it could not be made.
std::string zipWithDamagedSecondFile(const std::string& folder);

}  // namespace testsupport
