#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>

#include "ManualClock.h"
#include "ShellTestMedia.h"
#include "ShellTestRig.h"
#include "camera/PlayerManager.h"
#include "dispatch/MainQueue.h"
#include "shell/RelaunchArguments.h"
#include "shell/LanguageChoice.h"
#include "shell/LanguagePopUpButton.h"
#include "shell/LanguageViewController.h"

namespace corvane {
namespace {

class LanguageViewControllerTest : public ::testing::Test, public shelltest::ShellTestRig {
 protected:
  std::unique_ptr<LanguageManager> manager;
  platform::UserDefaults* store = &defaults;

  std::unique_ptr<LanguageViewController> makeWindow(
      std::function<std::vector<std::string>()> relaunchArguments = {}) {
    LanguageViewController::Environment env;
    env.relaunchArguments = std::move(relaunchArguments);
    env.languages = manager.get();
    env.defaults = store;
    env.workspace = &workspace;
    env.alerts = &alerts;
    env.terminate = [this] { ++terminated; };
    return std::make_unique<LanguageViewController>(env);
  }

  static std::vector<QString> titles(const QComboBox* box) {
    std::vector<QString> out;
    for (int i = 0; i < box->count(); ++i) out.push_back(box->itemText(i));
    return out;
  }

  void selectTitle(QComboBox* box, const QString& title) {
    const int index = box->findText(title);
    ASSERT_GE(index, 0) << title.toStdString();
    box->setCurrentIndex(index);
  }
};

TEST(LanguageChoice, NamesComeFromIcuAndUnknownCodesHaveNone) {
  EXPECT_EQ(LanguageChoice::displayName("en", "en"), "English");
  EXPECT_EQ(LanguageChoice::displayName("zh-Hans", "en"), "Chinese (Simplified)");
  EXPECT_EQ(LanguageChoice::displayName("zh-Hant", "en"), "Chinese (Traditional)");
  EXPECT_EQ(LanguageChoice::displayName("en", "zh-Hans"), "英语");
  EXPECT_EQ(LanguageChoice::nativeName("zh-Hant"), "中文（繁體）");
  EXPECT_EQ(LanguageChoice::nativeName("de"), "Deutsch");
  for (const char* code : {"xx", "qqq", "", "en.json", "not a tag", "zz-Hans"})
    EXPECT_EQ(LanguageChoice::displayName(code, "en"), std::nullopt) << code;
  EXPECT_EQ(LanguageChoice::displayName("de", "not a locale"), "German")
      << "an unusable display language falls back to English";
}

TEST(LanguageChoice, ItemsKeepTheirTablesAndTheCurrentOneIsMatchedExactly) {
  auto nameOf = [](const std::string& code) { return LanguageChoice::displayName(code, "en"); };
  const std::vector<std::string> tables = {"/t//en.json", "/t//xx.json", "/t//zh-Hans.json",
                                           "/t//zh-Hant.json"};
  auto items = LanguageChoice::items(tables, nameOf);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[2], (LanguageChoice::Item{"Chinese (Traditional)", "/t//zh-Hant.json"}));
  EXPECT_EQ(LanguageChoice::currentIndex(items, "/t/zh-Hant.json"), 2) << "the same file";
  EXPECT_EQ(LanguageChoice::currentIndex(items, "/t//zh-Hans.json"), 1);
  EXPECT_EQ(LanguageChoice::currentIndex(items, "/elsewhere/zh-Hans.json"), std::nullopt);
  EXPECT_EQ(LanguageChoice::currentIndex(items, std::nullopt), std::nullopt);

  auto none = LanguageChoice::items({"/t//xx.json"}, nameOf);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0], (LanguageChoice::Item{"English", std::nullopt}));
  EXPECT_EQ(LanguageChoice::currentIndex(none, "/t//xx.json"), std::nullopt);

  EXPECT_EQ(LanguageChoice::displayLocale("zh-Hans-CN"), "zh-Hans-CN");
  EXPECT_EQ(LanguageChoice::displayLocale("/t//zh-Hant.json"), "zh-Hant");
}

