#pragma once

#include <QPropertyAnimation>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Bundle.h"
#include "TempDir.h"
#include "Workspace.h"
#include "i18n/LanguageManager.h"
#include "qt/UserDefaults.h"
#include "shell/AlertController.h"
#include "shell/AlertManager.h"
#include "widgets/CustomButton.h"

namespace shelltest {

using Argv = std::vector<std::string>;

// What the shell's windows stand on in a test: a window to show alerts on, an alert manager of
// its own, language tables in a temporary machine-wide folder, user defaults in a temporary
// file, and a workspace that records what it would start.
class ShellTestRig {
 public:
  ShellTestRig() {
    // Texts from the source tree's English table, whatever an earlier test left set.
    setenv("CORVANE_RESOURCES_DIR", CORVANE_SOURCE_RESOURCES_DIR, 1);
    bundle.configure({{"CFBundleName", "Corvane Studio"}}, "corvane-studio");
    host.resize(900, 600);
  }

  std::string tableFolder() const { return dir.path() + "/library/Corvane Studio/localizable"; }
  std::string table(const std::string& language) const {
    return tableFolder() + "//" + language + ".json";
  }

  // Tables named after the languages, each with its own OK text.
  void writeTables(const std::vector<std::string>& languages) {
    std::filesystem::create_directories(tableFolder());
    for (const auto& language : languages)
      std::ofstream(tableFolder() + "/" + language + ".json")
          << "{\"button_ok_name\": \"OK-" << language << "\"}";
  }

  // A language manager over the tables, the system language given.
  std::unique_ptr<corvane::LanguageManager> languages(const std::string& systemLanguage = "en") {
    corvane::LanguageManager::Environment env;
    env.bundle = &bundle;
    env.defaults = &defaults;
    env.localLibrary = dir.path() + "/library";
    env.systemLanguage = systemLanguage;
    return std::make_unique<corvane::LanguageManager>(env);
  }

  // A file that cannot be written, even by root: its folder is a file.
  std::string unwritableFile(const std::string& name) {
    std::ofstream(dir.file("not-a-folder")) << "a file where the folder goes";
    return dir.file("not-a-folder") + "/" + name;
  }

  // Runs the alert's fade to its end and answers it.
  void answerAlert(bool accept) {
    ASSERT_TRUE(alerts.isShow) << "an alert is up";
    if (auto* fade = corvane::CustomSwiftAnimator::runningFade(alert))
      fade->setCurrentTime(fade->duration());
    (accept ? alert->okButton() : alert->cancelButton())->click();
  }

  testsupport::TempDir dir;
  platform::Bundle bundle;
  platform::UserDefaults defaults{QString::fromStdString(dir.file("defaults.conf"))};
  std::vector<Argv> spawned;
  std::string executable = "/opt/Corvane \"Studio\" $HOME `id`/bin/corvane-studio";
  // What the program was started with: the file it plays.
  Argv arguments = {"/home/user/clips/demo 360.mp4"};
  platform::Workspace workspace{platform::Workspace::Environment{
      [this](const Argv& argv) { return spawned.push_back(argv), true; },
      [this] { return executable; }, nullptr, [this] { return arguments; }}};
  QWidget host;
  corvane::AlertController* alert = new corvane::AlertController(&host);
  corvane::AlertManager alerts{&host, alert};
  int terminated = 0;
};

}  // namespace shelltest
