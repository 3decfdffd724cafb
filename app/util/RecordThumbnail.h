#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

// Where the pictures of the saved ROI layouts live: "<caches>/<executable name>/thumbnail",
// one "ROI_Thumbnail_<n>.png" per layout.
class RecordThumbnail {
 public:
  // None without a caches folder or an executable name.
  static std::optional<std::string> folder();
  // The file of record `record` in `folder`, after making the folder (a failure shows when the
  // file is read or written).
  static std::string file(const std::string& folder, int64_t record);
};

}  // namespace corvane
