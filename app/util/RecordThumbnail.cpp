#include "util/RecordThumbnail.h"

#include "BoundedFile.h"
#include "Bundle.h"
#include "Paths.h"

namespace corvane {

std::optional<std::string> RecordThumbnail::folder() {
  auto caches = platform::Paths::caches();
  auto executable = platform::Bundle::main().executableName();
  if (!caches || !executable) return std::nullopt;
  return platform::Paths::join(platform::Paths::join(*caches, *executable), kFolderName);
}

std::string RecordThumbnail::file(const std::string& folder, int64_t record) {
  platform::Paths::makeFolders(folder);
  return platform::Paths::join(folder, fileName(record));
}

std::string RecordThumbnail::fileName(int64_t record) {
  return "ROI_Thumbnail_" + std::to_string(record) + ".png";
}

QImage RecordThumbnail::load(const std::string& path) {
  std::string bytes;
  if (!platform::BoundedFile::read(path, kMaxBytes, bytes)) return QImage();
  return QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), int(bytes.size()));
}

}  // namespace corvane
