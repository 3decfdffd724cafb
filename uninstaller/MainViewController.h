#pragma once

#include <QStackedWidget>
#include <QWidget>

#include "CompleteController.h"
#include "ProgressController.h"
#include "UninstallState.h"
#include "WelcomeController.h"

namespace uninstaller {

// The one window: shows the page of its state; welcome leads to progress, progress to complete.
class MainViewController : public QWidget {
  Q_OBJECT
 public:
  explicit MainViewController(QWidget* parent = nullptr);

  UninstallState state() const { return state_; }
  void setState(UninstallState state);

  WelcomeController* welcomeView;
  ProgressController* progressView;
  CompleteController* completeView;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // Escape closes the window while nothing is removed yet, as its close button does.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QStackedWidget* pages_;
  UninstallState state_ = UninstallState::welcome;
};

}  // namespace uninstaller
