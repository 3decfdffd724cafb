#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "SettingsFixture.h"
#include "TestFiles.h"
#include "config/ConfigField.h"
#include "config/HexColor.h"
#include "config/LenientJson.h"
#include "util/AppExecutionMode.h"

using corvane::ConfigManager;
using namespace settingstest;

class ConfigManagerTest : public SettingsFixture {
 protected:
  std::string color(const std::optional<QColor>& c) {
    return c ? corvane::hexStringOfColor(*c) : "none";
  }
  void writeBundleConfig(const std::string& text) { writeFile(resource("Config.json"), text); }
  void writeSetting(const std::string& text) {
    writeFile(home.localLibrary() + "/Studio/config/KestovaSetting.json", text);
  }
  // The day file's event lines (without their time stamps), which the console lines in `log`
  // are not all of.
  std::vector<std::string> dayLog() const {
    std::istringstream in(readFile(logger->logFilePath()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line.size() > 20 ? line.substr(20) : std::string());
    return lines;
  }
  static long indexIn(const std::vector<std::string>& lines, const std::string& text) {
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].find(text) != std::string::npos) return static_cast<long>(i);
    return -1;
  }
};

TEST_F(ConfigManagerTest, ConstructionGivesTheInitialValuesAndTheUserFolder) {
  auto config = makeConfig();
  EXPECT_EQ(config->configFileURL, jsonFolder() + "/Custom config.json");
  EXPECT_EQ(config->presetFileURL, jsonFolder() + "/Presets.json");
  EXPECT_TRUE(fs::is_directory(jsonFolder()));
  EXPECT_EQ(config->bundleName, "Corvane Studio");
  EXPECT_EQ(config->startTimestamp, 1700000000.5);
  EXPECT_EQ(config->version, 1.0);
  EXPECT_TRUE(config->showPowerby && config->enableOta && config->defaultAutoDetect);
  EXPECT_TRUE(config->enableTutorial && config->enableLaunchDetect);
  EXPECT_TRUE(config->enablePerspectiveProjection && config->enableReport);
  EXPECT_FALSE(config->mainColor);
  EXPECT_EQ(config->roiRecord1DisplayMode, 10);
  EXPECT_EQ(config->roiRecord2DisplayMode, 10);
  EXPECT_EQ(config->roiRecord3DisplayMode, 10);
  // Every other integer field starts at 0.
  for (const auto& field : corvane::ConfigField::all()) {
    if (auto m = std::get_if<int64_t ConfigManager::*>(&field.member)) {
      if (std::string(field.name).find("DisplayMode") != std::string::npos &&
          std::string(field.name) != "defaultDisplayMode")
        continue;
      EXPECT_EQ((*config).*(*m), 0) << field.name;
    }
  }
  EXPECT_TRUE(log.empty());
}

TEST_F(ConfigManagerTest, WithoutACachesFolderTheFileLocationsAreAbsent) {
  ConfigManager::Environment e;
  e.bundle = &bundle;
  e.defaults = &defaults;
  e.logger = logger.get();
  e.runsTranslated = [] { return true; };
  ConfigManager config(std::move(e));
  EXPECT_FALSE(config.configFileURL);
  EXPECT_FALSE(config.presetFileURL);
  EXPECT_EQ(config.bundleName, "");
  EXPECT_FALSE(config.isRunningWithRosetta);
  // Loading and saving still work without them, and say why nothing was saved.
  config.loadCustomConfig();
  config.loadPresets();
  EXPECT_EQ(config.presets.size(), 5u);
  config.saveConfigFile();
  config.savePresetFile();
  config.removePresetFile();
  EXPECT_EQ(count("saveToJsonFile"), 1u);
  EXPECT_EQ(count("savePresetFile"), 1u);
  EXPECT_EQ(count("removePresetFile error: "), 1u);
}

