#include <gtest/gtest.h>

#include <QImage>

#include "BoundedFile.h"
#include "SettingsFixture.h"
#include "TestFiles.h"

using corvane::LanguageManager;
using namespace settingstest;

class LanguageManagerTest : public SettingsFixture {
 protected:
  void writeTable(const std::string& name, const std::string& text) {
    writeFile(tablesFolder() + "/" + name, text);
  }
  void writeStandardTables() {
    writeTable("en.json", R"({"button_ok_name": "OK from the folder", "only_en": "English only"})");
    writeTable("zh-Hans.json", R"({"button_ok_name": "确定"})");
    writeTable("zh-Hant.json", R"({"button_ok_name": "確定"})");
    writeTable(".DS_Store", "junk");
  }
  std::string entry(const std::string& name) { return tablesFolder() + "//" + name; }
};

TEST_F(LanguageManagerTest, WithoutTheFolderEverythingComesFromTheResourcesEnglish) {
  fs::remove_all(tablesFolder());
  auto& l = languages();
  EXPECT_TRUE(l.localizableList.empty());
  EXPECT_EQ(count("[Info] [LanguageManager.cpp:"), 1u);
  EXPECT_EQ(count("getLocalizableList(): No language tables at " + tablesFolder() +
                  "/ (they are optional): the bundle's English table stands in"),
            1u);
  EXPECT_EQ(l.languages, corvane::Languages::system);
  EXPECT_EQ(l.collatorIdentifier(), "en-US");
  EXPECT_EQ(l.localized("button_ok_name"), "OK");
  EXPECT_EQ(l.localized("effect_panel_50hz_name"), "50 Hz");
  EXPECT_EQ(l.localized("no_such_key"), "no_such_key");
  // The folder is optional: its absence is said, as information, not as an error.
  EXPECT_EQ(count("[Error]"), 0u);
  EXPECT_EQ(count("rror"), 0u);
}

TEST_F(LanguageManagerTest, TheSystemLanguageChoosesTheTableByTag) {
  writeStandardTables();
  systemLanguage = "zh-Hans-CN";
  auto& l = languages();
  EXPECT_EQ(l.localizableList, (std::vector<std::string>{entry("en.json"), entry("zh-Hans.json"),
                                                         entry("zh-Hant.json")}));
  EXPECT_EQ(l.currentTablePath(), entry("zh-Hans.json"));
  EXPECT_EQ(l.localized("button_ok_name"), "确定");
  // A key the table lacks comes from the resources' English table, not the folder's.
  EXPECT_EQ(l.localized("button_cancel_name"), "Cancel");
  EXPECT_EQ(l.localized("only_en"), "only_en");

  l.setCollatorIdentifier("fr-FR");
  EXPECT_EQ(l.currentTablePath(), entry("en.json"));
  l.setCollatorIdentifier("zh-Hant-TW");
  EXPECT_EQ(l.localized("button_ok_name"), "確定");
}

TEST_F(LanguageManagerTest, AStoredChoiceUsesExactlyThatTable) {
  writeStandardTables();
  // "zh" is in the stored path too, and sorts after "zh-Hant": matching names by substring
  // would pick it.
  writeTable("zh.json", R"({"button_ok_name": "wrong"})");
  defaults.set("CurrentLanguage", QString::fromStdString(entry("zh-Hant.json")));
  auto& l = languages();
  EXPECT_EQ(l.collatorIdentifier(), entry("zh-Hant.json"));
  EXPECT_EQ(l.currentTablePath(), entry("zh-Hant.json"));
  EXPECT_EQ(l.localized("button_ok_name"), "確定");

  // A stored table that is gone: the system's language decides.
  l.setCollatorIdentifier(tablesFolder() + "//de.json");
  EXPECT_EQ(l.currentTablePath(), entry("en.json"));
}

TEST_F(LanguageManagerTest, AnUnreadableTableFallsBackToEnglishThenTheKey) {
  writeTable("en.json", R"({"button_ok_name": )");
  auto& l = languages();
  EXPECT_EQ(l.localized("button_ok_name"), "OK");
  // Logged once for the whole load, naming the table, however many strings are looked up.
  for (int i = 0; i < 100; ++i) l.localized("button_cancel_name");
  EXPECT_EQ(count("String to JSON error: " + entry("en.json") + ": "), 1u);
  EXPECT_EQ(count("[Error]"), 1u);

  writeFile(resource("en.json"), "{broken");
  reloadLanguages();
  EXPECT_EQ(languages().localized("button_ok_name"), "button_ok_name");
  EXPECT_EQ(count("String to JSON error: " + resource("en.json") + ": "), 1u);
  fs::remove(resource("en.json"));
  fs::remove(tablesFolder() + "/en.json");
  reloadLanguages();
  EXPECT_EQ(languages().localized("button_ok_name"), "button_ok_name");
  EXPECT_EQ(count("Get string file error: no file"), 1u);  // no table at all, said once
}

// A table is read and parsed once per load: later changes to the file wait for the next load,
// and a lookup costs no file access.
TEST_F(LanguageManagerTest, ATableIsParsedOncePerLoadAndKept) {
  writeTable("en.json", R"({"presets_name": ["A", "B", "C"], "button_ok_name": "First"})");
  auto& l = languages();
  EXPECT_EQ(l.localized("button_ok_name"), "First");
  writeTable("en.json", R"({"button_ok_name": "Second"})");
  EXPECT_EQ(l.localized("button_ok_name"), "First");
  EXPECT_EQ(l.localizedPresetName("own", 2), "C");
  reloadLanguages();
  EXPECT_EQ(languages().localized("button_ok_name"), "Second");
}

