#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>

#include "CustomButton.h"

namespace uninstaller {

// The last page; "Close" ends the program.
class CompleteController : public QWidget {
  Q_OBJECT
 public:
  explicit CompleteController(QWidget* parent = nullptr);

  std::function<void()> okAction;
  QLabel* descLabel;
  QLabel* versionLabel;
  CustomButton* finishButton;
};

}  // namespace uninstaller
