#pragma once

#include <string>

namespace testsupport {

// A whole file's bytes; empty when it cannot be read.
std::string readFile(const std::string& path);
// Writes the bytes, creating the folders on the way.
void writeFile(const std::string& path, const std::string& bytes);

}  // namespace testsupport