TEST_F(ConfigManagerTest, BundleConfigurationSetsVendorColoursAndSwitches) {
  writeBundleConfig(R"({"vendor": "Velosk", "main_color": "#112233", "rect_color": 5,
                        "track_color": "#12345", "tutorial_count": 4, "dark_logo": true})");
  auto config = makeConfig();
  config->loadConfig();
  EXPECT_EQ(config->vendor, "Velosk");
  EXPECT_FALSE(config->showPowerby);
  EXPECT_TRUE(config->enableOta);
  EXPECT_EQ(color(config->mainColor), "#112233");
  EXPECT_EQ(color(config->rectColor), "#7ED321");  // not a string: the key's default
  EXPECT_EQ(color(config->trackColor), "none");    // a malformed text: no colour
  EXPECT_EQ(color(config->speakColor), "#FF9F00");
  EXPECT_EQ(color(config->focusColor), "#F8E71C");
  EXPECT_EQ(color(config->ignoreColor), "#4FE3C0");
  EXPECT_EQ(color(config->launchBarColor), "#26272C");
  EXPECT_EQ(config->tutorialCount, 4);
  EXPECT_TRUE(config->darkLogo);
  EXPECT_TRUE(log.empty());

  writeBundleConfig(R"({"vendor": "Marlo_NOOTA", "tutorial_count": "7"})");
  config->loadConfig();
  EXPECT_FALSE(config->enableOta);
  EXPECT_FALSE(config->showPowerby);
  EXPECT_EQ(config->tutorialCount, 4);  // a string leaves it
  EXPECT_EQ(color(config->trackColor), "#BD10E0");

  // Case matters: an unknown vendor turns both switches on.
  writeBundleConfig(R"({"vendor": "marlo"})");
  config->loadConfig();
  EXPECT_TRUE(config->enableOta);
  EXPECT_TRUE(config->showPowerby);
}

TEST_F(ConfigManagerTest, BrokenOrMissingBundleConfigurationChangesNothing) {
  auto config = makeConfig();
  config->vendor = "Marlo";
  config->showPowerby = true;
  writeBundleConfig(R"({"vendor": "Tob)");
  config->loadConfig();
  EXPECT_EQ(count("[Error]"), 1u);
  EXPECT_EQ(count("loadConfig(): ConfigManager load Config error"), 1u);
  EXPECT_EQ(config->vendor, "Marlo");
  EXPECT_TRUE(config->showPowerby);  // the vendor table did not run
  EXPECT_FALSE(config->mainColor);

  writeBundleConfig(R"([1, 2])");
  config->loadConfig();
  fs::remove(resource("Config.json"));
  config->loadConfig();
  EXPECT_EQ(log.size(), 1u);  // both silent
  EXPECT_FALSE(config->mainColor);
}

TEST_F(ConfigManagerTest, SettingFileSwitchesToStaging) {
  auto config = makeConfig();
  struct Case {
    const char* text;
    bool before;
    bool after;
  } cases[] = {
      {R"({"isStaging": true})", false, true},
      {R"({"isStaging": false})", true, false},
      {R"({})", true, true},
      {R"({"isStaging": 1})", false, true},
      {R"({"isStaging": 0})", true, false},
      {R"({"isStaging": 2})", false, false},
      {R"({"isStaging": "true"})", false, false},
      {R"([true])", false, false},
  };
  for (const auto& c : cases) {
    writeSetting(c.text);
    config->isStaging = c.before;
    config->loadKestovaSetting();
    EXPECT_EQ(config->isStaging, c.after) << c.text;
  }
  EXPECT_TRUE(log.empty());

  writeSetting(R"({"isStaging": tru)");
  config->isStaging = true;
  config->loadKestovaSetting();
  EXPECT_TRUE(config->isStaging);
  fs::remove(home.localLibrary() + "/Studio/config/KestovaSetting.json");
  config->loadKestovaSetting();
  // A broken file is an error; a missing one, which every user has, is not.
  EXPECT_EQ(count("[Error] [ConfigManager.cpp"), 1u);
  EXPECT_EQ(count("loadKestovaSetting(): Load kestova setting JSON error"), 1u);
  EXPECT_EQ(count("[Info] [ConfigManager.cpp"), 1u);
  EXPECT_EQ(count("loadKestovaSetting(): No setting file at"), 1u);
  EXPECT_TRUE(config->isStaging) << "a missing file changes nothing";
}

