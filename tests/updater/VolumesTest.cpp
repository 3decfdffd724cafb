#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "ConfigManager.h"
#include "FakeSysfs.h"
#include "Process.h"
#include "TempDir.h"
#include "UnmountedDisks.h"
#include "UpdateManager.h"
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

// A machine without automount (see testsupport::UnmountedDisks) with the camera's disk, a disk
// of another of the camera's vendor's products without the marker, a person's own stick and an
// internal disk.
class UnmountedVolumes : public ::testing::Test {
 protected:
  void SetUp() override {
    disks.addUsb("sdc1", "1-2", 0x2245, 0x1221, "CAMERA", {{"ast_fw_update_disk", "1a2b3c4d"}});
    disks.addUsb("sdd1", "2-1", 0x0781, 0x5567, "STICK", {{"photo.jpg", "x"}});
    disks.addUsb("sde1", "3-1", 0x2245, 0x4000, "CAMERA2", {{"notes.txt", "x"}});
    disks.addInternal("sda2", "Linux");
    env = disks.environment();
  }

  bool hasMarker(const std::string& root) const {
    std::ifstream in(root + "/ast_fw_update_disk");
    std::string text;
    in >> text;
    return text.find("1a2b3c4d") != std::string::npos;
  }
  std::string media(const std::string& label) const { return disks.mountPoint(label); }

  testsupport::UnmountedDisks disks;
  testsupport::FakeSysfs& sysfs = disks.sysfs;
  platform::Volumes::Environment env;
  // The rule the updater searches with, from the shipped configuration's camera ids.
  platform::VolumeCandidates::Rule camera =
      updater::UpdateManager::cameraDiskRule({"0x2245"}, {"0x1221"}, "0x2245", "0x1221");
  std::map<std::string, std::string>& mounts = disks.mounts;
  std::set<std::string>& refuseMount = disks.refuseMount;
  std::vector<std::vector<std::string>>& ran = disks.ran;
  bool& udisksInstalled = disks.udisksInstalled;
};

using Argv = testsupport::UnmountedDisks::Argv;
using testsupport::UnmountedDisks;
Argv udisks(const char* verb, const std::string& device) {
  return UnmountedDisks::udisks(verb, device);
}
Argv udisksReadOnly(const std::string& device) { return UnmountedDisks::udisksReadOnly(device); }

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
  EXPECT_EQ(found, (std::vector<std::string>{media("CAMERA")}));
  // Neither the person's stick nor the disk of the vendor's other product is ever mounted.
  EXPECT_EQ(ran, (std::vector<Argv>{udisksReadOnly("/dev/sdc1"), udisks("unmount", "/dev/sdc1"),
                                    udisks("mount", "/dev/sdc1")}));
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
  EXPECT_EQ(volumes.findVolumes(marker, camera, platform::Volumes::Access::readOnly, &missing),
            (std::vector<std::string>{media("CAMERA")}));
  EXPECT_EQ(ran, (std::vector<Argv>{udisksReadOnly("/dev/sdc1")}));
  // Mounted read-only by us, the volume cannot take files: it is mounted again for writing.
  ran.clear();
  EXPECT_EQ(volumes.findVolumes(marker, camera, platform::Volumes::Access::readWrite, &missing),
            (std::vector<std::string>{media("CAMERA")}));
  EXPECT_EQ(ran, (std::vector<Argv>{udisks("unmount", "/dev/sdc1"), udisks("mount", "/dev/sdc1")}));
  // Reading it again needs no new mount.
  ran.clear();
  EXPECT_FALSE(
      volumes.findVolumes(marker, camera, platform::Volumes::Access::readOnly, &missing).empty());
  EXPECT_TRUE(ran.empty());
}

TEST_F(UnmountedVolumes, OnlyTheVolumeFoundIsEverMountedForWriting) {
  // A second disk of the camera's own ids, without the marker.
  disks.addUsb("sdf1", "4-1", 0x2245, 0x1221, "CAMERA3", {{"notes.txt", "x"}});
  platform::Volumes volumes(env);
  std::string missing;
  auto marker = [this](const std::string& r) { return hasMarker(r); };
  EXPECT_EQ(volumes.findVolumes(marker, camera, platform::Volumes::Access::readWrite, &missing),
            (std::vector<std::string>{media("CAMERA")}));
  EXPECT_EQ(ran, (std::vector<Argv>{udisksReadOnly("/dev/sdc1"), udisks("unmount", "/dev/sdc1"),
                                    udisks("mount", "/dev/sdc1"), udisksReadOnly("/dev/sdf1"),
                                    udisks("unmount", "/dev/sdf1")}));
  EXPECT_EQ(mounts, (std::map<std::string, std::string>{{"/dev/sdc1", media("CAMERA")}}));
}

