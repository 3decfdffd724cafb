#include <gtest/gtest.h>

#include "VolumeCandidates.h"

using platform::BlockDevice;
using platform::VolumeCandidates;

namespace {

BlockDevice usbDisk(const char* device, uint16_t vendor, uint16_t product, const char* label) {
  return BlockDevice{device, label, vendor, product};
}

}  // namespace

TEST(VolumeCandidates, OnlyTheDevicesOwnDisksAreChosen) {
  const VolumeCandidates::Rule camera{{{0x2245, 0x1221}}, {}};
  const VolumeCandidates::Rule labelled{{{0x2245, 0x1221}}, {"CAMERA UPDATE"}};
  struct Row {
    const char* what;
    BlockDevice device;
    VolumeCandidates::Rule rule;
    bool chosen;
  };
  const Row rows[] = {
      {"the vendor and product asked for", usbDisk("/dev/sdb1", 0x2245, 0x1221, ""), camera, true},
      {"another product of the vendor", usbDisk("/dev/sdb1", 0x2245, 0x4000, ""), camera, false},
      {"the product id under another vendor", usbDisk("/dev/sdb1", 0x1234, 0x1221, ""), camera,
       false},
      {"a person's stick", usbDisk("/dev/sdc1", 0x0781, 0x5567, "STICK"), camera, false},
      {"a disk on no USB bus", BlockDevice{"/dev/sda2", "Linux", std::nullopt, std::nullopt},
       camera, false},
      {"a vendor without a product", BlockDevice{"/dev/sdb1", "", 0x2245, std::nullopt}, camera,
       false},
      {"the ids and the label asked for", usbDisk("/dev/sdd1", 0x2245, 0x1221, "CAMERA UPDATE"),
       labelled, true},
      {"the ids with another label", usbDisk("/dev/sdd1", 0x2245, 0x1221, "CAMERA UPDATE 2"),
       labelled, false},
      {"the ids without a label", usbDisk("/dev/sdd1", 0x2245, 0x1221, ""), labelled, false},
      {"the label on a foreign disk", usbDisk("/dev/sdd1", 0x0781, 0x5567, "CAMERA UPDATE"),
       labelled, false},
      {"a label alone names no disk", usbDisk("/dev/sdd1", 0x0781, 0x5567, "CAMERA UPDATE"),
       VolumeCandidates::Rule{{}, {"CAMERA UPDATE"}}, false},
      {"a rule that names nothing", usbDisk("/dev/sdb1", 0x2245, 0x1221, "CAMERA"),
       VolumeCandidates::Rule{}, false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(VolumeCandidates::isCandidate(row.device, row.rule), row.chosen) << row.what;

  std::vector<BlockDevice> attached = {
      usbDisk("/dev/sdb1", 0x2245, 0x1221, "CAMERA"), usbDisk("/dev/sdc1", 0x0781, 0x5567, "STICK"),
      usbDisk("/dev/sdd1", 0x2245, 0x4000, ""), usbDisk("/dev/sde1", 0x2245, 0x1221, "")};
  EXPECT_EQ(VolumeCandidates::choose(attached, camera),
            (std::vector<std::string>{"/dev/sdb1", "/dev/sde1"}));
  EXPECT_TRUE(VolumeCandidates::choose(attached, {}).empty());

  VolumeCandidates::Rule twice;
  twice.add({0x2245, 0x1221});
  twice.add({0x2245, 0x1221});
  EXPECT_EQ(twice.usbIds.size(), 1u);
}

TEST(VolumeCandidates, UsbIdsAreReadAsHexadecimal) {
  struct Row {
    const char* text;
    std::optional<uint16_t> id;
  };
  const Row rows[] = {{"0x2245", 0x2245},   {"2245\n", 0x2245},   {"2e8b", 0x2e8b},
                      {"0X5FFF", 0x5fff},   {" 0781 ", 0x0781},   {"0", 0},
                      {"", std::nullopt},   {"0x", std::nullopt}, {"12345", std::nullopt},
                      {"zz", std::nullopt}, {"-1", std::nullopt}};
  for (const Row& row : rows) EXPECT_EQ(VolumeCandidates::parseUsbId(row.text), row.id) << row.text;
}
