#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>

#include "SettingsFixture.h"
#include "TestFiles.h"
#include "config/HexColor.h"
#include "config/LenientJson.h"
#include "config/RectPoint.h"
#include "util/AtomicFile.h"

using corvane::LenientJson;
using nlohmann::json;
using namespace settingstest;

TEST(LenientJson, NumbersBecomeIntegersOnlyWhenWholeAndBooleansOnlyWhenZeroOrOne) {
  auto j = json::parse(R"({"i": 2, "f": 2.0, "frac": 2.5, "big": 1e300, "t": true,
                           "s": "2", "n": null, "neg": -7, "u": 18446744073709551615,
                           "one": 1, "zero": 0.0, "two": 2, "lst": ["A", "b"], "mixed": ["a", 1]})");
  EXPECT_EQ(LenientJson::integer(j, "i"), 2);
  EXPECT_EQ(LenientJson::integer(j, "f"), 2);
  EXPECT_EQ(LenientJson::integer(j, "neg"), -7);
  EXPECT_FALSE(LenientJson::integer(j, "frac"));
  EXPECT_FALSE(LenientJson::integer(j, "big"));
  EXPECT_FALSE(LenientJson::integer(j, "u"));  // beyond a signed 64-bit field
  EXPECT_FALSE(LenientJson::integer(j, "t"));
  EXPECT_FALSE(LenientJson::integer(j, "s"));
  EXPECT_FALSE(LenientJson::integer(j, "n"));
  EXPECT_FALSE(LenientJson::integer(j, "absent"));

  EXPECT_EQ(LenientJson::boolean(j, "t"), true);
  EXPECT_EQ(LenientJson::boolean(j, "one"), true);
  EXPECT_EQ(LenientJson::boolean(j, "zero"), false);
  EXPECT_FALSE(LenientJson::boolean(j, "two"));
  EXPECT_FALSE(LenientJson::boolean(j, "s"));

  EXPECT_EQ(LenientJson::number(j, "i"), 2.0);
  EXPECT_EQ(LenientJson::number(j, "frac"), 2.5);
  EXPECT_FALSE(LenientJson::number(j, "t"));

  EXPECT_EQ(LenientJson::stringList(j, "lst"), (std::vector<std::string>{"A", "b"}));
  EXPECT_FALSE(LenientJson::stringList(j, "mixed"));
  EXPECT_FALSE(LenientJson::string(j, "i"));
  // Not an object at all: every key is missing.
  EXPECT_FALSE(LenientJson::integer(json::array({1}), "i"));
}

TEST(LenientJson, UnreadableAndBrokenFilesFailWithAReason) {
  testsupport::TempDir dir;
  json out = 5;
  std::string why;
  EXPECT_FALSE(LenientJson::readFile("", out, &why));
  EXPECT_FALSE(LenientJson::readFile(dir.file("missing.json"), out, &why));
  EXPECT_NE(why.find("missing.json"), std::string::npos);
  writeFile(dir.file("truncated.json"), R"({"a": [1, 2)");
  EXPECT_FALSE(LenientJson::readFile(dir.file("truncated.json"), out, &why));
  EXPECT_FALSE(LenientJson::readFile(dir.path(), out, &why));  // a folder
  EXPECT_EQ(out, 5);                                           // untouched on failure
  writeFile(dir.file("ok.json"), R"([true])");
  EXPECT_TRUE(LenientJson::readFile(dir.file("ok.json"), out, &why));
  EXPECT_EQ(out, json::array({true}));
}

TEST(LenientJson, ValuesNestedDeeperThanTheBoundAreRefusedBeforeParsing) {
  auto nested = [](int depth, const std::string& inner = "1") {
    return std::string(size_t(depth), '[') + inner + std::string(size_t(depth), ']');
  };
  json out;
  std::string why;
  EXPECT_TRUE(LenientJson::parse(nested(LenientJson::kMaxDepth), out, &why)) << why;
  EXPECT_FALSE(LenientJson::parse(nested(LenientJson::kMaxDepth + 1), out, &why));
  EXPECT_EQ(why, "the text nests deeper than 64 levels");
  // A body nested 60,000 deep is refused at once, without a walk that recurses per level.
  EXPECT_FALSE(LenientJson::parse(nested(60000), out, &why));
  // Brackets inside strings, escaped quotes included, are text, not nesting.
  std::string text = "{\"a\": \"" + std::string(100, '[') + "\\\"{{{{\"}";
  EXPECT_TRUE(LenientJson::nestedWithin(text));
  EXPECT_TRUE(LenientJson::parse(text, out, &why)) << why;
  EXPECT_FALSE(LenientJson::nestedWithin("{\"a\": [[[", 2));
  EXPECT_TRUE(LenientJson::nestedWithin("[[]][[]]", 2));
}