TEST_F(LanguageViewControllerTest, NamesTheTablesInTheCurrentLanguageAndSelectsTheTableInUse) {
  writeTables({"en", "xx", "zh-Hans", "zh-Hant"});
  manager = languages("zh-Hant-TW");
  auto window = makeWindow();
  EXPECT_EQ(window->titleLabel()->text(), "Language");
  EXPECT_EQ(titles(window->languagePullDownButton()),
            (std::vector<QString>{"英文", "中文（簡體）", "中文（繁體）"}));
  EXPECT_EQ(window->languagePullDownButton()->currentIndex(), 2);
  EXPECT_EQ(window->languagePullDownButton()->selectedTable(), table("zh-Hant"));

  defaults.set("CurrentLanguage", QString::fromStdString(table("en")));
  manager = languages("zh-Hant-TW");
  window = makeWindow();
  EXPECT_EQ(titles(window->languagePullDownButton()),
            (std::vector<QString>{"English", "Chinese (Simplified)", "Chinese (Traditional)"}));
  EXPECT_EQ(window->languagePullDownButton()->currentIndex(), 0)
      << "the stored table, not a language the identifier merely contains";
}

TEST_F(LanguageViewControllerTest, ConfirmingStoresTheChosenTableAfterASkippedOneAndRelaunches) {
  writeTables({"en", "xx", "zh-Hans", "zh-Hant"});
  manager = languages("en");
  auto window = makeWindow();
  selectTitle(window->languagePullDownButton(), "Chinese (Traditional)");
  window->okButton()->click();
  EXPECT_EQ(alert->messageLabel()->text(),
            "Corvane Studio restarts to apply the change. Restart now?");
  EXPECT_TRUE(defaults.object("CurrentLanguage").isNull()) << "nothing before the answer";
  answerAlert(true);
  EXPECT_EQ(defaults.string("CurrentLanguage").toStdString(), table("zh-Hant"));
  ASSERT_EQ(spawned.size(), 1u);
  // The program comes back with its arguments: the file it was playing.
  EXPECT_EQ(spawned[0], (shelltest::Argv{"/bin/sh", "-c", "sleep 2; exec \"$0\" \"$@\"",
                                         executable, "/home/user/clips/demo 360.mp4"}));
  EXPECT_EQ(terminated, 1);
}

// A start now would come back in the old language without a word: the failure is told, with its
// reason, and the program keeps running in the language in force.
TEST_F(LanguageViewControllerTest, AChoiceThatCannotBeStoredIsToldAndNothingRestarts) {
  writeTables({"en", "zh-Hans", "zh-Hant"});
  manager = languages("en");
  platform::UserDefaults unwritable{QString::fromStdString(unwritableFile("defaults.conf"))};
  unwritable.set("CurrentLanguage", QString::fromStdString(table("en")));
  store = &unwritable;
  auto window = makeWindow();
  selectTitle(window->languagePullDownButton(), "Chinese (Traditional)");
  window->okButton()->click();
  answerAlert(true);
  ASSERT_TRUE(alerts.isShow) << "the failure is told";
  const QString told = alert->messageLabel()->text();
  EXPECT_TRUE(told.startsWith("The language was not changed: ")) << told.toStdString();
  EXPECT_GT(told.size(), QString("The language was not changed: ").size()) << "with its reason";
  EXPECT_TRUE(spawned.empty());
  EXPECT_EQ(terminated, 0);
  EXPECT_EQ(unwritable.string("CurrentLanguage").toStdString(), table("en"))
      << "a later quit does not store the choice behind the user's back";
  EXPECT_EQ(manager->collatorIdentifier(), "en");
  answerAlert(true);
  EXPECT_EQ(terminated, 0);
}

