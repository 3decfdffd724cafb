#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

// A whole file's bytes; empty when it cannot be read.
std::string readFile(const std::string& path);
// Writes the bytes, creating the folders on the way.
void writeFile(const std::string& path, const std::string& bytes);
// Sets the file's modification (and access) time, to the second; a link itself, not its target.
void setModified(const std::string& path, std::chrono::system_clock::time_point time);

// What a broken or hostile hand can put where the program reads a file, and the reason the
// program's reader gives for refusing it.
struct HostileFile {
  enum class Kind { Fifo, DevZeroLink, Folder, Oversized } kind;
  const char* name;
  const char* reason;
};
const std::vector<HostileFile>& hostileFiles();
// Makes one at `path` (removing what was there); an oversized one is valid JSON one byte more
// than `bound`, so only its size is wrong.
void makeHostileFile(const HostileFile& file, const std::string& path, size_t bound);

}  // namespace testsupport
