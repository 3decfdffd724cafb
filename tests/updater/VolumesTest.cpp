#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Process.h"
#include "TempDir.h"
#include "Volumes.h"

namespace fs = std::filesystem;

TEST(UpdaterVolumes, TheMountTableGivesBlockDeviceVolumesInOrder) {
  const std::string text =
      "22 1 0:21 / /proc rw,nosuid shared:12 - proc proc rw\n"
      "29 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "90 29 8:17 / /media/u/KESTOVA\\040DISK rw,nosuid shared:50 master:2 - vfat /dev/sdb1 rw\n"
      "91 29 0:50 / /run/user/1000 rw - tmpfs tmpfs rw\n"
      "broken line\n"
      "92 29 8:33 / /mnt/two rw - exfat /dev/sdc1 rw\n";
  auto volumes = platform::Volumes::parseMountInfo(text);
  ASSERT_EQ(volumes.size(), 3u);
  EXPECT_EQ(volumes[0].path, "/");
  EXPECT_EQ(volumes[1].path, "/media/u/KESTOVA DISK");
  EXPECT_EQ(volumes[1].device, "/dev/sdb1");
  EXPECT_EQ(volumes[1].fileSystem, "vfat");
  EXPECT_EQ(volumes[2].path, "/mnt/two");
}

TEST(UpdaterVolumes, LabelsComeFromTheLabelLinks) {
  testsupport::TempDir dir;
  fs::create_directories(dir.file("dev/disk/by-label"));
  std::ofstream(dir.file("dev/sdb1")) << "";
  fs::create_symlink("../../sdb1", dir.file("dev/disk/by-label/CAM\\x20UPDATE"));
  platform::Volumes::Environment env;
  std::string device = dir.file("dev/sdb1");
  env.mountInfo = [device] { return "90 29 8:17 / /media/cam rw - vfat " + device + " rw\n"; };
  env.byLabelFolder = dir.file("dev/disk/by-label");
  // Not under /dev: the table's entry is skipped unless it names a device node path.
  platform::Volumes volumes(env);
  EXPECT_TRUE(volumes.mountedVolumes().empty());

  env.mountInfo = [] { return std::string("90 29 8:17 / /media/cam rw - vfat /dev/null rw\n"); };
  fs::remove(dir.file("dev/disk/by-label/CAM\\x20UPDATE"));
  fs::create_symlink("/dev/null", dir.file("dev/disk/by-label/CAM\\x20UPDATE"));
  platform::Volumes withLabel(env);
  auto list = withLabel.mountedVolumes();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].label, "CAM UPDATE");
}

TEST(UpdaterVolumes, EjectUnmountsThroughUdisksWhereItIsElseUmount) {
  std::vector<std::vector<std::string>> ran;
  platform::Volumes::Environment env;
  env.mountInfo = [] { return std::string("90 29 8:17 / /media/cam rw - vfat /dev/sdb1 rw\n"); };
  env.run = [&](const std::vector<std::string>& argv) {
    ran.push_back(argv);
    return 0;
  };
  std::string udisks = "/usr/bin/udisksctl";
  env.findProgram = [&](const std::string&) { return udisks; };
  platform::Volumes volumes(env);
  EXPECT_TRUE(volumes.unmountAndEject("/media/cam"));
  udisks.clear();
  EXPECT_TRUE(volumes.unmountAndEject("/media/cam"));
  EXPECT_FALSE(volumes.unmountAndEject("/media/other"));
  ASSERT_EQ(ran.size(), 2u);
  EXPECT_EQ(ran[0], (std::vector<std::string>{"/usr/bin/udisksctl", "unmount", "--block-device",
                                              "/dev/sdb1", "--no-user-interaction"}));
  EXPECT_EQ(ran[1], (std::vector<std::string>{"umount", "/media/cam"}));

  env.run = [](const std::vector<std::string>&) { return 1; };
  platform::Volumes failing(env);
  EXPECT_FALSE(failing.unmountAndEject("/media/cam"));
}

TEST(UpdaterProcess, ProgramsRunWithAnArgumentVector) {
  EXPECT_EQ(platform::Process::run({"sh", "-c", "exit 3"}), 3);
  EXPECT_EQ(platform::Process::run({"/no/such/program"}), -1);
  EXPECT_EQ(platform::Process::run({}), -1);
  EXPECT_FALSE(platform::Process::findProgram("sh").empty());
  EXPECT_TRUE(platform::Process::findProgram("no-such-program-here").empty());
}
