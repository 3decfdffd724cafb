#include <gtest/gtest.h>

#include "KeptCopy.h"
#include "SettingsFixture.h"

using nlohmann::json;
using namespace settingstest;

namespace {
const std::string kData = CORVANE_TEST_DATA_DIR "/config/";
}

class PresetsTest : public SettingsFixture {};

TEST_F(PresetsTest, TheShippedListLoadsWithLocalisedNamesAndSavesAsTheGolden) {
  auto config = makeConfig();
  config->loadPresets();
  EXPECT_EQ(count("loadPresets(): loadPresets from Bundle"), 1u);
  ASSERT_EQ(config->presets.size(), 5u);
  EXPECT_EQ(config->presets[1].name, "Bright");
  EXPECT_EQ(config->presets[1].displayName, "Bright");
  EXPECT_EQ(config->presets[1].ev, 0.5);
  EXPECT_EQ(config->presets[1].lighting, 65);
  EXPECT_EQ(config->customPresetTitle, "Custom");

  config->savePresetFile();
  EXPECT_EQ(parseFile(userPresets()), parseFile(kData + "presets_saved.json"))
      << readFile(userPresets());
  EXPECT_EQ(readFile(userPresets()).find('\n'), std::string::npos);

  // The user's copy wins over the default list from then on, in the same order.
  log.clear();
  auto next = makeConfig();
  next->loadPresets();
  EXPECT_EQ(count("loadPresets from Bundle"), 1u);
  EXPECT_EQ(count("loadPresets from cache folder"), 1u);
  EXPECT_EQ(next->presets, config->presets);
}

TEST_F(PresetsTest, ValuesConvertLenientlyAndTakeTheNameOfTheirPosition) {
  writeFile(tablesFolder() + "/en.json", R"({"presets_name": ["One", "Two", "Three"]})");
  writeFile(userPresets(), R"([{"ev_value": 1, "flickr_level": 0},
    {"name": "B", "ev_value": "1.5", "flickr_level": 2, "contrast_value": 3.5, "nr_value": 7},
    {"name": "C", "gamma_value": 9.0},
    {"name": "Custom", "lighting_value": 4}])");
  auto config = makeConfig();
  config->loadPresets();
  ASSERT_EQ(config->presets.size(), 4u);
  const auto& p = config->presets;
  EXPECT_EQ(p[0].name, "");
  EXPECT_EQ(p[0].displayName, "");  // no name: nothing to localise
  EXPECT_EQ(p[0].ev, 1.0);
  EXPECT_EQ(p[1].ev, 0.0);
  EXPECT_EQ(p[1].displayName, "Two");
  EXPECT_EQ(p[1].contrast, 0);
  EXPECT_EQ(p[1].nr, 7);
  EXPECT_EQ(p[2].displayName, "Three");  // the third name, whatever the preset's own
  EXPECT_EQ(p[2].gamma, 9);
  EXPECT_EQ(p[3].displayName, "Custom");  // past the list: its own name
  EXPECT_EQ(config->customPresetTitle, "Custom");
}

TEST_F(PresetsTest, BuildsWithoutAutomaticFlickerReadZeroAsOne) {
  writeFile(userPresets(), R"([{"flickr_level": 0}, {"flickr_level": 2}, {}])");
  auto config = makeConfig();
  config->disableAutoFlicker = true;
  config->loadPresets();
  EXPECT_EQ(config->presets[0].flickr, 1);
  EXPECT_EQ(config->presets[1].flickr, 2);
  EXPECT_EQ(config->presets[2].flickr, 0);
  config->disableAutoFlicker = false;
  config->loadPresets();
  EXPECT_EQ(config->presets[0].flickr, 0);
}

TEST_F(PresetsTest, EvIsSavedWithSixDecimals) {
  auto config = makeConfig();
  config->presets = {named("A", 0.1234567), named("B", 0.3)};
  config->savePresetFile();
  EXPECT_NE(readFile(userPresets()).find("\"ev_value\":0.3,"), std::string::npos);
  config->loadPresets();
  EXPECT_EQ(config->presets[0].ev, 0.123457);
  EXPECT_EQ(config->presets[1].ev, 0.3);
}

TEST_F(PresetsTest, AnEmptyUserListStaysEmpty) {
  writeFile(userPresets(), "[]");
  auto config = makeConfig();
  config->loadPresets();
  EXPECT_TRUE(config->presets.empty());
  EXPECT_EQ(count("[Error]") + count("[Warning]"), 0u);
  config->savePresetFile();
  EXPECT_EQ(readFile(userPresets()), "[]");
}

TEST_F(PresetsTest, AnUnreadableUserCopyFallsBackToTheDefaultsAndIsNeverSavedOver) {
  const std::string broken = R"([{"name": "Mine", "ev_val)";
  writeFile(userPresets(), broken);
  auto config = makeConfig();
  config->loadPresets();
  EXPECT_EQ(count("loadPresets(): Load presets JSON error"), 1u);
  ASSERT_EQ(config->presets.size(), 5u);
  EXPECT_EQ(config->presets[0].name, "Standard");
  config->savePresetFile();
  ASSERT_EQ(platform::KeptCopy::copiesOf(userPresets()).size(), 1u);
  EXPECT_EQ(readFile(platform::KeptCopy::copiesOf(userPresets())[0]), broken);
  EXPECT_EQ(parseFile(userPresets()).size(), 5u);

  // An array with a non-object element is no usable list either.
  writeFile(userPresets(), R"([{"name": "Mine"}, 3])");
  config->presets.clear();
  config->loadPresets();
  EXPECT_EQ(config->presets.size(), 5u);
}

TEST_F(PresetsTest, WithoutAnyListThePresetsStayAsTheyWere) {
  fs::remove(resource("Presets.json"));
  auto config = makeConfig();
  config->presets = {named("Kept")};
  config->loadPresets();
  EXPECT_EQ(count("Load presets JSON error"), 1u);
  ASSERT_EQ(config->presets.size(), 1u);
  writeFile(userPresets(), "{not json");
  config->loadPresets();
  EXPECT_EQ(count("Load presets JSON error"), 3u);  // the user copy, then the missing default
  EXPECT_EQ(config->presets[0].name, "Kept");
}

TEST_F(PresetsTest, RemovingAMissingFileIsLogged) {
  auto config = makeConfig();
  config->removePresetFile();
  EXPECT_EQ(count("removePresetFile(): removePresetFile error: "), 1u);
  writeFile(userPresets(), "[]");
  config->removePresetFile();
  EXPECT_FALSE(fs::exists(userPresets()));
  EXPECT_EQ(count("removePresetFile error: "), 1u);
}

TEST_F(PresetsTest, AFailedReadNamesTheCopyItsPathAndWhetherItIsMissingOrBroken) {
  writeFile(userPresets(), "{not json");
  auto config = makeConfig();
  config->loadPresets();
  EXPECT_EQ(count("Load presets JSON error: the user's copy " + userPresets() +
                  " cannot be used: the text is not valid JSON"),
            1u);
  fs::remove(resource("Presets.json"));
  fs::remove(userPresets());
  config->loadPresets();
  EXPECT_EQ(count("Load presets JSON error: the shipped copy is missing"), 1u);
}