TEST(LenientJson, WritesCompactInInsertionOrderWithSixDecimalNumbers) {
  nlohmann::ordered_json o;
  o["z"] = LenientJson::sixDecimals(1.0 / 3.0);
  o["a"] = LenientJson::sixDecimals(0.35);
  o["m"] = LenientJson::sixDecimals(0.1234567);
  o["full"] = 1.0 / 3.0;
  o["nan"] = std::numeric_limits<double>::quiet_NaN();
  o["bad"] = std::string("\xff");
  EXPECT_EQ(LenientJson::compact(o),
            "{\"z\":0.333333,\"a\":0.35,\"m\":0.123457,\"full\":0.3333333333333333,"
            "\"nan\":null,\"bad\":\"\xEF\xBF\xBD\"}");
  EXPECT_EQ(LenientJson::shortestText(2.0), "2.0");
  EXPECT_EQ(LenientJson::shortestText(1.25), "1.25");
  EXPECT_EQ(LenientJson::shortestText(-0.5), "-0.5");
  EXPECT_EQ(LenientJson::shortestText(0.9 + 0.2), "1.1");
  EXPECT_EQ(LenientJson::shortestText(-0.0001), "-0.0001");
  EXPECT_EQ(LenientJson::shortestText(0.00001), "1e-05");
  EXPECT_EQ(LenientJson::shortestText(1700000000.5), "1700000000.5");
}

TEST(HexColor, ParsesLikeAHexadecimalScanner) {
  auto rgb = [](const std::string& text) -> std::optional<std::array<int, 3>> {
    auto c = corvane::colorFromHexString(text);
    if (!c) return std::nullopt;
    EXPECT_EQ(c->alphaF(), 1.0f);
    return std::array<int, 3>{c->red(), c->green(), c->blue()};
  };
  EXPECT_EQ(rgb("#7ED321"), (std::array<int, 3>{0x7E, 0xD3, 0x21}));
  EXPECT_EQ(rgb("#7ed321"), rgb("#7ED321"));
  EXPECT_FALSE(rgb("7ED321"));
  EXPECT_FALSE(rgb("#7ED32"));
  EXPECT_FALSE(rgb("#7ED3210"));
  EXPECT_FALSE(rgb("#GGGGGG"));
  EXPECT_FALSE(rgb(""));
  // Five digits and a letter: the five digits are the number.
  EXPECT_EQ(rgb("#12345G"), (std::array<int, 3>{0x01, 0x23, 0x45}));
  // A "0x" prefix and four digits: red is 0.
  EXPECT_EQ(rgb("#0x1234"), (std::array<int, 3>{0x00, 0x12, 0x34}));
  EXPECT_EQ(rgb("#  00FF"), (std::array<int, 3>{0x00, 0x00, 0xFF}));
  EXPECT_EQ(corvane::hexStringOfColor(*corvane::colorFromHexString("#4fe3c0")), "#4FE3C0");
}

class RectPointTest : public SettingsFixture {};

