#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "update/FirmwareFile.h"
#include "update/SystemMassStorageVolumes.h"

namespace {

using qd4718::FirmwareFile;
namespace fs = std::filesystem;

std::vector<char> pattern(size_t size) {
  std::vector<char> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7919 + (i >> 9)) & 0xFF);
  return data;
}

void write(const std::string& path, const std::vector<char>& data) {
  std::ofstream(path, std::ios::binary)
      .write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::vector<char> read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

TEST(FirmwareFile, CopiesInChunksOfAnySize) {
  testsupport::TempDir dir;
  // Sizes around the chunk boundaries, and one of many chunks.
  const size_t chunk = FirmwareFile::kChunkSize;
  for (size_t size : {size_t(1), chunk - 1, chunk, chunk + 1, 5 * chunk + 12345}) {
    for (size_t chunkSize : {size_t(1000), chunk}) {
      if (size > 200000 && chunkSize == 1000) continue;
      auto data = pattern(size);
      write(dir.file("update.swu"), data);
      fs::create_directories(dir.file("volume"));
      ASSERT_TRUE(
          FirmwareFile::copy(dir.file("update.swu"), dir.file("volume/update.swu"), chunkSize))
          << size;
      EXPECT_EQ(read(dir.file("volume/update.swu")), data) << size << " " << chunkSize;
    }
  }
}

TEST(FirmwareFile, ReplacesTheOldImageAndLeavesNoTemporaryFile) {
  testsupport::TempDir dir;
  fs::create_directories(dir.file("volume"));
  write(dir.file("volume/update.swu"), pattern(999999));
  auto data = pattern(70000);
  write(dir.file("new.swu"), data);
  ASSERT_TRUE(FirmwareFile::copy(dir.file("new.swu"), dir.file("volume/update.swu")));
  EXPECT_EQ(read(dir.file("volume/update.swu")), data);
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.file("volume"))) ++entries;
  EXPECT_EQ(entries, 1u);
}

TEST(FirmwareFile, AFailedCopyKeepsWhatWasThere) {
  testsupport::TempDir dir;
  fs::create_directories(dir.file("volume"));
  auto old = pattern(4096);
  write(dir.file("volume/update.swu"), old);
  EXPECT_FALSE(FirmwareFile::copy(dir.file("missing.swu"), dir.file("volume/update.swu")));
  EXPECT_FALSE(FirmwareFile::copy(dir.file("volume"), dir.file("volume/update.swu")));
  EXPECT_FALSE(FirmwareFile::copy(dir.file("volume/update.swu"), dir.file("gone/update.swu")));
  EXPECT_EQ(read(dir.file("volume/update.swu")), old);
  write(dir.file("empty.swu"), {});
  EXPECT_FALSE(FirmwareFile::copy(dir.file("empty.swu"), dir.file("volume/update.swu")));
  EXPECT_EQ(read(dir.file("volume/update.swu")), old);
}

TEST(FirmwareFile, ProblemsAreNamed) {
  testsupport::TempDir dir;
  write(dir.file("good.swu"), pattern(10));
  write(dir.file("empty.swu"), {});
  EXPECT_EQ(FirmwareFile::problem(dir.file("good.swu")), "");
  EXPECT_NE(FirmwareFile::problem(dir.file("empty.swu")).find("empty"), std::string::npos);
  EXPECT_NE(FirmwareFile::problem(dir.file("none.swu")), "");
  EXPECT_NE(FirmwareFile::problem(dir.path()), "");
  EXPECT_NE(FirmwareFile::problem(""), "");
}

TEST(SystemMassStorageVolumes, ListsTheVolumesOfItsMountTable) {
  testsupport::TempDir dir;
  std::ofstream(dir.file("mountinfo"))
      << "22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
      << "310 28 8:33 / /media/ann/AUDIO\\040UPD rw,nosuid shared:170 master:2 - vfat /dev/sdc1 rw\n";
  qd4718::SystemMassStorageVolumes volumes({}, dir.file("mountinfo"));
  EXPECT_EQ(volumes.mountedVolumes(), (std::vector<std::string>{"/media/ann/AUDIO UPD"}));
  EXPECT_FALSE(volumes.eject("/media/elsewhere"));
}

}  // namespace
