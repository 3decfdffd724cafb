#include "shell/LanguageViewController.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>

#include "Workspace.h"
#include "i18n/LanguageManager.h"
#include "i18n/Localized.h"
#include "qt/UserDefaults.h"
#include "shell/AlertManager.h"
#include "shell/LanguageRestart.h"
#include "shell/LanguagePopUpButton.h"
#include "shell/RelaunchArguments.h"
#include "shell/ShellStyle.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomView.h"

namespace corvane {

namespace {

constexpr int kWidth = 360;
constexpr int kHeight = 190;

}  // namespace

LanguageViewController::Environment LanguageViewController::Environment::process() {
  Environment env;
  env.languages = &LanguageManager::shared();
  env.defaults = &platform::UserDefaults::shared();
  env.workspace = &platform::Workspace::shared();
  // The alert service is asked for on first use: it needs the main window's controller,
  // which may be making this popup.
  env.alerts = nullptr;
  env.relaunchArguments = [] { return RelaunchArguments::process(); };
  env.terminate = [] { QCoreApplication::quit(); };
  return env;
}

LanguageViewController::LanguageViewController(Environment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)) {
  setObjectName("LanguageViewController");
  resize(kWidth, kHeight);
  viewDidLoad();
}

void LanguageViewController::viewDidLoad() {
  backgroundView_ = ShellStyle::panel(QRect(0, 0, kWidth, kHeight), this);
  titleLabel_ =
      ShellStyle::label(QRect(24, 18, kWidth - 80, 30), localizedText("menu_help_language_name"),
                        backgroundView_, 15, true);
  titleLabel_->setObjectName("titleLabel");
  closeButton_ =
      ShellStyle::tabButton(QRect(kWidth - 44, 16, 28, 28), QStringLiteral("✕"), backgroundView_);
  closeButton_->setObjectName("closeButton");
  languagePullDownButton_ = new LanguagePopUpButton(backgroundView_);
  languagePullDownButton_->setGeometry(24, 66, kWidth - 48, 32);
  okButton_ = ShellStyle::button(QRect((kWidth - 120) / 2, kHeight - 58, 120, 32),
                                 localizedText("button_ok_name"), backgroundView_);
  okButton_->setObjectName("okButton");

  connect(okButton_, &QAbstractButton::clicked, this, [this] { onClickOk(); });
  connect(closeButton_, &QAbstractButton::clicked, this, [this] { onClickClose(); });
  connect(languagePullDownButton_, &QComboBox::activated, this,
          [this] { onClickLanguagePullDownButton(); });
  // From the keyboard: the list first (it has the focus when the popup opens), OK, then close.
  QWidget::setTabOrder(languagePullDownButton_, okButton_);
  QWidget::setTabOrder(okButton_, closeButton_);
  setupLanguageList();
}

void LanguageViewController::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (!enter || !languagePullDownButton_->hasFocus()) return QWidget::keyPressEvent(event);
  if (!event->isAutoRepeat()) okButton_->click();
  event->accept();
}

void LanguageViewController::setupLanguageList() {
  if (!env_.languages) return;
  // Each language is named in the language the program shows now.
  const std::string locale = LanguageChoice::displayLocale(env_.languages->collatorIdentifier());
  languagePullDownButton_->reload(*env_.languages, [&locale](const std::string& code) {
    return LanguageChoice::displayName(code, locale);
  });
}

void LanguageViewController::onClickOk() {
  AlertManager& alerts = env_.alerts ? *env_.alerts : AlertManager::shared();
  QPointer<LanguageViewController> self(this);
  alerts.showAlert(localizedText("menu_restart_desc"), [self, &alerts](bool accepted) {
    if (!accepted || !self) return;
    const Environment& env = self->env_;
    std::string why;
    if (!LanguageRestart::apply(self->languagePullDownButton_->selectedTable(), env.defaults,
                                env.languages, env.workspace, env.relaunchArguments, &why)) {
      alerts.showMessage(localizedText("alert_language_not_saved").arg(QString::fromStdString(why)));
      return;
    }
    if (env.terminate) env.terminate();
  });
}

void LanguageViewController::onClickClose() {
  if (closeAction) closeAction();
}

}  // namespace corvane
