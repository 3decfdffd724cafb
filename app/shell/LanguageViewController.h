#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shell/LanguagePopUpButton.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomView.h"

namespace platform {
class UserDefaults;
class Workspace;
}  // namespace platform

namespace corvane {

class AlertManager;
class LanguageManager;

// The language popup of the main window: the languages the program carries, named in the
// current language. A confirmed choice is stored and the program starts again in it.
class LanguageViewController : public QWidget {
  Q_OBJECT

 public:
  struct Environment {
    LanguageManager* languages = nullptr;
    platform::UserDefaults* defaults = nullptr;
    platform::Workspace* workspace = nullptr;
    AlertManager* alerts = nullptr;   // none: the program's, asked for on first use
    // What the program starts again with; none: the arguments of this start.
    std::function<std::vector<std::string>()> relaunchArguments;
    std::function<void()> terminate;  // ends the program
    static Environment process();
  };

  explicit LanguageViewController(Environment environment, QWidget* parent = nullptr);

  // Refills the list from the language tables and selects the one in use.
  void setupLanguageList();
  void onClickOk();
  void onClickClose();
  // The pop-up's own action: the choice is read only on OK.
  void onClickLanguagePullDownButton() {}

  // Set by whoever shows the popup; the close button calls it.
  std::function<void()> closeAction;

  CustomView* backgroundView() const { return backgroundView_; }
  QLabel* titleLabel() const { return titleLabel_; }
  LanguagePopUpButton* languagePullDownButton() const { return languagePullDownButton_; }
  CustomButton* okButton() const { return okButton_; }
  CustomButton* closeButton() const { return closeButton_; }

 protected:
  // Return in the language list confirms, as OK does.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void viewDidLoad();

  Environment env_;
  QPointer<CustomView> backgroundView_;
  QPointer<QLabel> titleLabel_;
  QPointer<LanguagePopUpButton> languagePullDownButton_;
  QPointer<CustomButton> okButton_;
  QPointer<CustomButton> closeButton_;
};

}  // namespace corvane
