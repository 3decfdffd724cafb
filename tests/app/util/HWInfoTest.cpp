#include <gtest/gtest.h>

#include <fstream>

#include "util/HWInfo.h"

using corvane::HWInfo;
using platform::SystemInfo;

namespace {

HWInfo::Facts factsOf(const std::string& fixture, std::string machine) {
  std::ifstream in(std::string(CORVANE_TEST_DATA_DIR) + "/cpuinfo/" + fixture);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return HWInfo::Facts{SystemInfo::parseCpuInfo(text), 16ull << 30, std::move(machine)};
}

}  // namespace

TEST(HWInfo, NamedValuesOfAnIntelDesktop) {
  auto facts = factsOf("x86_64-i7-7700.txt", "x86_64");
  EXPECT_EQ(HWInfo::integerValue(facts, "hw.cpu64bit_capable"), 1);
  EXPECT_EQ(HWInfo::integerValue(facts, "hw.packages"), 1);
  EXPECT_EQ(HWInfo::integerValue(facts, "hw.memsize"), int64_t{16} << 30);
  EXPECT_EQ(HWInfo::integerValue(facts, "machdep.cpu.thread_count"), 8);
  EXPECT_EQ(HWInfo::integerValue(facts, "machdep.cpu.core_count"), 4);
  EXPECT_EQ(HWInfo::integerValue(facts, "machdep.cpu.cores_per_package"), 4);
  EXPECT_EQ(HWInfo::integerValue(facts, "machdep.cpu.stepping"), 9);
  EXPECT_FALSE(HWInfo::integerValue(facts, "machdep.cpu.brand_string"));
  EXPECT_FALSE(HWInfo::integerValue(facts, "hw.nothing"));
  EXPECT_EQ(HWInfo::textValue(facts, "machdep.cpu.brand_string", 256),
            "Intel(R) Core(TM) i7-7700 CPU @ 3.60GHz");
  EXPECT_FALSE(HWInfo::textValue(facts, "machdep.cpu.stepping", 256));

  // The flags line is over a thousand characters: the feature buffer must hold it.
  auto features = HWInfo::textValue(facts, "machdep.cpu.features", HWInfo::featureBufferSize);
  ASSERT_TRUE(features);
  EXPECT_GT(features->size(), 512u);
  EXPECT_FALSE(HWInfo::textValue(facts, "machdep.cpu.features", 512));
}

TEST(HWInfo, TextMustFitWithItsTerminatorAndBeUtf8) {
  auto facts = factsOf("arm64-raspberry-pi-4.txt", "aarch64");
  facts.cpu->modelName = "Cortex";  // 6 bytes and the zero byte
  EXPECT_EQ(HWInfo::textValue(facts, "machdep.cpu.brand_string", 7), "Cortex");
  EXPECT_FALSE(HWInfo::textValue(facts, "machdep.cpu.brand_string", 6));
  EXPECT_FALSE(HWInfo::textValue(facts, "machdep.cpu.brand_string", 0));
  facts.cpu->modelName = "Caf\xc3\xa9";
  EXPECT_TRUE(HWInfo::textValue(facts, "machdep.cpu.brand_string", 256));
  facts.cpu->modelName = "Caf\xc3";
  EXPECT_FALSE(HWInfo::textValue(facts, "machdep.cpu.brand_string", 256));
  facts.cpu->modelName = "\xff";
  EXPECT_FALSE(HWInfo::textValue(facts, "machdep.cpu.brand_string", 256));
}

TEST(HWInfo, ArmBoardsAnd64BitCapability) {
  auto facts = factsOf("arm64-raspberry-pi-4.txt", "aarch64");
  EXPECT_EQ(HWInfo::integerValue(facts, "hw.cpu64bit_capable"), 1);
  EXPECT_FALSE(HWInfo::integerValue(facts, "machdep.cpu.stepping"));  // no such line on Arm
  EXPECT_EQ(HWInfo::integerValue(facts, "machdep.cpu.core_count"), 4);

  facts.kernelMachine = "armv7l";
  EXPECT_EQ(HWInfo::integerValue(facts, "hw.cpu64bit_capable"), 0);
  // A 64-bit x86 processor under a 32-bit kernel still says so by its long-mode flag.
  auto intel = factsOf("x86_64-i7-7700.txt", "i686");
  EXPECT_EQ(HWInfo::integerValue(intel, "hw.cpu64bit_capable"), 1);

  HWInfo::Facts none{std::nullopt, std::nullopt, "x86_64"};
  EXPECT_FALSE(HWInfo::integerValue(none, "hw.memsize"));
  EXPECT_FALSE(HWInfo::integerValue(none, "hw.packages"));
  EXPECT_FALSE(HWInfo::textValue(none, "machdep.cpu.brand_string", 256));
}

TEST(HWInfo, FeatureListDropsEmptyPieces) {
  EXPECT_EQ(HWInfo::splitFeatures("fpu  vme de "), (std::vector<std::string>{"fpu", "vme", "de"}));
  EXPECT_TRUE(HWInfo::splitFeatures("").empty());
  EXPECT_TRUE(HWInfo::splitFeatures("   ").empty());
}

TEST(HWInfo, ThisMachineAnswers) {
  EXPECT_TRUE(HWInfo::cpu64bitCapable() || sizeof(void*) == 4);
  EXPECT_GT(HWInfo::memsize().value_or(0), 0);
  EXPECT_GE(HWInfo::CPU::threadCount().value_or(0), HWInfo::CPU::coreCount().value_or(0));
  EXPECT_GT(HWInfo::CPU::coreCount().value_or(0), 0);
  EXPECT_FALSE(HWInfo::CPU::brandString().value_or("").empty());
  EXPECT_FALSE(HWInfo::CPU::featureList().empty());
}