// Hostile tables are refused without hanging or filling the memory, logged once with the path.
TEST_F(LanguageManagerTest, ATableThatIsNoRegularFileOrTooLargeIsRefused) {
  const std::string table = tablesFolder() + "/en.json";
  for (const auto& hostile : testsupport::hostileFiles()) {
    SCOPED_TRACE(hostile.name);
    testsupport::makeHostileFile(hostile, table, platform::BoundedFile::kLanguageTableBytes);
    log.clear();
    reloadLanguages();
    EXPECT_EQ(languages().localized("button_ok_name"), "OK");  // the resources' English
    EXPECT_EQ(languages().localized("button_cancel_name"), "Cancel");
    EXPECT_EQ(count("Get string file error: " + entry("en.json") + ": " + hostile.reason), 1u);
  }
  fs::remove_all(table);
}

TEST_F(LanguageManagerTest, PresetNamesComeByPosition) {
  writeTable("en.json", R"({"presets_name": ["A", "B", "C"]})");
  auto& l = languages();
  EXPECT_EQ(l.localizedPresetName("own", 1), "B");
  EXPECT_EQ(l.localizedPresetName("own", 5), "own");
  EXPECT_EQ(l.localizedPresetName("own", -1), "own");
  writeTable("en.json", R"({"presets_name": ["A", 2]})");
  reloadLanguages();
  EXPECT_EQ(languages().localizedPresetName("own", 0), "own");
}

TEST_F(LanguageManagerTest, LocalisedPicturesAreFoundByLanguage) {
  std::string folder = home.localLibrary() + "/Corvane Studio/Resource/";
  QImage red(4, 4, QImage::Format_RGB32);
  red.fill(Qt::red);
  fs::create_directories(folder);
  ASSERT_TRUE(red.save(QString::fromStdString(folder + "img_tutorial_p01_en.png")));
  auto& l = languages();
  EXPECT_EQ(l.localizedResourcePath("img_tutorial_p01"), folder + "img_tutorial_p01_en.png");
  writeFile(folder + "img_tutorial_p01_en.jpg", "not really a picture");
  EXPECT_EQ(l.localizedResourcePath("img_tutorial_p01"), folder + "img_tutorial_p01_en.jpg");
  // An unloadable picture gives the resources' plain one.
  QImage blue(2, 2, QImage::Format_RGB32);
  blue.fill(Qt::blue);
  ASSERT_TRUE(blue.save(QString::fromStdString(resource("img_tutorial_p01.png"))));
  EXPECT_EQ(l.localizedImage("img_tutorial_p01").size(), QSize(2, 2));

  l.setCollatorIdentifier("/some/where/zh-Hant.json");
  EXPECT_FALSE(l.localizedResourcePath("img_tutorial_p01"));
  writeFile(folder + "img_tutorial_p01_zh-Hant.pdf", "%PDF");
  EXPECT_EQ(l.localizedResourcePath("img_tutorial_p01"), folder + "img_tutorial_p01_zh-Hant.pdf");
  l.setCollatorIdentifier("");
  EXPECT_FALSE(l.localizedResourcePath("img_tutorial_p01"));
  EXPECT_TRUE(l.localizedImage("no_such_picture").isNull());
}

TEST(LanguageTags, SystemLocaleNamesBecomeLanguageTags) {
  EXPECT_EQ(LanguageManager::systemLanguageTag("zh_CN.UTF-8"), "zh-Hans-CN");
  EXPECT_EQ(LanguageManager::systemLanguageTag("zh_TW.UTF-8"), "zh-Hant-TW");
  EXPECT_EQ(LanguageManager::systemLanguageTag("zh_HK"), "zh-Hant-HK");
  EXPECT_EQ(LanguageManager::systemLanguageTag("zh"), "zh-Hans");
  EXPECT_EQ(LanguageManager::systemLanguageTag("en_US.UTF-8"), "en-US");
  EXPECT_EQ(LanguageManager::systemLanguageTag("de_DE@euro"), "de-DE");
  EXPECT_EQ(LanguageManager::systemLanguageTag("C.UTF-8"), "en");
  EXPECT_EQ(LanguageManager::systemLanguageTag(""), "en");
  EXPECT_EQ(corvane::languagesFromRaw("zh-Hant"), corvane::Languages::zh_TW);
  EXPECT_FALSE(corvane::languagesFromRaw("fr"));
}

TEST(ShippedTables, EveryLanguageHasTheEnglishKeys) {
  const std::string dir = CORVANE_SOURCE_RESOURCES_DIR;
  auto en = parseFile(dir + "/en.json");
  ASSERT_TRUE(en.is_object());
  EXPECT_EQ(parseFile(dir + "/localizable/en.json"), en);
  auto presets = parseFile(dir + "/Presets.json");
  for (const char* name : {"en", "zh-Hans", "zh-Hant"}) {
    auto table = parseFile(dir + "/localizable/" + name + ".json");
    ASSERT_TRUE(table.is_object()) << name;
    for (const auto& [key, value] : en.items()) {
      ASSERT_TRUE(table.contains(key)) << name << " lacks " << key;
      EXPECT_EQ(table[key].type(), value.type()) << name << " " << key;
    }
    EXPECT_EQ(table.size(), en.size()) << name;
    EXPECT_EQ(table["presets_name"].size(), presets.size()) << name;
  }
  for (size_t i = 0; i < presets.size(); ++i) EXPECT_EQ(en["presets_name"][i], presets[i]["name"]);
}
