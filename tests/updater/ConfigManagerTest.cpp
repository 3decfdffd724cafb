#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "ConfigManager.h"
#include "TempDir.h"

using updater::ConfigManager;
namespace fs = std::filesystem;

namespace {

class UpdaterConfigTest : public ::testing::Test {
 protected:
  void write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
  }
  void resource(const std::string& name, const std::string& text) {
    write(dir.file("resources/" + name), text);
  }
  std::string library() const { return dir.file("library"); }

  std::unique_ptr<ConfigManager> make(bool withLibrary = true) {
    ConfigManager::Environment env;
    std::string folder = dir.file("resources");
    env.resourcePath = [folder](const std::string& name) -> std::optional<std::string> {
      std::string p = folder + "/" + name;
      if (!fs::exists(p)) return std::nullopt;
      return p;
    };
    if (withLibrary) env.localLibrary = library();
    return std::make_unique<ConfigManager>(std::move(env));
  }

  testsupport::TempDir dir;
};

}  // namespace

TEST_F(UpdaterConfigTest, WithoutAnyFileTheDefaultsHold) {
  auto c = make();
  c->loadUpdaterConfig();
  c->loadCustomConfig();
  c->loadKestovaSetting();
  EXPECT_EQ(c->companyNo, "TOLMIR");
  EXPECT_EQ(c->studioName, "Kestova Studio");
  EXPECT_EQ(c->bundleName, "Kestova Studio");
  EXPECT_EQ(c->vidAudio, 0x2E8B);
  EXPECT_EQ(c->pidAudio, 0x5003);
  EXPECT_TRUE(c->audioVids.empty());
  EXPECT_TRUE(c->cameraNames.empty());
  EXPECT_FALSE(c->isStaging);
  EXPECT_EQ(c->audioIdsForCamera("0x2245", "0x1221"), std::make_pair(0x2E8BL, 0x5003L));
}

TEST_F(UpdaterConfigTest, AudioIdsAreANumberOrALists) {
  resource("Updater config.json",
           R"({"company_no": "ACME", "studio_name": "X", "vid_audio": 8192, "pid_audio": [1, 2]})");
  auto c = make();
  c->loadUpdaterConfig();
  EXPECT_EQ(c->companyNo, "ACME");
  EXPECT_EQ(c->studioName, "X");
  EXPECT_EQ(c->bundleName, "X");
  EXPECT_EQ(c->vidAudio, 8192);
  EXPECT_TRUE(c->audioVids.empty());
  EXPECT_EQ(c->pidAudio, 0x5003);
  EXPECT_EQ(c->audioPids, (std::vector<int64_t>{1, 2}));

  resource("Updater config.json", R"({"vid_audio": [8192, 8193]})");
  auto d = make();
  d->loadUpdaterConfig();
  EXPECT_EQ(d->audioVids, (std::vector<int64_t>{8192, 8193}));
  EXPECT_EQ(d->vidAudio, 0x2E8B);
}

TEST_F(UpdaterConfigTest, ValuesOfAnotherTypeAreIgnored) {
  resource("Updater config.json",
           R"({"company_no": 7, "studio_name": ["X"], "vid_audio": "8192", "pid_audio": [1, "2"],
               "vid_video": "0x2245", "pid_video": ["0x1221", 3], "cloud_base_url": "http://a"})");
  auto c = make();
  c->loadUpdaterConfig();
  EXPECT_EQ(c->companyNo, "TOLMIR");
  EXPECT_EQ(c->studioName, "Kestova Studio");
  EXPECT_EQ(c->vidAudio, 0x2E8B);
  EXPECT_TRUE(c->audioPids.empty());
  EXPECT_TRUE(c->videoVids.empty());
  EXPECT_TRUE(c->videoPids.empty());
  EXPECT_EQ(c->cloudBaseURL, "http://a");
}

TEST_F(UpdaterConfigTest, BrokenFilesLeaveEverythingAsItWas) {
  resource("Updater config.json", R"({"company_no": "ACME",)");
  resource("Custom config.json", "not json");
  write(library() + "/Studio/config/KestovaSetting.json", "{");
  auto c = make();
  c->loadUpdaterConfig();
  c->loadCustomConfig();
  c->loadKestovaSetting();
  EXPECT_EQ(c->companyNo, "TOLMIR");
  EXPECT_TRUE(c->cameraNames.empty());
  EXPECT_FALSE(c->isStaging);

  resource("Updater config.json", "[1, 2]");
  c->loadUpdaterConfig();
  EXPECT_EQ(c->companyNo, "TOLMIR");
}

