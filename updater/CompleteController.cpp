#include "CompleteController.h"

#include <QApplication>
#include <QVBoxLayout>
#include <cctype>
#include <filesystem>
#include <vector>

#include "Bundle.h"
#include "ConfigManager.h"
#include "LanguageManager.h"
#include "LogManager.h"
#include "Process.h"
#include "Workspace.h"

namespace updater {

CompleteController::Environment CompleteController::Environment::process() {
  Environment env;
  env.workspace = &platform::Workspace::shared();
  std::filesystem::path self(platform::Bundle::executablePath());
  env.programFolder = self.parent_path().string();
  env.findProgram = [](const std::string& name) { return platform::Process::findProgram(name); };
  env.studioName = [] { return ConfigManager::shared().studioName; };
  env.terminate = [] { QApplication::quit(); };
  return env;
}

CompleteController::CompleteController(QWidget* parent)
    : CompleteController(Environment::process(), parent) {}

CompleteController::CompleteController(Environment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)) {
  auto& language = LanguageManager::shared();
  titleLabel =
      new QLabel(QString::fromStdString(language.localized("updater_complete_title_name")), this);
  titleLabel->setAlignment(Qt::AlignCenter);
  titleLabel->setStyleSheet("font-size: 20px;");
  openButton =
      new QPushButton(QString::fromStdString(language.localized("updater_open_studio_name")), this);
  openButton->setMinimumWidth(180);
  auto* layout = new QVBoxLayout(this);
  layout->addStretch();
  layout->addWidget(titleLabel);
  layout->addSpacing(16);
  layout->addWidget(openButton, 0, Qt::AlignHCenter);
  layout->addStretch();
  connect(openButton, &QPushButton::clicked, this, [this] { onClickOpenStudio(); });
}

void CompleteController::onClickOpenStudio() {
  if (!cameraName || cameraName->isEmpty()) {
    openButton->setHidden(true);
    return;
  }
  openButton->setHidden(false);
  std::string named = programName(env_.studioName ? env_.studioName() : std::string());
  std::vector<std::string> names = {named};
  if (named != kDefaultProgram) names.push_back(kDefaultProgram);
  bool opened = false;
  for (const std::string& name : names) {
    std::string beside = (std::filesystem::path(env_.programFolder) / name).string();
    std::string onPath = env_.findProgram ? env_.findProgram(name) : std::string();
    for (const std::string& path : {beside, onPath}) {
      if (opened || path.empty() || !env_.workspace) continue;
      opened = env_.workspace->openApplication(path);
    }
    if (!opened && name == named)
      UPDATER_LOG_ERROR("Cannot open the main program " + name + " (\"studio_name\")");
  }
  if (env_.terminate) env_.terminate();
}

std::string CompleteController::programName(const std::string& studioName) {
  std::string name;
  for (char c : studioName) {
    unsigned char u = static_cast<unsigned char>(c);
    if (std::isspace(u)) {
      if (!name.empty() && name.back() != '-') name += '-';
    } else if (std::isalnum(u) || c == '-' || c == '_' || c == '.') {
      name += char(std::tolower(u));
    } else {
      return kDefaultProgram;  // a slash or anything else that is no part of a file name
    }
  }
  while (!name.empty() && name.back() == '-') name.pop_back();
  if (name.empty() || name.front() == '.' || name.front() == '-') return kDefaultProgram;
  return name;
}

}  // namespace updater
