// Damaged settings files moved aside: each under a name of its own, the newest few kept.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "KeptCopy.h"
#include "ManualClock.h"
#include "TempDir.h"
#include "TestFiles.h"

namespace fs = std::filesystem;
using platform::KeptCopy;

using testsupport::localTime;

TEST(KeptCopy, EachDamagedCopyKeepsANameOfItsOwn) {
  testsupport::TempDir dir;
  const std::string file = dir.file("corvane-studio.conf");
  const auto at = localTime(2026, 12, 10, 1, 30, 5);

  testsupport::writeFile(file, "first");
  auto first = KeptCopy::keepAside(file, at);
  ASSERT_TRUE(first.kept) << first.error;
  EXPECT_EQ(first.path, file + ".unreadable-20261210-013005");
  EXPECT_FALSE(fs::exists(file));

  // A second damaged start within the same second does not replace the first copy.
  testsupport::writeFile(file, "second");
  auto second = KeptCopy::keepAside(file, at);
  ASSERT_TRUE(second.kept) << second.error;
  EXPECT_EQ(second.path, file + ".unreadable-20261210-013005-2");
  testsupport::writeFile(file, "third");
  auto third = KeptCopy::keepAside(file, at + std::chrono::hours(24));
  EXPECT_EQ(third.path, file + ".unreadable-20261211-013005");

  EXPECT_EQ(testsupport::readFile(first.path), "first");
  EXPECT_EQ(testsupport::readFile(second.path), "second");
  EXPECT_EQ(testsupport::readFile(third.path), "third");
  EXPECT_EQ(KeptCopy::copiesOf(file),
            (std::vector<std::string>{first.path, second.path, third.path}));
  EXPECT_TRUE(first.pruned.empty() && second.pruned.empty() && third.pruned.empty());
}

TEST(KeptCopy, OnlyTheNewestFewStayAndNothingElseIsTouched) {
  testsupport::TempDir dir;
  const std::string file = dir.file("Custom config.json");
  // Not kept copies of this file: the old single name, a person's notes, another file's copy.
  const std::vector<std::string> others = {"Custom config.json.unreadable",
                                           "Custom config.json.unreadable-notes",
                                           "Custom config.json.unreadable-20261210-01300",
                                           "Custom config.json.unreadable-20261210-013000-x",
                                           "Presets.json.unreadable-20200101-000000",
                                           "Custom config.json.backup"};
  for (const auto& name : others) testsupport::writeFile(dir.file(name), "keep");
  // Eleven damaged starts, the first ten within one second ("-10" is newer than "-9").
  const auto at = localTime(2026, 12, 10, 23, 59, 59);
  std::vector<std::string> made;
  for (int i = 0; i < 11; ++i) {
    testsupport::writeFile(file, "copy " + std::to_string(i));
    auto kept = KeptCopy::keepAside(file, i < 10 ? at : at + std::chrono::seconds(1));
    ASSERT_TRUE(kept.kept) << kept.error;
    made.push_back(kept.path);
  }
  EXPECT_EQ(made[9], file + ".unreadable-20261210-235959-10");
  EXPECT_EQ(made[10], file + ".unreadable-20261211-000000");
  std::vector<std::string> newest(made.end() - KeptCopy::kMaxCopies, made.end());
  EXPECT_EQ(KeptCopy::copiesOf(file), newest);
  for (size_t i = 0; i < made.size(); ++i)
    EXPECT_EQ(fs::exists(made[i]), i + KeptCopy::kMaxCopies >= made.size()) << made[i];
  for (const auto& name : others) EXPECT_EQ(testsupport::readFile(dir.file(name)), "keep") << name;
}

TEST(KeptCopy, AFileThatCannotBeMovedSaysWhy) {
  testsupport::TempDir dir;
  auto missing = KeptCopy::keepAside(dir.file("gone.conf"), std::chrono::system_clock::now());
  EXPECT_FALSE(missing.kept);
  EXPECT_EQ(missing.error, std::strerror(ENOENT));
  EXPECT_TRUE(KeptCopy::copiesOf(dir.file("gone.conf")).empty());
}