TEST_F(UpdaterConfigTest, TheCustomConfigurationComesFromTheStudioFolderOfTheStudioName) {
  resource("Custom config.json", R"({"camera_name": ["Bundled"], "camera_vid": ["0x1"]})");
  resource("Updater config.json", R"({"studio_name": "X"})");
  write(library() + "/X/config/Custom config.json",
        R"({"camera_name": ["Kestova Camera", "Other"], "camera_vid": ["0x2245"],
            "camera_pid": ["0x1221"], "unused": true})");
  write(library() + "/Kestova Studio/config/Custom config.json",
        R"({"camera_name": ["Wrong folder"]})");
  auto c = make();
  c->loadUpdaterConfig();
  c->loadCustomConfig();
  EXPECT_EQ(c->studioCustomConfigPath(), library() + "/X/config/Custom config.json");
  EXPECT_EQ(c->cameraNames, (std::vector<std::string>{"Kestova Camera", "Other"}));
  EXPECT_EQ(c->cameraVendorIds, (std::vector<std::string>{"0x2245"}));
  EXPECT_EQ(c->cameraProductIds, (std::vector<std::string>{"0x1221"}));

  // Not in the studio folder: the bundled file; a list of another type is ignored.
  fs::remove(library() + "/X/config/Custom config.json");
  resource("Custom config.json", R"({"camera_name": ["Bundled"], "camera_vid": "0x1"})");
  auto d = make();
  d->loadUpdaterConfig();
  d->loadCustomConfig();
  EXPECT_EQ(d->cameraNames, (std::vector<std::string>{"Bundled"}));
  EXPECT_TRUE(d->cameraVendorIds.empty());

  // Without a Library folder the bundled file is used as well.
  auto e = make(false);
  e->loadCustomConfig();
  EXPECT_EQ(e->cameraNames, (std::vector<std::string>{"Bundled"}));
}

TEST_F(UpdaterConfigTest, OnlyABooleanIsStagingCounts) {
  std::string path = library() + "/Studio/config/KestovaSetting.json";
  const std::map<std::string, bool> cases = {{R"({"isStaging": true})", true},
                                             {R"({"isStaging": 1})", false},
                                             {R"({"isStaging": "true"})", false},
                                             {R"({"other": true})", false},
                                             {R"({"isStaging": false})", false}};
  for (const auto& [text, expected] : cases) {
    write(path, text);
    auto c = make();
    c->loadKestovaSetting();
    EXPECT_EQ(c->isStaging, expected) << text;
  }
}

TEST_F(UpdaterConfigTest, AudioIdsFollowTheCameraThroughTheVideoLists) {
  auto c = make();
  c->vidAudio = 0;
  c->pidAudio = 0;
  EXPECT_EQ(c->audioIdsForCamera("0x2245", "0x1221"), std::make_pair(0x2E8BL, 0x5003L));
  c->vidAudio = 0x1111;
  c->pidAudio = 0x2222;
  EXPECT_EQ(c->audioIdsForCamera("0x2245", "0x1221"), std::make_pair(0x1111L, 0x2222L));

  c->videoVids = {"0x2245"};
  c->videoPids = {"0x1221", "0x1222", "0x1223"};
  c->audioVids = {10, 11};
  c->audioPids = {20, 21, 22};
  EXPECT_EQ(c->audioIdsForCamera("0x2245", "0x1222"), std::make_pair(11L, 21L));
  // Index 2 lies beyond the vendor list: skipped, and with no other match the defaults.
  EXPECT_EQ(c->audioIdsForCamera("0x2245", "0x1223"), std::make_pair(0x2E8BL, 0x5003L));
  EXPECT_EQ(c->audioIdsForCamera("0x9999", "0x1221"), std::make_pair(0x2E8BL, 0x5003L));
  // The last match wins.
  c->videoPids = {"0x1221", "0x1221"};
  EXPECT_EQ(c->audioIdsForCamera("0x2245", "0x1221"), std::make_pair(11L, 21L));
  c->videoVids.clear();
  EXPECT_EQ(c->audioIdsForCamera("0x2245", "0x1221"), std::make_pair(0x2E8BL, 0x5003L));
}

TEST(UpdaterShippedConfig, TheResourcesReadAsTheirFields) {
  ConfigManager::Environment env;
  env.resourcePath = [](const std::string& name) -> std::optional<std::string> {
    return std::string(CORVANE_SOURCE_DIR) + "/resources/updater/" + name;
  };
  ConfigManager c(std::move(env));
  c.loadUpdaterConfig();
  c.loadCustomConfig();
  EXPECT_EQ(c.studioName, "Corvane Studio");
  EXPECT_EQ(c.cameraVendorIds, (std::vector<std::string>{"0x2245"}));
  EXPECT_EQ(c.cameraNames, (std::vector<std::string>{"Kestova Camera"}));
  EXPECT_FALSE(c.cloudBaseURL.empty());
}