TEST_F(RectPointTest, CoordinatesOutOfRangeAreLoggedAndKept) {
  corvane::RectPoint inside(0, 0, 1, 0, 1, 1, 0, 1, *logger);
  EXPECT_TRUE(log.empty());

  corvane::RectPoint slightly(-0.0001, 0, 1, 0, 1.0001, 1, 0, 1, *logger);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find("[Debug]"), std::string::npos);
  EXPECT_NE(log[0].find("():  x1: -0.0001 should be in [0, 1]"), std::string::npos);
  EXPECT_NE(log[1].find("():  x3: 1.0001 should be in [0, 1]"), std::string::npos);
  EXPECT_EQ(slightly.x1, -0.0001);  // kept, not clamped
  log.clear();

  double nan = std::numeric_limits<double>::quiet_NaN();
  corvane::RectPoint notANumber(nan, 0, 0, 0, 0, 0, 0, 0, *logger);
  EXPECT_TRUE(log.empty());

  corvane::RectPoint fromRect(corvane::FocusRect{0.9, 0.1, 0.2, 0.5}, *logger);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find(" x2: 1.1 should be in [0, 1]"), std::string::npos);
  EXPECT_NE(log[1].find(" x3: 1.1 should be in [0, 1]"), std::string::npos);
  log.clear();

  // A negative width keeps the corners in the order given.
  corvane::RectPoint flipped(corvane::FocusRect{0.5, 0.2, -0.25, 0.5}, *logger);
  EXPECT_EQ(flipped, corvane::RectPoint(0.5, 0.2, 0.25, 0.2, 0.25, 0.7, 0.5, 0.7, *logger));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(flipped.copy(), flipped);
}

