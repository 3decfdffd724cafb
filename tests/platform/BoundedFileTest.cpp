// The reader of user and machine-wide files: hostile files are refused at once, with the file
// and the reason, never waited on or read without end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "BoundedFile.h"
#include "TempDir.h"
#include "TestFiles.h"

namespace fs = std::filesystem;
using platform::BoundedFile;

TEST(BoundedFile, RegularFilesWithinTheBoundAreReadAndTheRestRefusedWithTheReason) {
  testsupport::TempDir dir;
  const std::string file = dir.file("settings.json");
  for (const auto& hostile : testsupport::hostileFiles()) {
    SCOPED_TRACE(hostile.name);
    testsupport::makeHostileFile(hostile, file, 64);
    std::string out = "untouched", error;
    EXPECT_FALSE(BoundedFile::read(file, 64, out, &error));
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(error.rfind(file + ": " + hostile.reason, 0), 0u) << error;
    EXPECT_EQ(BoundedFile::isRegularFile(file),
              hostile.kind == testsupport::HostileFile::Kind::Oversized);
  }
  struct Case {
    const char* name;
    std::string bytes;
    bool ok;
  } sizes[] = {{"empty", "", true},
               {"exactly the bound", std::string(64, ' '), true},
               {"one byte over", std::string(65, ' '), false}};
  for (const auto& c : sizes) {
    SCOPED_TRACE(c.name);
    fs::remove_all(file);
    testsupport::writeFile(file, c.bytes);
    std::string out, error;
    EXPECT_EQ(BoundedFile::read(file, 64, out, &error), c.ok);
    EXPECT_EQ(c.ok ? out : error, c.ok ? c.bytes : file + ": is larger than 64 bytes");
  }
  fs::remove_all(file);
  fs::create_symlink(dir.file("gone"), file);  // dangling
  std::string out, error;
  EXPECT_FALSE(BoundedFile::read(file, 64, out, &error));
  EXPECT_EQ(error, file + ": No such file or directory");
  EXPECT_FALSE(BoundedFile::read("", 64, out, &error));
}

TEST(BoundedFile, ALinkToARegularFileIsFollowed) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir.file("real.json"), "[1]");
  fs::create_symlink(dir.file("real.json"), dir.file("link.json"));
  std::string out;
  EXPECT_TRUE(BoundedFile::read(dir.file("link.json"), 16, out));
  EXPECT_EQ(out, "[1]");
}