// A clip opened in the player window after the start comes back after the relaunch, not the
// clip the command line named.
TEST_F(LanguageViewControllerTest, TheRelaunchPlaysTheClipThatPlays) {
  shelltest::PlayerFiles& files = shelltest::playerFiles();
  ASSERT_EQ(files.error, "");
  testsupport::ManualClock clock;
  PlayerManager player(clock);
  player.loadVideo(QString::fromStdString(files.video));
  player.videoOutputQueue().drain();
  platform::MainQueue::shared().drain();
  ASSERT_EQ(player.asset(), files.video);

  writeTables({"en", "zh-Hans"});
  manager = languages("en");
  arguments = {"-style", "fusion", "/home/user/clips/demo 360.mp4"};
  auto window = makeWindow([&] {
    return RelaunchArguments::arguments(arguments, "/home/user/clips/demo 360.mp4", player.asset());
  });
  window->okButton()->click();
  answerAlert(true);
  ASSERT_EQ(spawned.size(), 1u);
  EXPECT_EQ(spawned[0], (shelltest::Argv{"/bin/sh", "-c", "sleep 2; exec \"$0\" \"$@\"",
                                         executable, "-style", "fusion", files.video}));
  player.close();
}

TEST(RelaunchArguments, TheNamedClipMakesWayForTheOneThatPlays) {
  using Argv = std::vector<std::string>;
  struct Row {
    Argv started;
    std::optional<std::string> named, playing;
    Argv want;
  } rows[] = {
      // A clip opened in the player window.
      {{"/c/demo.mp4"}, "/c/demo.mp4", "/c/other.mp4", {"/c/other.mp4"}},
      // The toolkit's options stay; a value equal to the clip is not taken for it.
      {{"-display", "demo.mp4", "demo.mp4"}, "demo.mp4", "/c/x.mp4", {"-display", "demo.mp4", "/c/x.mp4"}},
      // Started without a clip, one opened since.
      {{"-style", "fusion"}, std::nullopt, "/c/x.mp4", {"-style", "fusion", "/c/x.mp4"}},
      // Pictures play, or nothing: no clip comes back.
      {{"/c/demo.mp4"}, "/c/demo.mp4", std::nullopt, {}},
      // The same clip still plays.
      {{"/c/demo.mp4"}, "/c/demo.mp4", "/c/demo.mp4", {"/c/demo.mp4"}},
      {{}, std::nullopt, std::nullopt, {}},
  };
  for (const Row& row : rows)
    EXPECT_EQ(RelaunchArguments::arguments(row.started, row.named, row.playing), row.want);
  // A name relative to this start's folder is made absolute for the new one.
  Argv made = RelaunchArguments::arguments({}, std::nullopt, "clips/x.mp4");
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0], QDir::current().absoluteFilePath("clips/x.mp4").toStdString());
}

TEST_F(LanguageViewControllerTest, DecliningChangesNothing) {
  writeTables({"en", "zh-Hans"});
  manager = languages("en");
  auto window = makeWindow();
  selectTitle(window->languagePullDownButton(), "Chinese (Simplified)");
  window->okButton()->click();
  answerAlert(false);
  EXPECT_FALSE(defaults.contains("CurrentLanguage"));
  EXPECT_TRUE(spawned.empty());
  EXPECT_EQ(terminated, 0);
}

TEST_F(LanguageViewControllerTest, WithoutANamedTableTheEnglishItemStoresNothingButRelaunches) {
  writeTables({"xx"});
  manager = languages("en");
  auto window = makeWindow();
  ASSERT_EQ(titles(window->languagePullDownButton()), std::vector<QString>{"English"});
  EXPECT_EQ(window->languagePullDownButton()->selectedTable(), std::nullopt);
  window->okButton()->click();
  answerAlert(true);
  EXPECT_FALSE(defaults.contains("CurrentLanguage"));
  EXPECT_EQ(spawned.size(), 1u);
  EXPECT_EQ(terminated, 1);
}

TEST_F(LanguageViewControllerTest, CloseCallsTheOwnersAction) {
  manager = languages("en");
  auto window = makeWindow();
  int closes = 0;
  window->closeButton()->click();
  window->closeAction = [&] { ++closes; };
  window->closeButton()->click();
  EXPECT_EQ(closes, 1);
}

}  // namespace
}  // namespace corvane
