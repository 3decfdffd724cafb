#pragma once

#include <QImage>
#include <cstddef>
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
  // "ROI_Thumbnail_<record>.png"
  static std::string fileName(int64_t record);
  // The folder's name under <caches>/<executable name>, and the records that have a picture.
  static constexpr const char* kFolderName = "thumbnail";
  static constexpr int64_t kRecords = 3;
  // The picture at `path`; a null image when it is missing, not a regular file (a FIFO would
  // block the reader), larger than kMaxBytes or not a picture.
  static QImage load(const std::string& path);
  // A thumbnail is a PNG of the preview, well under a MB; the bound leaves room for big screens.
  static constexpr size_t kMaxBytes = size_t(16) << 20;
};

}  // namespace corvane
