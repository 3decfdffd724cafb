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

// The clock put back, or the time zone moved west: the copies kept before carry later stamps
// (and later times) than the one kept now, which must still be the last to go.
TEST(KeptCopy, TheCopyJustKeptSurvivesCopiesStampedLater) {
  testsupport::TempDir dir;
  const std::string file = dir.file("corvane-studio.conf");
  const auto now = localTime(2026, 3, 1, 9, 0, 0);
  // Five copies of an earlier run whose clock was a year ahead, written in that run.
  std::vector<std::string> future;
  for (int i = 0; i < 5; ++i) {
    const auto then = localTime(2027, 3, 1, 9, 0, i);
    testsupport::writeFile(file, "future " + std::to_string(i));
    auto kept = KeptCopy::keepAside(file, then);
    ASSERT_TRUE(kept.kept) << kept.error;
    future.push_back(kept.path);
  }
  EXPECT_EQ(future[4], file + ".unreadable-20270301-090004");

  testsupport::writeFile(file, "damaged now");
  auto kept = KeptCopy::keepAside(file, now);
  ASSERT_TRUE(kept.kept) << kept.error;
  EXPECT_EQ(kept.path, file + ".unreadable-20260301-090000");
  EXPECT_EQ(testsupport::readFile(kept.path), "damaged now");
  // The first one kept goes, not the one just kept.
  EXPECT_EQ(kept.pruned, std::vector<std::string>{future[0]});
  EXPECT_EQ(KeptCopy::copiesOf(file),
            (std::vector<std::string>{future[1], future[2], future[3], future[4], kept.path}));

  // And again, with the clock put back further: each new copy stays, the oldest kept goes.
  testsupport::writeFile(file, "damaged earlier");
  auto earlier = KeptCopy::keepAside(file, now - std::chrono::hours(48));
  ASSERT_TRUE(earlier.kept) << earlier.error;
  EXPECT_EQ(earlier.pruned, std::vector<std::string>{future[1]});
  EXPECT_EQ(KeptCopy::copiesOf(file).back(), earlier.path);
}

// Copies left by hand, or by a run that did not order them, carry their own file times and
// stamps from the future; a new copy is still never the one removed.
TEST(KeptCopy, CopiesWithFutureStampsAndTimesDoNotPushOutTheNewOne) {
  testsupport::TempDir dir;
  const std::string file = dir.file("Custom config.json");
  std::vector<std::string> future;
  for (int i = 0; i < 5; ++i) {
    std::string name = file + ".unreadable-2031010" + std::to_string(i + 1) + "-120000";
    testsupport::writeFile(name, "future " + std::to_string(i));
    testsupport::setModified(name, localTime(2031, 1, i + 1, 12, 0, 0));
    future.push_back(name);
  }
  testsupport::writeFile(file, "damaged now");
  // The damaged file itself was last written long ago.
  testsupport::setModified(file, localTime(2020, 1, 1, 0, 0, 0));
  auto kept = KeptCopy::keepAside(file, localTime(2026, 3, 1, 9, 0, 0));
  ASSERT_TRUE(kept.kept) << kept.error;
  EXPECT_TRUE(fs::exists(kept.path));
  EXPECT_EQ(kept.pruned, std::vector<std::string>{future[0]});
  EXPECT_EQ(KeptCopy::copiesOf(file).back(), kept.path);
  for (int i = 1; i < 5; ++i) EXPECT_TRUE(fs::exists(future[i])) << future[i];
}
