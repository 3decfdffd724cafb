#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TempDir.h"
#include "TestFiles.h"
#include "shell/InterruptedSaves.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testsupport::setModified;
using testsupport::writeFile;

// A save killed half-way leaves its hidden temporary file in the folder of the file it saves;
// the start removes those of every file the program saves atomically, the layouts' pictures
// among them, and nothing else.
TEST(InterruptedSaves, TheStartSweepsTheTemporariesOfEveryAtomicSave) {
  testsupport::TempDir dir;
  const std::string root = dir.path() + "/corvane-studio";
  for (const char* folder : {"json", "face", "thumbnail"})
    fs::create_directories(root + "/" + folder);
  const auto now = std::chrono::system_clock::now();
  const auto earlier = now - std::chrono::hours(1);
  const std::vector<std::string> stale = {
      "thumbnail/.ROI_Thumbnail_1.png.save-a1B2c3", "thumbnail/.ROI_Thumbnail_3.png.save-ZZZZZZ",
      "json/.Presets.json.save-000000", "json/.Custom config.json.save-q1W2e3",
      "face/.persons.json.save-x9y8z7"};
  const std::vector<std::string> kept = {
      // The pictures themselves and a person's copies beside them.
      "thumbnail/ROI_Thumbnail_1.png", "thumbnail/ROI_Thumbnail_1.png.backup",
      "thumbnail/ROI_Thumbnail_2.png.a1B2c3",
      // No layout of that number, and names near the mark.
      "thumbnail/.ROI_Thumbnail_4.png.save-a1B2c3", "thumbnail/.ROI_Thumbnail_1.png.save-abc",
      "thumbnail/.ROI_Thumbnail_1.png.save-a1B2c3.png"};
  for (const auto& name : stale) writeFile(root + "/" + name, std::string(4096, 'p'));
  for (const auto& name : kept) writeFile(root + "/" + name, "keep");
  // A save of this run, younger than a save can take.
  writeFile(root + "/thumbnail/.ROI_Thumbnail_2.png.save-N0w000", "p");
  for (const auto& name : stale) setModified(root + "/" + name, earlier);
  for (const auto& name : kept) setModified(root + "/" + name, earlier);

  std::vector<std::string> removed = InterruptedSaves::sweep(root, now);
  std::sort(removed.begin(), removed.end());
  std::vector<std::string> expected;
  for (const auto& name : stale) expected.push_back(root + "/" + name);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(removed, expected);
  for (const auto& name : kept) EXPECT_TRUE(fs::exists(root + "/" + name)) << name;
  EXPECT_TRUE(fs::exists(root + "/thumbnail/.ROI_Thumbnail_2.png.save-N0w000"));
  // A first start has none of the folders: nothing to do, nothing made.
  EXPECT_TRUE(InterruptedSaves::sweep(dir.path() + "/none", now).empty());
  EXPECT_FALSE(fs::exists(dir.path() + "/none"));
}

}  // namespace
}  // namespace corvane
