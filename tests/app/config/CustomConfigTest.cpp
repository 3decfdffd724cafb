#include <gtest/gtest.h>

#include "KeptCopy.h"
#include "SettingsFixture.h"

using corvane::ConfigManager;
using corvane::RectPoint;
using nlohmann::json;
using namespace settingstest;

namespace {

const std::string kData = CORVANE_TEST_DATA_DIR "/config/";

std::vector<double> corners(const RectPoint& r) {
  return {r.x1, r.y1, r.x2, r.y2, r.x3, r.y3, r.x4, r.y4};
}

const std::vector<double> kDefaultRect = {0.32, 0.2, 0.68, 0.2, 0.68, 0.8, 0.32, 0.8};

}  // namespace

class CustomConfigTest : public SettingsFixture {
 protected:
  void useResource(const std::string& name) {
    fs::copy_file(kData + name, resource("Custom config.json"),
                  fs::copy_options::overwrite_existing);
  }
  void useUserCopy(const std::string& name) {
    fs::create_directories(jsonFolder());
    fs::copy_file(kData + name, userConfig(), fs::copy_options::overwrite_existing);
  }
};

TEST_F(CustomConfigTest, GoldenFilesInAndOut) {
  useResource("custom_resource.json");
  useUserCopy("custom_user.json");
  auto config = makeConfig();
  config->loadCustomConfig();

  // Build keys come from the resource copy only, with the lenient conversions.
  EXPECT_EQ(config->version, 1.0);
  EXPECT_EQ(config->cameraNames, (std::vector<std::string>{"Kestova Camera", "KESTOVA Cam"}));
  EXPECT_EQ(config->cameraProductIds, (std::vector<std::string>{"0x1a2b", "0x1221"}));
  EXPECT_EQ(config->doaOffset, 0);  // 2.5 is no integer, and the user copy's 2 is not read
  EXPECT_EQ(config->stableRoiMax, 12);
  EXPECT_FALSE(config->gridMode);
  EXPECT_TRUE(config->bodyFitMode);
  EXPECT_FALSE(config->audioFitMode);
  EXPECT_FALSE(config->topdownMode);
  EXPECT_TRUE(config->enableFlipDoa);
  EXPECT_FALSE(config->enableStatisticsDoa);
  EXPECT_EQ(config->maxStretchRatio, 0.0);
  EXPECT_FALSE(config->enableLaunchDetect);
  EXPECT_FALSE(config->enableReport);
  EXPECT_FALSE(config->enableTutorial);

  // User state: the user copy over the resource copy.
  EXPECT_FALSE(config->enablePerspectiveProjection);
  EXPECT_EQ(config->defaultDisplayMode, 5);
  EXPECT_TRUE(config->isSingleSpeakerMode);  // absent from the user copy: pass 1 stays
  // Four-corner elements are read whatever the file's version says.
  ASSERT_EQ(config->manualFocusRect.size(), 1u);
  EXPECT_EQ(corners(config->manualFocusRect[0]),
            (std::vector<double>{0.2, 0.3, 0.6, 0.3, 0.6, 0.7, 0.2, 0.7}));
  // Per element: legacy, incomplete (skipped), four-corner.
  ASSERT_EQ(config->presentRect.size(), 2u);
  EXPECT_EQ(corners(config->presentRect[0]),
            (std::vector<double>{0.5, 0.5, 0.75, 0.5, 0.75, 0.75, 0.5, 0.75}));
  EXPECT_EQ(corners(config->presentRect[1]), (std::vector<double>{0, 0, 1, 0, 1, 1, 0, 1}));
  ASSERT_EQ(config->roiRecord1.size(), 1u);  // from the resource copy
  ASSERT_EQ(config->roiRecord2.size(), 2u);  // the element without y3 is skipped
  EXPECT_EQ(config->roiRecord2[1].x1, 0.6);
  EXPECT_TRUE(config->roiRecord3.empty());        // records never take the legacy form
  EXPECT_TRUE(config->ignoreRoiRecord1.empty());  // a non-object element: key ignored
  EXPECT_EQ(config->ignoreRoiRecord2.size(), 1u);
  EXPECT_EQ(config->roiRecord1Fov, 90);
  EXPECT_TRUE(config->roiRecord1Mirror);
  EXPECT_TRUE(config->roiRecord1DoTracking);
  EXPECT_EQ(config->roiRecord1DisplayMode, 12);
  EXPECT_EQ(config->roiRecord2DisplayMode, 10);
  EXPECT_EQ(config->roiRecord3FixRect.size(), 1u);
  EXPECT_EQ(config->roiRecord2ForcusedPreset, 4);
  ASSERT_TRUE(config->roiRecord1CustomPreset);  // pass 1 stays
  EXPECT_EQ(config->roiRecord1CustomPreset->ev, 0.5);
  ASSERT_TRUE(config->roiRecord2CustomPreset);
  EXPECT_EQ(config->roiRecord2CustomPreset->contrast, 70);
  EXPECT_FALSE(config->roiRecord3CustomPreset);
  EXPECT_EQ(config->roiRecordIndex, 1);  // 2.5 ignored
  EXPECT_EQ(count("[Error]"), 0u);
  EXPECT_EQ(count("loadCustomConfig(): loadCustomConfig from Bundle"), 1u);
  EXPECT_EQ(count("loadCustomConfig(): loadCustomConfig from cache folder"), 1u);

  config->saveConfigFile();
  json saved = parseFile(userConfig());
  json golden = parseFile(kData + "custom_saved.json");
  EXPECT_EQ(saved, golden) << readFile(userConfig());
  std::string text = readFile(userConfig());
  EXPECT_EQ(text.find('\n'), std::string::npos);  // compact
  EXPECT_NE(text.find("\"min_rect_ratio\":0.333333,"), std::string::npos);
  EXPECT_NE(text.find("\"detect_conf_threshold\":0.123457,"), std::string::npos);
  EXPECT_NE(text.find("\"detect_overlap_ratio\":0.35,"), std::string::npos);
  EXPECT_NE(text.find("\"roi_record1_base_pos\":0.123456789,"), std::string::npos);

  // What was saved comes back unchanged at the next start.
  auto next = makeConfig();
  next->loadCustomConfig();
  EXPECT_EQ(next->configDictionary(), config->configDictionary());
}