TEST_F(ConfigManagerTest, FirstLaunchStoresTheVersionAndRemovesNothing) {
  defaults.set("WindowWidth", 1280);
  writeFile(userPresets(), R"([{"name": "Mine"}])");
  auto config = makeConfig();
  config->setup();
  EXPECT_EQ(defaults.string("CurrentVersion"), "2.3.0");
  EXPECT_EQ(defaults.integer("WindowWidth"), 1280);
  ASSERT_EQ(config->presets.size(), 1u);
  EXPECT_EQ(config->presets[0].name, "Mine");
}

// Each loader runs once per start; a saved layout's custom values, read before the preset
// list, still show the list's own name for "Custom" in the user's language.
TEST_F(ConfigManagerTest, SetupLoadsEachFileOnceAndTheLayoutsCustomValuesShowTheListsName) {
  systemLanguage = "zh-Hans";
  reloadLanguages();
  defaults.set("CurrentVersion", "2.3.0");
  writeFile(userConfig(),
            R"({"roi_record2_custom_values": {"name": "Custom", "lighting_value": 50}})");
  auto config = makeConfig();
  config->setup();
  for (const char* line : {"loadCustomConfig from Bundle", "loadCustomConfig from cache folder",
                           "loadPresets from Bundle", "No setting file"})
    EXPECT_EQ(count(line), 1u) << line;
  ASSERT_TRUE(config->roiRecord2CustomPreset);
  EXPECT_EQ(config->roiRecord2CustomPreset->lighting, 50);
  EXPECT_EQ(config->customPresetTitle, "自定义");
  EXPECT_EQ(config->roiRecord2CustomPreset->displayName, config->customPresetTitle);
}

TEST_F(ConfigManagerTest, AVersionChangeWipesDefaultsAndPresetsButKeepsTheUserCopy) {
  defaults.set("CurrentVersion", "2.2.0");
  defaults.set("WindowWidth", 1280);
  defaults.set("CurrentLanguage", "/somewhere/zh-Hans.json");
  writeFile(userPresets(), R"([{"name": "Mine"}])");
  writeFile(userConfig(), R"({"roi_record1_fov": 77})");
  auto config = makeConfig();
  config->setup();
  EXPECT_EQ(defaults.keys(), QStringList{"CurrentVersion"});
  EXPECT_EQ(defaults.string("CurrentVersion"), "2.3.0");
  EXPECT_FALSE(fs::exists(userPresets()));
  EXPECT_EQ(config->presets.size(), 5u);  // the default list
  EXPECT_EQ(config->presets[0].name, "Standard");
  EXPECT_EQ(config->roiRecord1Fov, 77);
  EXPECT_EQ(count("loadPresets from cache folder"), 0u);

  // The same version again: nothing is removed.
  defaults.set("WindowWidth", 1024);
  writeFile(userPresets(), R"([{"name": "Mine"}])");
  auto again = makeConfig();
  again->setup();
  EXPECT_EQ(defaults.integer("WindowWidth"), 1024);
  EXPECT_EQ(again->presets[0].name, "Mine");
}

TEST_F(ConfigManagerTest, SetupLoadsTheFilesInOrderAndEndsWithTheFieldDump) {
  writeSetting(R"({"isStaging": true})");
  writeFile(userConfig(), R"({"default_large_navigator": true})");
  auto config = makeConfig();
  config->setup();
  auto lines = dayLog();
  long custom = indexIn(lines, "loadCustomConfig from Bundle");
  long customUser = indexIn(lines, "loadCustomConfig from cache folder");
  long presets = indexIn(lines, "loadPresets from Bundle");
  long dump = indexIn(lines, "ConfigManager properties");
  ASSERT_GE(custom, 0);
  EXPECT_LT(custom, customUser);
  EXPECT_LT(customUser, presets);
  EXPECT_LT(presets, dump);
  // Each loader saw the files before it: the setting file, the bundle configuration...
  EXPECT_TRUE(config->isStaging);
  EXPECT_EQ(color(config->mainColor), "#7ED321");
  EXPECT_EQ(config->cameraNames, std::vector<std::string>{"Kestova Camera"});
  EXPECT_EQ(config->customPresetTitle, "Custom");
  // ...and the dump shows the loaded values.
  EXPECT_GE(indexIn(lines, "isStaging = true"), dump);
  // The dump is written once, into the day file: the console does not repeat it, nor does the
  // control board's own call that follows the set-up.
  EXPECT_EQ(count("ConfigManager properties"), 0u);
  EXPECT_EQ(count("isStaging = true"), 0u);
  EXPECT_EQ(viewModel.splitWindow->value(), true);
  config->defaultLargeNavigator = false;
  viewModel.loadConfig(*config, *logger);
  EXPECT_EQ(viewModel.splitWindow->value(), false);
  lines = dayLog();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) {
                            return l.find("ConfigManager properties") != std::string::npos;
                          }),
            1);
}

