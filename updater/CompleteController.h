#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

namespace platform {
class Workspace;
}

namespace updater {

// The last page: the update is done; its button reopens the main program and ends the updater.
class CompleteController : public QWidget {
  Q_OBJECT
 public:
  struct Environment {
    platform::Workspace* workspace = nullptr;
    // The main program beside the updater's own executable, and the one on PATH.
    std::string programPath;
    std::string fallbackProgramPath;
    // Ends the updater.
    std::function<void()> terminate;
    static Environment process();
  };

  explicit CompleteController(QWidget* parent = nullptr);
  CompleteController(Environment environment, QWidget* parent);

  void onClickOpenStudio();

  std::optional<QString> cameraName;
  QPushButton* openButton;
  QLabel* titleLabel;

 private:
  Environment env_;
};

}  // namespace updater
