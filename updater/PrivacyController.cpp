#include "PrivacyController.h"

#include <QVBoxLayout>

#include "LanguageManager.h"
#include "LogManager.h"
#include "Process.h"
#include "Workspace.h"

namespace updater {

namespace {

// The desktop's privacy settings, where the desktop has a settings program that shows them.
bool openPrivacySettings() {
  std::string program = platform::Process::findProgram("gnome-control-center");
  if (!program.empty()) return platform::Workspace::shared().openApplication(program, {"privacy"});
  program = platform::Process::findProgram("systemsettings");
  if (!program.empty()) return platform::Workspace::shared().openApplication(program);
  return false;
}

}  // namespace

PrivacyController::PrivacyController(QWidget* parent)
    : PrivacyController(openPrivacySettings, parent) {}

PrivacyController::PrivacyController(std::function<bool()> openSettings, QWidget* parent)
    : QWidget(parent), openSettings_(std::move(openSettings)) {
  auto& language = LanguageManager::shared();
  QString text = QString::fromStdString(language.localized("updater_privacy_text_name"));
  textLabel = new QLabel(this);
  textLabel->setWordWrap(true);
  textLabel->setTextFormat(Qt::RichText);
  // 16-point text with lines 24 apart.
  textLabel->setText(
      "<div style=\"font-family: 'Helvetica Neue', Helvetica, sans-serif;"
      " font-size: 16px; line-height: 24px;\">" +
      text.toHtmlEscaped() + "</div>");
  textLabel->setProperty("plainText", text);
  settingButton = new QPushButton(
      QString::fromStdString(language.localized("updater_privacy_setting_name")), this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(48, 24, 48, 24);
  layout->addStretch();
  layout->addWidget(textLabel);
  layout->addSpacing(16);
  layout->addWidget(settingButton, 0, Qt::AlignHCenter);
  layout->addStretch();
  connect(settingButton, &QPushButton::clicked, this, [this] { onClickSetting(); });
}

void PrivacyController::onClickSetting() {
  if (!openSettings_ || !openSettings_()) UPDATER_LOG_ERROR("Cannot open the privacy settings");
}

}  // namespace updater
