#include "PrivacyController.h"

#include <QVBoxLayout>

#include "LanguageManager.h"

namespace updater {

PrivacyController::PrivacyController(QWidget* parent) : QWidget(parent) {
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
  reasonLabel = new QLabel(this);
  reasonLabel->setWordWrap(true);
  reasonLabel->setTextFormat(Qt::PlainText);
  reasonLabel->setHidden(true);
  // The button does what the text asks: start the update again.
  settingButton =
      new QPushButton(QString::fromStdString(language.localized("updater_try_again_name")), this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(48, 24, 48, 24);
  layout->addStretch();
  layout->addWidget(textLabel);
  layout->addSpacing(8);
  layout->addWidget(reasonLabel);
  layout->addSpacing(16);
  layout->addWidget(settingButton, 0, Qt::AlignHCenter);
  layout->addStretch();
  connect(settingButton, &QPushButton::clicked, this, [this] { onClickSetting(); });
}

void PrivacyController::setReason(const QString& reason) {
  reasonLabel->setText(reason);
  reasonLabel->setHidden(reason.isEmpty());
}

void PrivacyController::onClickSetting() {
  if (action) action();
}

}  // namespace updater
