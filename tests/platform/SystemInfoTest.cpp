#include <elf.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "SystemInfo.h"
#include "TempDir.h"

using platform::SystemInfo;

namespace {

std::string fixture(const std::string& name) {
  std::ifstream in(std::string(CORVANE_TEST_DATA_DIR) + "/cpuinfo/" + name);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

bool hasFeature(const SystemInfo::Cpu& cpu, const std::string& f) {
  return std::find(cpu.features.begin(), cpu.features.end(), f) != cpu.features.end();
}

}  // namespace

TEST(SystemInfoCpuInfo, IntelDesktopWithHyperThreading) {
  auto cpu = SystemInfo::parseCpuInfo(fixture("x86_64-i7-7700.txt"));
  EXPECT_EQ(cpu.modelName, "Intel(R) Core(TM) i7-7700 CPU @ 3.60GHz");
  EXPECT_EQ(cpu.vendor, "GenuineIntel");
  EXPECT_EQ(cpu.logicalProcessors, 8);
  EXPECT_EQ(cpu.physicalCores, 4);
  EXPECT_EQ(cpu.packages, 1);
  EXPECT_EQ(cpu.stepping, 9);
  EXPECT_TRUE(hasFeature(cpu, "lm"));
  EXPECT_TRUE(hasFeature(cpu, "avx2"));
  EXPECT_FALSE(hasFeature(cpu, "preemption_timer"));  // a "vmx flags" entry, not a processor flag
  EXPECT_TRUE(cpu.featureText.starts_with("fpu vme de pse"));
}

TEST(SystemInfoCpuInfo, RaspberryPiNamesTheCoreFromItsPartNumber) {
  auto cpu = SystemInfo::parseCpuInfo(fixture("arm64-raspberry-pi-4.txt"));
  EXPECT_EQ(cpu.modelName, "Cortex-A72");
  EXPECT_EQ(cpu.vendor, "ARM");
  EXPECT_EQ(cpu.logicalProcessors, 4);  // the board block after the processors is no processor
  EXPECT_EQ(cpu.physicalCores, 4);
  EXPECT_EQ(cpu.packages, 1);
  EXPECT_FALSE(cpu.stepping.has_value());
  EXPECT_EQ(cpu.features, (std::vector<std::string>{"fp", "asimd", "evtstrm", "crc32", "cpuid"}));
}

TEST(SystemInfoCpuInfo, BigLittleBoardListsBothCoreKinds) {
  auto cpu = SystemInfo::parseCpuInfo(fixture("arm64-rk3588.txt"));
  EXPECT_EQ(cpu.modelName, "Cortex-A55 + Cortex-A76");
  EXPECT_EQ(cpu.logicalProcessors, 8);
  EXPECT_EQ(cpu.physicalCores, 8);
  EXPECT_TRUE(hasFeature(cpu, "atomics"));
}

TEST(SystemInfoCpuInfo, TwoSocketsAndOddInput) {
  std::string text;
  for (int p = 0; p < 4; ++p)
    text += "processor\t: " + std::to_string(p) +
            "\nmodel name\t: Xeon\nphysical id\t: " + std::to_string(p / 2) +
            "\ncore id\t\t: 0\nflags\t\t: fpu  lm\n\n";
  auto cpu = SystemInfo::parseCpuInfo(text);
  EXPECT_EQ(cpu.packages, 2);
  EXPECT_EQ(cpu.physicalCores, 2);
  EXPECT_EQ(cpu.logicalProcessors, 4);
  EXPECT_EQ(cpu.features, (std::vector<std::string>{"fpu", "lm"}));  // no empty entry

  auto unknownArm = SystemInfo::parseCpuInfo(
      "processor : 0\nCPU implementer : 0x51\nCPU part : 0x801\nFeatures : fp\n");
  EXPECT_EQ(unknownArm.modelName, "Qualcomm part 0x801");

  EXPECT_EQ(SystemInfo::parseCpuInfo("").logicalProcessors, 0);
  EXPECT_EQ(SystemInfo::parseCpuInfo("garbage\n\n: :\nprocessor : x\n").logicalProcessors, 0);
}

TEST(SystemInfoStat, ReadsTheAggregateLineAsSixtyFourBitCounters) {
  auto t = SystemInfo::parseStat(
      "intr 1 2 3\n"
      "cpu  26343 10 9028 549356 870 0 382 2862 500 0\n"
      "cpu0 2740 0 969 69472 30 0 62 383 0 0\n");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->user, 26343u);
  EXPECT_EQ(t->nice, 10u);
  EXPECT_EQ(t->steal, 2862u);
  EXPECT_EQ(t->busy(), 26343u + 10 + 9028 + 382 + 2862);  // guest is inside user already
  EXPECT_EQ(t->total(), t->busy() + 549356 + 870);

  auto big = SystemInfo::parseStat("cpu  18446744073709551615 0 4294967296 1\n");
  ASSERT_TRUE(big);
  EXPECT_EQ(big->user, UINT64_MAX);
  EXPECT_EQ(big->system, 4294967296u);

  auto old = SystemInfo::parseStat("cpu 1 2 3 4\n");  // kernels before 2.6
  ASSERT_TRUE(old);
  EXPECT_EQ(old->total(), 10u);

  EXPECT_FALSE(SystemInfo::parseStat("cpu0 1 2 3 4\n"));
  EXPECT_FALSE(SystemInfo::parseStat("cpu  1 2 3\n"));
  EXPECT_FALSE(SystemInfo::parseStat("cpu  1 2 x 4\n"));
  EXPECT_FALSE(SystemInfo::parseStat("cpu  1 2 3 -4\n"));
  EXPECT_FALSE(SystemInfo::parseStat("cpu  1 2 3 18446744073709551616\n"));
}