TEST(AtomicFile, ReplacesTheWholeFileAndLeavesNoTemporaryFile) {
  testsupport::TempDir dir;
  std::string path = dir.file("Custom config.json");
  writeFile(path, std::string(100000, 'x'));
  std::string error;
  ASSERT_TRUE(corvane::AtomicFile::write(path, "{}", &error)) << error;
  EXPECT_EQ(readFile(path), "{}");
  size_t entries = 0;
  for (auto& e : fs::directory_iterator(dir.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(AtomicFile, AFailedWriteKeepsTheOldContentsAndSaysWhy) {
  testsupport::TempDir dir;
  std::string error;
  EXPECT_FALSE(corvane::AtomicFile::write(dir.file("no/such/folder/x.json"), "{}", &error));
  EXPECT_FALSE(error.empty());

  // The target is a folder holding a file: the rename fails, and nothing is left behind.
  std::string target = dir.file("taken");
  writeFile(target + "/inside", "old");
  EXPECT_FALSE(corvane::AtomicFile::write(target, "new", &error));
  EXPECT_EQ(readFile(target + "/inside"), "old");
  size_t entries = 0;
  for (auto& e : fs::directory_iterator(dir.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

using testsupport::setModified;

// The temporary file of a save carries the save's own mark, hidden beside the file.
TEST(AtomicFile, TheTemporaryFileHasANameOfItsOwn) {
  struct Row {
    const char* path;
    const char* temporary;
  } rows[] = {{"/home/a/json/Custom config.json", "/home/a/json/.Custom config.json.save-XXXXXX"},
              {"/persons.json", "/.persons.json.save-XXXXXX"},
              {"Presets.json", ".Presets.json.save-XXXXXX"}};
  for (const Row& row : rows)
    EXPECT_EQ(corvane::AtomicFile::temporaryTemplate(row.path), row.temporary) << row.path;

  const std::string target = "/f/Presets.json";
  struct Name {
    const char* name;
    bool temporary;
  } names[] = {{".Presets.json.save-a1B2c3", true},  {".Presets.json.save-ZZZZZZ", true},
               {"Presets.json.a1B2c3", false},  // the old form: a person's name looks so too
               {"Presets.json.before", false},       {".Presets.json.save-abc", false},
               {".Presets.json.save-ab-c12", false}, {".Presets.json.save-a1B2c34", false},
               {"Presets.json.save-a1B2c3", false},  {".Custom config.json.save-a1B2c3", false},
               {".Presets.json.saveXa1B2c3", false}};
  for (const Name& n : names)
    EXPECT_EQ(corvane::AtomicFile::isTemporaryOf(target, n.name), n.temporary) << n.name;
}

// A save that fails says so with the file the user knows: the hidden temporary file is the
// save's own business and is gone again.
TEST(AtomicFile, AFailedSaveNamesItsFileNotTheTemporaryOne) {
  testsupport::TempDir dir;
  writeFile(dir.file("blocked"), "a file where the folder goes");
  fs::create_directories(dir.file("folder/ROI_Thumbnail_1.png"));
  struct Row {
    std::string path, reason;
  } rows[] = {
      // No temporary file can be made (as on a full disk).
      {dir.file("blocked/ROI_Thumbnail_1.png"),
       "cannot write " + dir.file("blocked/ROI_Thumbnail_1.png") + ": Not a directory"},
      // Written, but a folder stands where the file goes.
      {dir.file("folder/ROI_Thumbnail_1.png"),
       "cannot replace " + dir.file("folder/ROI_Thumbnail_1.png") + ": Is a directory"},
  };
  for (const Row& row : rows) {
    std::string why;
    EXPECT_FALSE(corvane::AtomicFile::write(row.path, "png", &why)) << row.path;
    EXPECT_EQ(why, row.reason);
    EXPECT_EQ(why.find(".save-"), std::string::npos) << why;
  }
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.file("folder")))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"ROI_Thumbnail_1.png"});
}

// A kill during a save leaves ".<file>.save-XXXXXX" beside the file; the next start removes
// exactly those no save in progress can own. A person's own copies beside the settings files,
// named like the old temporary files ("<file>." and six letters or digits), all stay.
TEST(AtomicFile, StaleTemporariesOfASaveAreRemovedAndAPersonsBackupsStay) {
  testsupport::TempDir dir;
  const auto now = std::chrono::system_clock::now();
  const auto earlier = now - std::chrono::hours(1);
  const std::vector<std::string> targets = {"corvane-studio.conf", "persons.json", "Presets.json",
                                            "Custom config.json"};
  for (const auto& target : targets) writeFile(dir.file(target), "{}");
  const std::vector<std::string> stale = {".Custom config.json.save-a1B2c3",
                                          ".Custom config.json.save-ZZZZZZ",
                                          ".persons.json.save-000000"};
  const std::vector<std::string> kept = {
      // A person's backups.
      "corvane-studio.conf.backup", "persons.json.backup", "Presets.json.before",
      "Custom config.json.2024v1", "corvane-studio.conf.old001",
      // Earlier builds' temporary form: it cannot be told from the names above.
      "Custom config.json.a1B2c3",
      // Kept copies of unreadable files, and names near the mark.
      "Custom config.json.unreadable", "Custom config.json.unreadable-20261210-013000",
      ".Custom config.json.save-abc", ".Custom config.json.save-ab-c12",
      "Custom config.json.save-a1B2c3", ".Custom config.jsonXsave-a1B2c3"};
  for (const auto& name : stale) writeFile(dir.file(name), "{\"half");
  for (const auto& name : kept) writeFile(dir.file(name), "keep");
  // A save in progress in another process: younger than a save can take.
  writeFile(dir.file(".Presets.json.save-Q1w2E3"), "[");
  fs::create_directory(dir.file(".Custom config.json.save-dir123"));
  for (const auto& name : stale) setModified(dir.file(name), earlier);
  for (const auto& name : kept) setModified(dir.file(name), earlier);
  setModified(dir.file(".Custom config.json.save-dir123"), earlier);

  std::vector<std::string> removed;
  for (const auto& target : targets)
    for (const auto& file : corvane::AtomicFile::removeStaleTemporaries(dir.file(target), now))
      removed.push_back(file);
  std::sort(removed.begin(), removed.end());
  std::vector<std::string> expected;
  for (const auto& name : stale) expected.push_back(dir.file(name));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(removed, expected);
  for (const auto& target : targets) EXPECT_TRUE(fs::exists(dir.file(target))) << target;
  for (const auto& name : kept) EXPECT_EQ(readFile(dir.file(name)), "keep") << name;
  EXPECT_TRUE(fs::exists(dir.file(".Presets.json.save-Q1w2E3")));
  EXPECT_TRUE(fs::is_directory(dir.file(".Custom config.json.save-dir123")));
  // Once it is old enough, no save owns it any more.
  EXPECT_EQ(corvane::AtomicFile::removeStaleTemporaries(
                dir.file("Presets.json"),
                now + corvane::AtomicFile::kStaleAfter + std::chrono::seconds(1)),
            std::vector<std::string>{dir.file(".Presets.json.save-Q1w2E3")});
  EXPECT_TRUE(corvane::AtomicFile::removeStaleTemporaries(dir.file("missing/x.json"), now).empty());
}