TEST_F(CustomConfigTest, SavedRectanglesSurviveARestartWithAVersionOneResource) {
  useResource("custom_resource.json");  // "version": 1.0, so the user copy keeps 1.0 too
  auto config = makeConfig();
  config->loadCustomConfig();
  config->manualFocusRect = {RectPoint(0.1, 0.1, 0.5, 0.1, 0.5, 0.5, 0.1, 0.5, *logger)};
  config->presentRect = {RectPoint(0.6, 0.6, 0.9, 0.6, 0.9, 0.9, 0.6, 0.9, *logger)};
  config->saveConfigFile();
  EXPECT_EQ(parseFile(userConfig())["version"], 1.0);

  auto next = makeConfig();
  next->loadCustomConfig();
  ASSERT_EQ(next->manualFocusRect.size(), 1u);
  EXPECT_EQ(next->manualFocusRect[0], config->manualFocusRect[0]);
  ASSERT_EQ(next->presentRect.size(), 1u);
  EXPECT_EQ(next->presentRect[0], config->presentRect[0]);
}

TEST_F(CustomConfigTest, NeitherCopyPresentChangesNothing) {
  fs::remove(resource("Custom config.json"));
  auto config = makeConfig();
  config->loadCustomConfig();
  EXPECT_EQ(count("loadCustomConfig(): Load custom config JSON error"), 2u);
  EXPECT_EQ(count("loadCustomConfig from"), 0u);
  EXPECT_TRUE(config->manualFocusRect.empty());
  EXPECT_TRUE(config->presentRect.empty());
  EXPECT_TRUE(config->cameraNames.empty());
}

TEST_F(CustomConfigTest, OnlyTheResourceCopyIsAppliedTwiceAlike) {
  auto config = makeConfig();
  config->loadCustomConfig();
  EXPECT_EQ(count("loadCustomConfig from Bundle"), 1u);
  EXPECT_EQ(count("loadCustomConfig from cache folder"), 0u);
  EXPECT_EQ(count("[Error]"), 0u);
  EXPECT_EQ(config->cameraVendorIds, std::vector<std::string>{"0x2245"});
  EXPECT_EQ(config->fov2Value, 100);
  ASSERT_EQ(config->manualFocusRect.size(), 1u);
  EXPECT_EQ(corners(config->manualFocusRect[0]), kDefaultRect);
}

TEST_F(CustomConfigTest, EmptyListsGetTheDefaultRectangleOnlyForFocusAndPresenter) {
  auto config = makeConfig();
  config->roiRecord1 = {RectPoint(0.1, 0.1, 0.2, 0.1, 0.2, 0.2, 0.1, 0.2, *logger)};
  config->applyCustomRecords(json::parse(R"({"manual_focus_rect": [], "roi_record1": []})"));
  ASSERT_EQ(config->manualFocusRect.size(), 1u);
  EXPECT_EQ(corners(config->manualFocusRect[0]), kDefaultRect);
  ASSERT_EQ(config->presentRect.size(), 1u);  // added though the key is absent
  EXPECT_TRUE(config->roiRecord1.empty());
  // A rectangle out of range is logged and kept.
  config->applyCustomRecords(json::parse(
      R"({"roi_record3": [{"x1": 0, "y1": 0, "x2": 1.25, "y2": 0, "x3": 1, "y3": 1, "x4": 0, "y4": 1}]})"));
  EXPECT_EQ(config->roiRecord3.at(0).x2, 1.25);
  EXPECT_EQ(count("[Debug]"), 1u);
  EXPECT_EQ(count(" x2: 1.25 should be in [0, 1]"), 1u);
}

