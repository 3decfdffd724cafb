#include "shell/ShellPopups.h"

#include <QEvent>
#include <memory>

#include "widgets/ViewRouter.h"

namespace corvane {

ShellPopups::Factories ShellPopups::Factories::process() {
  Factories f;
  f.language = [] {
    return new LanguageViewController(LanguageViewController::Environment::process());
  };
  f.setting = [] {
    return new SettingViewController(SettingViewController::Environment::process());
  };
  return f;
}

void ShellPopups::install(std::function<void()>& languageEvent,
                          std::function<void()>& preferencesEvent, Factories factories) {
  auto popups = std::make_shared<QPointer<ShellPopups>>();
  auto shared = [popups, factories]() -> ShellPopups* {
    if (!*popups) {
      QWidget* host = ViewRouter::shared().mainController();
      if (!host) return nullptr;
      *popups = new ShellPopups(host, factories);
    }
    return *popups;
  };
  languageEvent = [shared] {
    if (ShellPopups* p = shared()) p->showLanguage();
  };
  preferencesEvent = [shared] {
    if (ShellPopups* p = shared()) p->showSettings();
  };
}

ShellPopups::ShellPopups(QWidget* host, Factories factories)
    : QObject(host), host_(host), factories_(std::move(factories)) {
  if (host_) host_->installEventFilter(this);
}

namespace {

// Makes the popup on its first request, over the host, hiding itself when it closes.
template <class Popup>
Popup* made(QPointer<Popup>& popup, const std::function<Popup*()>& factory, QWidget* host) {
  if (!popup && factory) {
    popup = factory();
    if (!popup) return nullptr;
    popup->setParent(host);
    QPointer<Popup> weak = popup;
    popup->closeAction = [weak] {
      if (weak) weak->hide();
    };
  }
  return popup;
}

}  // namespace

void ShellPopups::showLanguage() {
  if (!made(language_, factories_.language, host_)) return;
  if (setting_) setting_->hide();
  // The list follows the tables found now.
  language_->setupLanguageList();
  present(language_);
}

void ShellPopups::showSettings() {
  if (!made(setting_, factories_.setting, host_)) return;
  if (language_) language_->hide();
  setting_->selectState(setting_->currentState);
  present(setting_);
}

bool ShellPopups::hideAll() {
  bool shown = false;
  for (QWidget* popup : {static_cast<QWidget*>(language_), static_cast<QWidget*>(setting_)}) {
    if (popup && popup->isVisible()) {
      popup->hide();
      shown = true;
    }
  }
  return shown;
}

void ShellPopups::present(QWidget* popup) {
  if (!popup || !host_) return;
  popup->move(host_->rect().center() - popup->rect().center());
  popup->show();
  popup->raise();
}

bool ShellPopups::eventFilter(QObject* watched, QEvent* event) {
  // Popups stay centred over the window's content when it changes size.
  if (watched == host_ && event->type() == QEvent::Resize) {
    for (QWidget* popup : {static_cast<QWidget*>(language_), static_cast<QWidget*>(setting_)})
      if (popup) popup->move(host_->rect().center() - popup->rect().center());
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace corvane
