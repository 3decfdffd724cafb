#include "CompleteController.h"

#include <QApplication>
#include <QVBoxLayout>
#include <filesystem>

#include "Bundle.h"
#include "LanguageManager.h"
#include "LogManager.h"
#include "Process.h"
#include "Workspace.h"

namespace updater {

CompleteController::Environment CompleteController::Environment::process() {
  Environment env;
  env.workspace = &platform::Workspace::shared();
  std::filesystem::path self(platform::Bundle::executablePath());
  env.programPath = (self.parent_path() / "corvane-studio").string();
  env.fallbackProgramPath = platform::Process::findProgram("corvane-studio");
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
  bool opened = env_.workspace && env_.workspace->openApplication(env_.programPath);
  if (!opened && env_.workspace) opened = env_.workspace->openApplication(env_.fallbackProgramPath);
  if (!opened) UPDATER_LOG_ERROR("Cannot open the main program " + env_.programPath);
  if (env_.terminate) env_.terminate();
}

}  // namespace updater
