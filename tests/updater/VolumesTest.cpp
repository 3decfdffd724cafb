#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "FakeSysfs.h"
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

namespace {

// A machine without automount: block devices named in the id folder, their sysfs entries (on a
// USB bus or not), a mount table in memory and a udisksctl that mounts into folders of a test
// directory, writing each volume's files as it goes.
class UnmountedVolumes : public ::testing::Test {
 protected:
  void SetUp() override {
    // The camera's disk, a disk of another of the camera's vendor's products without the
    // marker, a person's own stick and an internal disk.
    addUsb("sdc1", "1-2", 0x2245, 0x1221, "CAMERA");
    addUsb("sdd1", "2-1", 0x0781, 0x5567, "STICK");
    addUsb("sde1", "3-1", 0x2245, 0x4000, "CAMERA2");
    labels[sysfs.addInternalPartition("sda2", "Linux")] = "Linux";
    files["CAMERA"] = {{"ast_fw_update_disk", "1a2b3c4d"}};
    files["STICK"] = {{"photo.jpg", "x"}};
    files["CAMERA2"] = {{"notes.txt", "x"}};
    env.mountInfo = [this] {
      std::string text = "29 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
      for (const auto& [device, path] : mounts)
        text += "90 29 8:33 / " + path + " rw - vfat " + device + " rw\n";
      return text;
    };
    env.byLabelFolder = sysfs.byLabelFolder();
    env.byUuidFolder = sysfs.byUuidFolder();
    env.sysBlockFolder = sysfs.classBlockFolder();
    env.findProgram = [this](const std::string& name) {
      return name == "udisksctl" && udisksInstalled ? std::string("/usr/bin/udisksctl")
                                                    : std::string();
    };
    env.run = [this](const std::vector<std::string>& argv) {
      ran.push_back(argv);
      if (argv.size() < 4) return 1;
      const std::string& device = argv[3];
      if (argv[1] == "mount") {
        if (refuseMount.count(device)) return 1;
        std::string name = labels[device];
        std::string path = dir.file("media/" + name);
        fs::create_directories(path);
        for (const auto& [file, text] : files[name]) std::ofstream(path + "/" + file) << text;
        mounts[device] = path;
        return 0;
      }
      if (argv[1] == "unmount") return mounts.erase(device) ? 0 : 1;
      return 1;
    };
  }

  void addUsb(const std::string& name, const std::string& port, int vendor, int product,
              const std::string& label) {
    labels[sysfs.addUsbPartition(name, port, vendor, product, label)] = label;
  }

  bool hasMarker(const std::string& root) const {
    std::ifstream in(root + "/ast_fw_update_disk");
    std::string text;
    in >> text;
    return text.find("1a2b3c4d") != std::string::npos;
  }

  testsupport::TempDir dir;
  testsupport::FakeSysfs sysfs;
  platform::Volumes::Environment env;
  // The camera's vendor: the rule the updater searches with.
  platform::VolumeCandidates::Rule camera{{{0x2245, std::nullopt}}, {}};
  std::map<std::string, std::string> mounts;  // device -> mount point
  std::map<std::string, std::string> labels;
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> files;
  std::set<std::string> refuseMount;
  std::vector<std::vector<std::string>> ran;
  bool udisksInstalled = true;
};

using Argv = std::vector<std::string>;
Argv udisks(const char* verb, const std::string& device) {
  return {"/usr/bin/udisksctl", verb, "--block-device", device, "--no-user-interaction"};
}

}  // namespace

TEST_F(UnmountedVolumes, OnlyUsbFileSystemsNobodyMountedAreListed) {
  platform::Volumes volumes(env);
  EXPECT_EQ(volumes.unmountedDevices(),
            (std::vector<std::string>{"/dev/sdc1", "/dev/sdd1", "/dev/sde1"}));
  mounts["/dev/sdd1"] = "/media/u/STICK";
  EXPECT_EQ(volumes.unmountedDevices(), (std::vector<std::string>{"/dev/sdc1", "/dev/sde1"}));
}

TEST_F(UnmountedVolumes, EachDiskIsDescribedByItsLabelAndItsUsbDevice) {
  platform::Volumes volumes(env);
  platform::BlockDevice camera = volumes.describe("/dev/sdc1");
  EXPECT_EQ(camera.label, "CAMERA");
  EXPECT_EQ(camera.usbVendor, std::optional<uint16_t>(0x2245));
  EXPECT_EQ(camera.usbProduct, std::optional<uint16_t>(0x1221));
  platform::BlockDevice internal = volumes.describe("/dev/sda2");
  EXPECT_EQ(internal.label, "Linux");
  EXPECT_FALSE(internal.usbVendor);
}

