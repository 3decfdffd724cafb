#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "SmallTmpfs.h"
#include "TempDir.h"
#include "UnmountedDisks.h"
#include "update/FirmwareFile.h"
#include "update/HIDManager.h"
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

TEST(SystemMassStorageVolumes, ListsTheVolumesOfItsMountTableOnTheDevicesDisksAlone) {
  using testsupport::UnmountedDisks;
  UnmountedDisks disks;
  std::string audio = disks.addUsb("sdc1", "1-2", 0x2e8b, 0x5003, "AUDIO UPD");
  std::string stick = disks.addUsb("sde1", "2-1", 0x0781, 0x5567, "STICK");
  platform::Volumes::Environment env = disks.environment();
  env.mountInfo = [audio, stick] {
    return "22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
           "29 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
           "310 28 8:33 / /media/ann/AUDIO\\040UPD rw,nosuid shared:170 master:2 - vfat " +
           audio + " rw\n" + "311 28 8:65 / /media/ann/STICK rw - vfat " + stick + " rw\n";
  };
  qd4718::SystemMassStorageVolumes volumes(qd4718::HIDManager::updateDisks(0x2e8b, 0x5003), env);
  EXPECT_EQ(volumes.mountedVolumes(), (std::vector<std::string>{"/media/ann/AUDIO UPD"}));
  EXPECT_FALSE(volumes.eject("/media/elsewhere"));
}

// A person's stick holding a copy of the device's marker, mounted, while the device's own disk
// is attached and nobody mounted it: the stick is never taken, whatever it holds.
TEST(SystemMassStorageVolumes, AMarkerOnAVolumeOfAnotherDiskIsPassedOver) {
  using testsupport::UnmountedDisks;
  UnmountedDisks disks;
  const UnmountedDisks::Files marker = {{"mtk_disk", "ST4718A9\n"}};
  std::string audio = disks.addUsb("sdc1", "1-2", 0x2e8b, 0x5fff, "AUDIO", marker);
  std::string stick = disks.addUsb("sde1", "2-1", 0x0781, 0x5567, "STICK", marker);
  std::string other = disks.addUsb("sdd1", "1-3", 0x2e8b, 0x1234, "OTHER", marker);
  for (const std::string& device : {stick, other}) {
    std::string label = device == stick ? "STICK" : "OTHER";
    fs::create_directories(disks.mountPoint(label));
    std::ofstream(disks.mountPoint(label) + "/mtk_disk") << "ST4718A9\n";
    disks.mounts[device] = disks.mountPoint(label);
  }
  qd4718::SystemMassStorageVolumes volumes(qd4718::HIDManager::updateDisks(0x2e8b, 0x5003),
                                           disks.environment());
  auto hasMarker = [](const std::string& root) { return fs::exists(root + "/mtk_disk"); };
  EXPECT_TRUE(volumes.mountedVolumes().empty());
  std::string missing;
  EXPECT_EQ(volumes.mountMatching(hasMarker, &missing),
            (std::vector<std::string>{disks.mountPoint("AUDIO")}));
  EXPECT_EQ(volumes.mountedVolumes(), (std::vector<std::string>{disks.mountPoint("AUDIO")}));
  EXPECT_EQ(disks.ran, (std::vector<UnmountedDisks::Argv>{UnmountedDisks::udisksReadOnly(audio)}));
  // Only the device's volume is ever ejected; the stick stays as it was.
  disks.ran.clear();
  EXPECT_TRUE(volumes.eject(disks.mountPoint("AUDIO")));
  EXPECT_EQ(disks.mounts.count(stick), 1u);

  // With the device's disk not attached at all, nothing is found.
  UnmountedDisks alone;
  std::string lone = alone.addUsb("sde1", "2-1", 0x0781, 0x5567, "STICK", marker);
  fs::create_directories(alone.mountPoint("STICK"));
  std::ofstream(alone.mountPoint("STICK") + "/mtk_disk") << "ST4718A9\n";
  alone.mounts[lone] = alone.mountPoint("STICK");
  qd4718::SystemMassStorageVolumes onlyTheStick(qd4718::HIDManager::updateDisks(0x2e8b, 0x5003),
                                                alone.environment());
  EXPECT_TRUE(onlyTheStick.mountedVolumes().empty());
  EXPECT_TRUE(onlyTheStick.mountMatching(hasMarker, &missing).empty());
  EXPECT_TRUE(alone.ran.empty());
}