TEST_F(ConfigManagerTest, SetupWithoutAProgramVersionKeepsTheStoredSettings) {
  bundle.configure({{"CFBundleExecutable", "corvane-studio"}}, "corvane-studio");
  defaults.set("CurrentVersion", "1.0.0");
  defaults.set("WindowWidth", 1280);
  auto config = makeConfig();
  config->setup();
  EXPECT_EQ(defaults.string("CurrentVersion"), "1.0.0");
  EXPECT_EQ(defaults.integer("WindowWidth"), 1280);
  EXPECT_EQ(count("[Warning]"), 1u);
  EXPECT_EQ(config->presets.size(), 5u);
}

TEST_F(ConfigManagerTest, TheFieldDumpListsEveryFieldInDeclarationOrder) {
  auto config = makeConfig();
  config->loadConfig();
  config->loadCustomConfig();
  config->loadPresets();
  log.clear();
  bool listenerSaw = false;
  viewModel.splitWindow->bind([&](bool v) { listenerSaw = v; });
  config->defaultLargeNavigator = true;
  size_t before = dayLog().size();
  viewModel.loadConfig(*config, *logger);
  platform::MainQueue::shared().drain();
  EXPECT_TRUE(listenerSaw);

  EXPECT_TRUE(log.empty());  // the day file only
  auto dump = dayLog();
  dump.erase(dump.begin(), dump.begin() + long(before));
  ASSERT_EQ(dump.size(), 116u + 3u);
  std::vector<std::string> messages;
  for (const auto& l : dump) {
    EXPECT_EQ(l.rfind("[Info] [ControlBoardViewModel.cpp:", 0), 0u) << l;
    EXPECT_NE(l.find("], loadConfig(): "), std::string::npos) << l;
    messages.push_back(l.substr(l.find("loadConfig(): ") + 14));
  }
  const std::string rule(46, '=');
  EXPECT_EQ(messages.front(), rule);
  EXPECT_EQ(messages[1], "ConfigManager properties");
  EXPECT_EQ(messages.back(), rule);
  EXPECT_EQ(messages[2], "isRunningWithRosetta = false");
  EXPECT_EQ(messages[3], "configFileURL = " + jsonFolder() + "/Custom config.json");
  EXPECT_EQ(messages[6], "vendor = ");
  EXPECT_EQ(messages[10], "mainColor = #7ED321");
  EXPECT_EQ(messages[17], "version = 2.0");
  EXPECT_EQ(messages[2 + 44], "cameraNames = [\"Kestova Camera\"]");
  EXPECT_EQ(messages[2 + 46], "cameraVendorIds = [\"0x2245\"]");
  EXPECT_EQ(messages[2 + 57], "defaultLargeNavigator = true");
  EXPECT_EQ(messages[2 + 73].rfind("presets = [Standard (Standard; ev 0.0, flickr 0, ", 0), 0u);
  EXPECT_EQ(messages[2 + 74],
            "manualFocusRect = [{(0.32, 0.2), (0.68, 0.2), (0.68, 0.8), (0.32, 0.8)}]");
  EXPECT_EQ(messages[2 + 76], "roiRecord1 = []");
  EXPECT_EQ(messages[2 + 97], "roiRecord1DisplayMode = 10");
  EXPECT_EQ(messages[2 + 106], "roiRecord1CustomPreset = nil");
  EXPECT_EQ(messages[2 + 113], "customPresetTitle = Custom");
  EXPECT_EQ(messages[2 + 114], "startTimestamp = 1700000000.5");
  EXPECT_EQ(messages[2 + 115], "bundleName = Corvane Studio");
  // The dump's names are the fields' names, each once.
  std::set<std::string> names;
  for (size_t i = 2; i < messages.size() - 1; ++i)
    names.insert(messages[i].substr(0, messages[i].find(" = ")));
  EXPECT_EQ(names.size(), 116u);
}

