#include "shell/InterruptedSaves.h"

#include "Paths.h"
#include "util/AtomicFile.h"
#include "util/RecordThumbnail.h"

namespace corvane {

std::vector<std::string> InterruptedSaves::savedFiles(const std::string& root) {
  using platform::Paths;
  std::vector<std::string> files = {Paths::join(root, "json/Custom config.json"),
                                    Paths::join(root, "json/Presets.json"),
                                    Paths::join(root, "face/persons.json")};
  const std::string thumbnails = Paths::join(root, RecordThumbnail::kFolderName);
  for (int64_t record = 1; record <= RecordThumbnail::kRecords; ++record)
    files.push_back(Paths::join(thumbnails, RecordThumbnail::fileName(record)));
  return files;
}

std::vector<std::string> InterruptedSaves::sweep(const std::string& root,
                                                 std::chrono::system_clock::time_point now) {
  std::vector<std::string> removed;
  for (const std::string& file : savedFiles(root))
    for (std::string& temporary : AtomicFile::removeStaleTemporaries(file, now))
      removed.push_back(std::move(temporary));
  return removed;
}

}  // namespace corvane
