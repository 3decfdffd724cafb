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
// The program is the one "studio_name" of the updater's configuration names, as its executable
// is called ("Corvane Studio" is "corvane-studio"): beside the updater first, then on PATH.
class CompleteController : public QWidget {
  Q_OBJECT
 public:
  struct Environment {
    platform::Workspace* workspace = nullptr;
    // The folder of the updater's own executable.
    std::string programFolder;
    // The path of a program on PATH; empty when there is none.
    std::function<std::string(const std::string& name)> findProgram;
    // The configuration's "studio_name".
    std::function<std::string()> studioName;
    // Ends the updater.
    std::function<void()> terminate;
    static Environment process();
  };

  explicit CompleteController(QWidget* parent = nullptr);
  CompleteController(Environment environment, QWidget* parent);

  void onClickOpenStudio();

  // The executable a studio name stands for: lower case, blanks as "-"; a name that makes no
  // plain file name gives the suite's own "corvane-studio".
  static std::string programName(const std::string& studioName);
  static constexpr const char* kDefaultProgram = "corvane-studio";

  std::optional<QString> cameraName;
  QPushButton* openButton;
  QLabel* titleLabel;

 private:
  Environment env_;
};

}  // namespace updater