TEST(FirmwareFile, AFailedWriteIsSaidInAUsersWords) {
  struct Row {
    int error;
    const char* said;
  };
  const Row rows[] = {
      {ENOENT, "the volume is not mounted"},
      {ENODEV, "the volume is not mounted"},
      {ENOTDIR, "the volume is not mounted"},
      {EROFS, "the volume is read-only"},
      {ENOSPC, "the volume is full"},
      {EDQUOT, "the volume is full"},
      {EACCES, "this user may not write on the volume"},
      {EPERM, "this user may not write on the volume"},
      {EIO, "the volume cannot be written (Input/output error)"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(FirmwareFile::writeProblem(row.error), row.said) << row.error;
}

TEST(FirmwareFile, ACopyThatFailsSaysWhy) {
  testsupport::TempDir dir;
  write(dir.file("update.swu"), pattern(300000));
  std::string why;
  // The volume's folder is gone: it was unmounted.
  EXPECT_FALSE(FirmwareFile::copy(dir.file("update.swu"), dir.file("gone/update.swu"),
                                  FirmwareFile::kChunkSize, &why));
  EXPECT_EQ(why, "the volume is not mounted");
  EXPECT_FALSE(FirmwareFile::copy(dir.file("missing.swu"), dir.file("update2.swu"),
                                  FirmwareFile::kChunkSize, &why));
  EXPECT_EQ(why.rfind("the firmware file cannot be read", 0), 0u) << why;

  // A volume too small for the image, and one mounted read-only.
  testsupport::SmallTmpfs small(dir.file("small"), "100k");
  if (!small.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here: " << small.why();
  EXPECT_FALSE(FirmwareFile::copy(dir.file("update.swu"), dir.file("small/update.swu"),
                                  FirmwareFile::kChunkSize, &why));
  EXPECT_EQ(why, "the volume is full");
  EXPECT_TRUE(small.isEmpty());
  ASSERT_TRUE(small.setReadOnly(true)) << std::strerror(errno);
  EXPECT_FALSE(FirmwareFile::copy(dir.file("update.swu"), dir.file("small/update.swu"),
                                  FirmwareFile::kChunkSize, &why));
  EXPECT_EQ(why, "the volume is read-only");
}

// The audio device's disk, another product of its vendor carrying the marker too, and a person's
// stick, on a machine that mounts nothing by itself.
TEST(SystemMassStorageVolumes, OnlyTheDevicesOwnDiskIsMountedReadOnlyAndForTheCopyReadWrite) {
  using testsupport::UnmountedDisks;
  UnmountedDisks disks;
  const UnmountedDisks::Files marker = {{"mtk_disk", "ST4718A9\n"}};
  disks.addUsb("sdc1", "1-2", 0x2e8b, 0x5003, "AUDIO", marker);
  disks.addUsb("sdd1", "1-3", 0x2e8b, 0x1234, "OTHER", marker);
  disks.addUsb("sde1", "2-1", 0x0781, 0x5567, "STICK", marker);
  qd4718::SystemMassStorageVolumes volumes(qd4718::HIDManager::updateDisks(0x2e8b, 0x5003),
                                           disks.environment());
  auto hasMarker = [](const std::string& root) { return fs::exists(root + "/mtk_disk"); };
  std::string missing, why;
  using Argv = UnmountedDisks::Argv;

  // The look-up: the device's disk alone, read-only.
  EXPECT_EQ(volumes.mountMatching(hasMarker, &missing),
            (std::vector<std::string>{disks.mountPoint("AUDIO")}));
  EXPECT_EQ(disks.ran, (std::vector<Argv>{UnmountedDisks::udisksReadOnly("/dev/sdc1")}));
  // The copy: mounted again, read-write.
  disks.ran.clear();
  EXPECT_EQ(volumes.writable(disks.mountPoint("AUDIO"), &why), disks.mountPoint("AUDIO"));
  EXPECT_EQ(disks.ran, (std::vector<Argv>{UnmountedDisks::udisks("unmount", "/dev/sdc1"),
                                          UnmountedDisks::udisks("mount", "/dev/sdc1")}));
  // The eject takes it away; nothing else was ever mounted.
  disks.ran.clear();
  EXPECT_TRUE(volumes.eject(disks.mountPoint("AUDIO")));
  EXPECT_EQ(disks.ran, (std::vector<Argv>{UnmountedDisks::udisks("unmount", "/dev/sdc1")}));
  EXPECT_TRUE(disks.mounts.empty());
}

TEST(SystemMassStorageVolumes, TheDevicesDisksAreThoseOfItsIdsAndOfItsUpdateMode) {
  const platform::VolumeCandidates::Rule rule = qd4718::HIDManager::updateDisks(0x2e8b, 0x5003);
  const std::vector<platform::BlockDevice> attached = {
      {"/dev/sdb1", "", 0x2e8b, 0x5003},  // the device
      {"/dev/sdc1", "", 0x2e8b, 0x5fff},  // the device in its update mode
      {"/dev/sdd1", "", 0x2e8b, 0x1234},  // another product of the vendor
      {"/dev/sde1", "", 0x1234, 0x5003},  // the device's product id under another vendor
      {"/dev/sdf1", "", 0x2245, 0x1221},  // the camera
  };
  EXPECT_EQ(platform::VolumeCandidates::choose(attached, rule),
            (std::vector<std::string>{"/dev/sdb1", "/dev/sdc1"}));
  // Ids out of range name no device of theirs; the update mode's stays.
  EXPECT_EQ(qd4718::HIDManager::updateDisks(-1, 0x5003).usbIds.size(), 1u);
}

}  // namespace