TEST_F(UnmountedVolumes, AVolumeIsMadeWritableOnlyWhereALookUpMountedItReadOnly) {
  platform::Volumes volumes(env);
  std::string missing, why;
  auto marker = [this](const std::string& r) { return hasMarker(r); };
  ASSERT_FALSE(
      volumes.findVolumes(marker, camera, platform::Volumes::Access::readOnly, &missing).empty());
  ran.clear();
  EXPECT_EQ(volumes.writable(media("CAMERA"), &why), media("CAMERA"));
  EXPECT_EQ(ran, (std::vector<Argv>{udisks("unmount", "/dev/sdc1"), udisks("mount", "/dev/sdc1")}));
  // Writable already, or mounted by somebody else, or no volume at all: as it is.
  ran.clear();
  EXPECT_EQ(volumes.writable(media("CAMERA"), &why), media("CAMERA"));
  mounts["/dev/sdd1"] = "/media/u/STICK";
  EXPECT_EQ(volumes.writable("/media/u/STICK", &why), "/media/u/STICK");
  EXPECT_EQ(volumes.writable("/no/such/volume", &why), "/no/such/volume");
  EXPECT_TRUE(ran.empty());
  // A mount that fails again is said.
  volumes.unmountWhatWeMounted();
  ASSERT_FALSE(
      volumes.findVolumes(marker, camera, platform::Volumes::Access::readOnly, &missing).empty());
  refuseMount = {"/dev/sdc1"};
  EXPECT_EQ(volumes.writable(media("CAMERA"), &why), "");
  EXPECT_NE(why.find("could not mount /dev/sdc1"), std::string::npos) << why;
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
    platform::VolumeCandidates::Rule otherVendor{{{0x1234, 0x1221}}, {}};
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

TEST(UpdaterCameraDisks, TheShippedCameraIdsChooseTheCamerasOwnDiskAlone) {
  updater::ConfigManager::Environment configEnv;
  configEnv.resourcePath = [](const std::string& name) -> std::optional<std::string> {
    return std::string(CORVANE_SOURCE_DIR) + "/resources/updater/" + name;
  };
  updater::ConfigManager shipped(std::move(configEnv));
  shipped.loadUpdaterConfig();
  shipped.loadCustomConfig();
  // The camera as the updater opened it.
  const platform::VolumeCandidates::Rule rule = updater::UpdateManager::cameraDiskRule(
      shipped.cameraVendorIds, shipped.cameraProductIds, "0x2245", "0x1221");
  // Each disk on a USB device of its own: only the camera's is chosen.
  const std::vector<platform::BlockDevice> attached = {
      {"/dev/sdb1", "", 0x2245, 0x1221},  // the camera in storage mode
      {"/dev/sdc1", "", 0x2245, 0x4000},  // another product of the camera's vendor
      {"/dev/sdd1", "", 0x2245, 0x1222},  // the next product of the camera's vendor
      {"/dev/sde1", "", 0x046d, 0x1221},  // the camera's product id under another vendor
      {"/dev/sdf1", "", 0x2e8b, 0x5fff},  // the audio device in its update mode
      {"/dev/sdg1", "", 0x0781, 0x5567},  // a person's stick
  };
  EXPECT_EQ(platform::VolumeCandidates::choose(attached, rule),
            (std::vector<std::string>{"/dev/sdb1"}));
}

TEST(UpdaterCameraDisks, TheRuleHoldsTheOpenCameraTheConfiguredPairsAndTheirStorageMode) {
  using Ids = std::vector<platform::VolumeCandidates::UsbId>;
  auto rule = [](std::vector<std::string> vids, std::vector<std::string> pids, std::string vid,
                 std::string pid) {
    return updater::UpdateManager::cameraDiskRule(vids, pids, vid, pid).usbIds;
  };
  // The shipped configuration and its camera: one pair.
  EXPECT_EQ(rule({"0x2245"}, {"0x1221"}, "0x2245", "0x1221"), (Ids{{0x2245, 0x1221}}));
  // Another configured camera: its pair and its storage mode, besides the open camera.
  EXPECT_EQ(rule({"0x046d"}, {"0x0999"}, "0x046d", "0x0999"),
            (Ids{{0x046d, 0x0999}, {0x046d, 0x1221}}));
  // A vendor listed without its product: its storage mode alone.
  EXPECT_EQ(rule({"0x2245", "0x046d"}, {"0x1300"}, "", ""),
            (Ids{{0x2245, 0x1300}, {0x2245, 0x1221}, {0x046d, 0x1221}}));
  // No configured ids: the default camera in storage mode, and a camera accepted by its name.
  EXPECT_EQ(rule({}, {}, "0x1234", "0x5678"), (Ids{{0x1234, 0x5678}, {0x2245, 0x1221}}));
  // What is no USB id names nothing.
  EXPECT_EQ(rule({"camera", "0x2245"}, {"0x1221", "x"}, "0x", "0x1221"), (Ids{{0x2245, 0x1221}}));
}
