#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>

#include "CustomButton.h"
#include "RemovalRunner.h"

namespace uninstaller {

// The first page: what will be removed, and the choice to remove the user's data too.
class WelcomeController : public QWidget {
  Q_OBJECT
 public:
  using Runner = std::function<RemovalRunner::Outcome(bool removeEverything)>;
  explicit WelcomeController(QWidget* parent = nullptr);

  std::function<void()> okAction;
  // Runs the removal; the real one asks for administrator rights.
  void setRunner(Runner runner) { runner_ = std::move(runner); }

  QLabel* descLabel;
  QLabel* versionLabel;
  CustomButton* nextButton;
  CustomButton* checkButton;
  // Says that the last removal did not complete (failed, cancelled or ended unobserved), and
  // why; hidden until then.
  QLabel* failureLabel;

  void nextAction();
  void checkAction();

 private:
  Runner runner_;
};

}  // namespace uninstaller