TEST_F(CustomConfigTest, ABrokenOrTruncatedUserCopyNeverLosesTheUsersRecords) {
  useUserCopy("custom_user.json");
  auto config = makeConfig();
  config->loadCustomConfig();
  config->saveConfigFile();
  std::string good = readFile(userConfig());

  // A copy cut short: its records cannot be read, the build's values stand...
  std::string truncated = good.substr(0, good.size() / 2);
  writeFile(userConfig(), truncated);
  log.clear();
  auto next = makeConfig();
  next->loadCustomConfig();
  EXPECT_EQ(count("Load custom config JSON error"), 1u);
  EXPECT_TRUE(next->roiRecord2.empty());
  EXPECT_EQ(next->fov2Value, 100);
  // ...and the save at quit keeps the unreadable copy beside the new one.
  next->saveConfigFile();
  auto copies = platform::KeptCopy::copiesOf(userConfig());
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(readFile(copies[0]), truncated);
  EXPECT_TRUE(parseFile(userConfig()).is_object());
  EXPECT_EQ(count("Kept the unreadable file as " + copies[0]), 1u);

  // A readable copy is simply replaced.
  log.clear();
  auto third = makeConfig();
  third->loadCustomConfig();
  third->saveConfigFile();
  EXPECT_EQ(count("Kept the unreadable"), 0u);
  EXPECT_EQ(platform::KeptCopy::copiesOf(userConfig()), copies);

  // A second damaged start keeps its copy beside the first.
  writeFile(userConfig(), "{\"roi_record1\": [");
  auto fourth = makeConfig();
  fourth->loadCustomConfig();
  fourth->saveConfigFile();
  copies = platform::KeptCopy::copiesOf(userConfig());
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(readFile(copies[0]), truncated);
  EXPECT_EQ(readFile(copies[1]), "{\"roi_record1\": [");
}

TEST_F(CustomConfigTest, AUserCopyThatIsNoObjectIsSkippedSilently) {
  writeFile(userConfig(), "[1, 2, 3]");
  auto config = makeConfig();
  config->loadCustomConfig();
  EXPECT_EQ(count("[Error]"), 0u);
  EXPECT_EQ(config->fov1Value, 80);
}

TEST_F(CustomConfigTest, ACustomRecordPresetIsNamedAfterTheCustomPreset) {
  writeFile(tablesFolder() + "/en.json", R"({"presets_name": ["Normal", "Mine", "Extra name"]})");
  auto config = makeConfig();
  config->presets = {named("Standard"), named("Custom"), named("Extra")};
  config->applyCustomRecords(
      json::parse(R"({"roi_record1_custom_values": {"name": "Custom", "nr_value": 3}})"));
  ASSERT_TRUE(config->roiRecord1CustomPreset);
  EXPECT_EQ(config->roiRecord1CustomPreset->displayName, "Mine");
  EXPECT_EQ(config->roiRecord1CustomPreset->nr, 3);
  EXPECT_EQ(config->customPresetTitle, "Mine");

  // Without a "Custom" preset the record keeps its own name.
  config->presets.pop_back();
  config->presets.erase(config->presets.begin() + 1);
  config->applyCustomRecords(json::parse(R"({"roi_record2_custom_values": {"name": "Custom"}})"));
  EXPECT_EQ(config->roiRecord2CustomPreset->displayName, "Custom");
}

TEST_F(CustomConfigTest, TheDictionaryHoldsEveryWrittenKeyAndOnlyThose) {
  auto config = makeConfig();
  json d = json::parse(config->configDictionary().dump());
  EXPECT_EQ(d.size(), 52u + 7u + 3u * 10u + 1u);  // build, view state, records, index
  for (const char* key : {"enable_launch_detect", "show_issue_report",
                          "enable_perspective_projection", "roi_record1_custom_values"})
    EXPECT_FALSE(d.contains(key)) << key;
  EXPECT_EQ(d["manual_focus_rect"], json::array());
  config->roiRecord3CustomPreset = named("Custom", 0.1234567);
  d = json::parse(config->configDictionary().dump());
  EXPECT_EQ(d["roi_record3_custom_values"]["ev_value"], 0.123457);
}