TEST(SystemInfoStat, ElapsedCrossesThe32BitBoundaryAndIgnoresCountersGoingBack) {
  SystemInfo::CpuTimes a{4294967290u, 0, 100, 1000, 50, 0, 0, 0};
  SystemInfo::CpuTimes b{4294967306u, 0, 110, 1090, 40, 0, 0, 0};
  auto d = SystemInfo::elapsed(a, b);
  EXPECT_EQ(d.user, 16u);  // a 32-bit counter would have wrapped here
  EXPECT_EQ(d.system, 10u);
  EXPECT_EQ(d.idle, 90u);
  EXPECT_EQ(d.iowait, 0u);  // went back: no time, not 2^64 - 10
  EXPECT_EQ(d.total(), 116u);
}

TEST(SystemInfoElf, ReadsTheMachineInTheFilesByteOrder) {
  std::string le(
      "\x7f"
      "ELF\x02\x01\x01",
      7);
  le.resize(20, '\0');
  le[18] = static_cast<char>(EM_X86_64);
  auto h = SystemInfo::parseElfHeader(le);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->machine, EM_X86_64);
  EXPECT_TRUE(h->is64Bit);

  std::string be(
      "\x7f"
      "ELF\x01\x02\x01",
      7);
  be.resize(20, '\0');
  be[19] = static_cast<char>(EM_PPC);
  h = SystemInfo::parseElfHeader(be);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->machine, EM_PPC);
  EXPECT_FALSE(h->is64Bit);
  EXPECT_FALSE(h->littleEndian);

  EXPECT_FALSE(SystemInfo::parseElfHeader(le.substr(0, 19)));
  EXPECT_FALSE(SystemInfo::parseElfHeader("#!/bin/sh\nexec true\n"));
  std::string badClass = le;
  badClass[4] = 3;
  EXPECT_FALSE(SystemInfo::parseElfHeader(badClass));

  // This test program itself.
  auto self = SystemInfo::shared().executableHeader();
  ASSERT_TRUE(self);
#if defined(__x86_64__)
  EXPECT_EQ(self->machine, EM_X86_64);
#elif defined(__aarch64__)
  EXPECT_EQ(self->machine, EM_AARCH64);
#endif
}

TEST(SystemInfoFiles, ReadsAFolderStandingForProcAndSys) {
  testsupport::TempDir root;
  writeFile(root.file("proc/cpuinfo"), fixture("arm64-raspberry-pi-4.txt"));
  writeFile(root.file("proc/stat"), "cpu  1 2 3 4 5 6 7 8 0 0\n");
  writeFile(root.file("proc/sys/kernel/arch"), "aarch64\n");
  writeFile(root.file("sys/firmware/devicetree/base/model"),
            std::string("Raspberry Pi 4 Model B Rev 1.4\0", 31));
  writeFile(root.file("sys/class/net/eth0/address"), "dc:a6:32:00:00:01\n");
  writeFile(root.file("sys/class/net/wlan1/address"), "dc:a6:32:00:00:03\n");
  writeFile(root.file("sys/class/net/wlan1/wireless/.keep"), "");
  writeFile(root.file("sys/class/net/wlan0/address"), "00:00:00:00:00:00\n");
  writeFile(root.file("sys/class/net/wlan0/wireless/.keep"), "");
  SystemInfo info(root.path());

  ASSERT_TRUE(info.cpu());
  EXPECT_EQ(info.cpu()->modelName, "Cortex-A72");
  ASSERT_TRUE(info.cpuTimes());
  EXPECT_EQ(info.cpuTimes()->total(), 36u);
  EXPECT_EQ(info.kernelMachine(), "aarch64");
  EXPECT_EQ(info.hardwareModel(), "Raspberry Pi 4 Model B Rev 1.4");
  EXPECT_EQ(info.wifiHardwareAddress(), "dc:a6:32:00:00:03");  // wlan0 has no address yet

  writeFile(root.file("sys/devices/virtual/dmi/id/product_name"), "ThinkPad X1 Carbon\n");
  writeFile(root.file("sys/devices/virtual/dmi/id/sys_vendor"), "LENOVO\n");
  EXPECT_EQ(info.hardwareModel(), "LENOVO ThinkPad X1 Carbon");
  writeFile(root.file("sys/devices/virtual/dmi/id/product_name"), "To Be Filled By O.E.M.\n");
  EXPECT_EQ(info.hardwareModel(), "Raspberry Pi 4 Model B Rev 1.4");

  SystemInfo empty(root.file("nothing"));
  EXPECT_FALSE(empty.cpu());
  EXPECT_FALSE(empty.cpuTimes());
  EXPECT_FALSE(empty.hardwareModel());
  EXPECT_FALSE(empty.wifiHardwareAddress());
  EXPECT_FALSE(empty.executableHeader());
  EXPECT_EQ(empty.kernelMachine(), SystemInfo::kernel()->machine);  // falls back to uname
}

TEST(SystemInfoOsVersion, KernelReleaseGivesThreeNumbers) {
  EXPECT_EQ(SystemInfo::osVersionText("6.1.0-27-amd64"), "Linux 6.1.0");
  EXPECT_EQ(SystemInfo::osVersionText("5.15.153.1-microsoft-standard-WSL2"), "Linux 5.15.153");
  EXPECT_EQ(SystemInfo::osVersionText("6.8"), "Linux 6.8.0");
  EXPECT_EQ(SystemInfo::osVersionText("6.10-rc1"), "Linux 6.10.0");
  EXPECT_EQ(SystemInfo::osVersionText(""), "Linux 0.0.0");
  EXPECT_EQ(SystemInfo::osVersionText("custom"), "Linux 0.0.0");
  EXPECT_EQ(SystemInfo::osVersionText().rfind("Linux ", 0), 0u);
}
