#include "TestZip.h"

#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace testsupport {

bool writeZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries,
              const char* password) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!z) return false;
  for (const auto& [name, data] : entries) {
    if (!name.empty() && name.back() == '/') {
      if (zip_dir_add(z, name.c_str(), 0) < 0) return zip_discard(z), false;
      continue;
    }
    void* copy = std::malloc(data.size() + 1);
    std::memcpy(copy, data.data(), data.size());
    zip_source_t* src = zip_source_buffer(z, copy, data.size(), 1);
    zip_int64_t index = src ? zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE) : -1;
    if (index < 0) {
      if (src) zip_source_free(src);
      zip_discard(z);
      return false;
    }
    if (password && zip_file_set_encryption(z, zip_uint64_t(index), ZIP_EM_AES_256, password) < 0)
      return zip_discard(z), false;
  }
  return zip_close(z) == 0;
}

std::string zipWithDamagedSecondFile(const std::string& folder) {
  std::string zip = folder + "/whole.zip";
  if (!writeZip(
          zip, {{"fw_file/update.img", "camera image"}, {"fw_file/z.txt", std::string(4000, 'z')}}))
    return {};
  std::ifstream in(zip, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t second = bytes.find("PK\x03\x04", 4);
  if (second == std::string::npos || second + 30 > bytes.size()) return {};
  auto u16 = [&](size_t at) {
    return size_t(uint8_t(bytes[at])) | size_t(uint8_t(bytes[at + 1])) << 8;
  };
  size_t data = second + 30 + u16(second + 26) + u16(second + 28);
  if (data + 2 >= bytes.size()) return {};
  bytes[data + 1] ^= 0x55;
  bytes[data + 2] ^= 0x55;
  return bytes;
}

}  // namespace testsupport