// Ten thousand presets (or one long name) once put two lines of more than a megabyte into every
// start's log: the dump shows the first few elements of a list and a bounded value.
TEST_F(ConfigManagerTest, TheFieldDumpCutsLongListsAndValues) {
  std::string presets = "[";
  for (int i = 0; i < 10000; ++i)
    presets += (i ? "," : "") + std::string(R"({"name": "Preset )") + std::to_string(i) +
               R"(", "ev_value": 0.5, "contrast_value": 3})";
  writeFile(userPresets(), presets + "]");
  size_t before = readFile(logger->logFilePath()).size();
  auto config = makeConfig();
  config->setup();
  ASSERT_EQ(config->presets.size(), 10000u);
  auto lines = dayLog();
  long presetsLine = indexIn(lines, "loadConfig(): presets = [Preset 0 (");
  ASSERT_GE(presetsLine, 0);
  const std::string& shown = lines[size_t(presetsLine)];
  EXPECT_NE(shown.find("Preset 9 ("), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Preset 10 ("), std::string::npos) << shown;
  EXPECT_NE(shown.find(", ... (9990 more)]"), std::string::npos) << shown;
  EXPECT_LE(shown.size(), corvane::ConfigField::kDumpValueBytes + 200);
  // The whole start writes some kilobytes, as with the shipped files.
  EXPECT_LT(readFile(logger->logFilePath()).size() - before, 64u * 1024);

  // One long name: the value is cut, at a character, with the count of what was left out.
  // The letter é ("\xC3\xA9") stands across the bound: it is left out whole.
  writeFile(userPresets(), R"([{"name": ")" + std::string(2046, 'n') + "\xC3\xA9" +
                               std::string(100000, 'n') + R"("}])");
  config = makeConfig();
  config->setup();
  corvane::ControlBoardViewModel another;  // the first has dumped already
  another.loadConfig(*config, *logger);
  lines = dayLog();
  long nameLine = indexIn(lines, "loadConfig(): presets = [nnnn");
  ASSERT_GE(nameLine, 0);
  EXPECT_NE(lines[size_t(nameLine)].find("nnn... ("), std::string::npos);
  EXPECT_EQ(lines[size_t(nameLine)].find('\xC3'), std::string::npos);
  EXPECT_NE(lines[size_t(nameLine)].find(" bytes more, "), std::string::npos)
      << lines[size_t(nameLine)];
  EXPECT_LE(lines[size_t(nameLine)].size(), corvane::ConfigField::kDumpValueBytes + 200);
}

TEST_F(ConfigManagerTest, TheProcessAsksTheExecutionModeWhetherItRunsTranslated) {
  auto env = ConfigManager::Environment::process();
  ASSERT_TRUE(env.runsTranslated);
  EXPECT_EQ(env.runsTranslated(),
            corvane::AppExecutionMode::current() == corvane::AppExecutionMode::emulated);
}

// Each settings file the user's folders or the machine-wide folder hold, made hostile: the
// start goes on at once with the defaults, and one error line names the file and the reason.
TEST_F(ConfigManagerTest, HostileSettingsFilesAreRefusedAndTheDefaultsStand) {
  const std::string setting = home.localLibrary() + "/Studio/config/KestovaSetting.json";
  for (const std::string& file : {userConfig(), userPresets(), setting}) {
    for (const auto& hostile : testsupport::hostileFiles()) {
      SCOPED_TRACE(file + " as " + hostile.name);
      for (const std::string& f : {userConfig(), userPresets(), setting}) {
        fs::remove_all(f);
        fs::remove_all(f + ".unreadable");
      }
      // Valid JSON when oversized: 100 MB of it once took seconds and gigabytes to read.
      testsupport::makeHostileFile(hostile, file, corvane::LenientJson::kMaxFileBytes);
      log.clear();
      auto config = makeConfig();
      config->setup();
      EXPECT_FALSE(config->isStaging);
      EXPECT_EQ(config->presets.size(), 5u);
      EXPECT_EQ(config->customPresetTitle, "Custom");
      EXPECT_EQ(count(file + " cannot be used: " + hostile.reason), 1u);
    }
  }
}
