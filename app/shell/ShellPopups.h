#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "shell/LanguageViewController.h"
#include "shell/SettingViewController.h"

namespace corvane {

// The language and settings popups of the main window: each made on its first request over the
// window's content, centred and on top, kept for later, and hidden by its own close action.
// Settings reopen on the pane they were left on.
class ShellPopups : public QObject {
  Q_OBJECT

 public:
  struct Factories {
    std::function<LanguageViewController*()> language;
    std::function<SettingViewController*()> setting;
    // The program's own popups over its shared services.
    static Factories process();
  };

  ShellPopups(QWidget* host, Factories factories);

  // Fills the application delegate's language and preferences slots with the program's popups,
  // made over the view router's main controller on first use. A main window that fills the
  // slots itself later takes them over.
  static void install(std::function<void()>& languageEvent, std::function<void()>& preferencesEvent,
                      Factories factories = Factories::process());

  void showLanguage();
  void showSettings();
  // Hides both; true when one was showing.
  bool hideAll();

  // None before the first request.
  LanguageViewController* languageViewController() const { return language_; }
  SettingViewController* settingViewController() const { return setting_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void present(QWidget* popup);

  QPointer<QWidget> host_;
  Factories factories_;
  QPointer<LanguageViewController> language_;
  QPointer<SettingViewController> setting_;
};

}  // namespace corvane