TEST_F(UnmountedVolumes, OnlyTheCamerasDisksAreMountedAndThoseWithoutTheMarkerGoAgain) {
  platform::Volumes volumes(env);
  std::string missing;
  auto marker = [this](const std::string& r) { return hasMarker(r); };
  auto found = volumes.findVolumes(marker, camera, platform::Volumes::Access::readWrite, &missing);
  EXPECT_EQ(found, (std::vector<std::string>{dir.file("media/CAMERA")}));
  // The person's stick is never mounted.
  EXPECT_EQ(ran, (std::vector<Argv>{udisks("mount", "/dev/sdc1"), udisks("mount", "/dev/sde1"),
                                    udisks("unmount", "/dev/sde1")}));
  EXPECT_EQ(mounts.size(), 1u);

  // Found among the mounted ones now: nothing more is mounted.
  ran.clear();
  EXPECT_EQ(volumes.findVolumes(marker, camera, platform::Volumes::Access::readWrite, &missing),
            found);
  EXPECT_TRUE(ran.empty());

  // What we mounted goes when the caller is done.
  volumes.unmountWhatWeMounted();
  EXPECT_EQ(ran, (std::vector<Argv>{udisks("unmount", "/dev/sdc1")}));
  EXPECT_TRUE(mounts.empty());

  // No rule, no mount: nothing is mounted on the chance that it is the device's.
  ran.clear();
  EXPECT_TRUE(
      volumes.findVolumes(marker, {}, platform::Volumes::Access::readWrite, &missing).empty());
  EXPECT_TRUE(ran.empty());
  EXPECT_NE(missing.find("3 other attached disks are not the device's and left alone"),
            std::string::npos)
      << missing;
}

TEST_F(UnmountedVolumes, AStepThatOnlyReadsMountsReadOnlyAndAWritingStepMountsAgain) {
  platform::Volumes volumes(env);
  std::string missing;
  auto marker = [this](const std::string& r) { return hasMarker(r); };
  Argv readOnly = udisks("mount", "/dev/sdc1");
  readOnly.insert(readOnly.end(), {"--options", "ro"});
  EXPECT_EQ(volumes.findVolumes(marker, camera, platform::Volumes::Access::readOnly, &missing),
            (std::vector<std::string>{dir.file("media/CAMERA")}));
  ASSERT_FALSE(ran.empty());
  EXPECT_EQ(ran.front(), readOnly);
  // Mounted read-only by us, the volume cannot take files: it is mounted again for writing.
  ran.clear();
  EXPECT_EQ(volumes.findVolumes(marker, camera, platform::Volumes::Access::readWrite, &missing),
            (std::vector<std::string>{dir.file("media/CAMERA")}));
  EXPECT_EQ(ran, (std::vector<Argv>{udisks("unmount", "/dev/sdc1"), udisks("mount", "/dev/sdc1"),
                                    udisks("mount", "/dev/sde1"), udisks("unmount", "/dev/sde1")}));
  // Reading it again needs no new mount.
  ran.clear();
  EXPECT_FALSE(
      volumes.findVolumes(marker, camera, platform::Volumes::Access::readOnly, &missing).empty());
  EXPECT_TRUE(ran.empty());
}

TEST_F(UnmountedVolumes, WhatWasMissingIsSaid) {
  auto marker = [this](const std::string& r) { return hasMarker(r); };
  const auto rw = platform::Volumes::Access::readWrite;
  udisksInstalled = false;
  {
    platform::Volumes volumes(env);
    std::string missing;
    EXPECT_TRUE(volumes.findVolumes(marker, camera, rw, &missing).empty());
    EXPECT_NE(missing.find("udisksctl (udisks2) is not installed"), std::string::npos) << missing;
    EXPECT_TRUE(ran.empty());
  }
  udisksInstalled = true;
  refuseMount = {"/dev/sdc1"};
  {
    platform::Volumes volumes(env);
    std::string missing;
    EXPECT_TRUE(volumes.findVolumes(marker, camera, rw, &missing).empty());
    EXPECT_NE(missing.find("could not mount /dev/sdc1"), std::string::npos) << missing;
    EXPECT_TRUE(mounts.empty());  // the other disk mounted to look at it went again
  }
  {
    platform::Volumes volumes(env);
    std::string missing;
    platform::VolumeCandidates::Rule otherVendor{{{0x1234, std::nullopt}}, {}};
    EXPECT_TRUE(volumes.findVolumes(marker, otherVendor, rw, &missing).empty());
    EXPECT_NE(missing.find("no unmounted volume of the device is attached"), std::string::npos)
        << missing;
  }
  fs::remove_all(sysfs.byUuidFolder());
  fs::remove_all(sysfs.byLabelFolder());
  {
    platform::Volumes volumes(env);
    std::string missing;
    EXPECT_TRUE(volumes.findVolumes(marker, camera, rw, &missing).empty());
    EXPECT_NE(missing.find("no unmounted volume is attached"), std::string::npos) << missing;
  }
}

TEST(UpdaterProcess, ProgramsRunWithAnArgumentVector) {
  EXPECT_EQ(platform::Process::run({"sh", "-c", "exit 3"}), 3);
  EXPECT_EQ(platform::Process::run({"/no/such/program"}), -1);
  EXPECT_EQ(platform::Process::run({}), -1);
  EXPECT_FALSE(platform::Process::findProgram("sh").empty());
  EXPECT_TRUE(platform::Process::findProgram("no-such-program-here").empty());
}
