#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class Bundle;
class Clock;
class DispatchTimer;
class Queue;
class UserDefaults;
}  // namespace platform

namespace corvane {

class ConfigManager;
class CustomButton;
class CustomView;
class CustomWindow;
class LanguageManager;

// The first content of the program's window: settles the stored version, has the settings
// loaded, starts the camera search, shows the splash for 3 seconds, optionally the tutorial
// pages, and then turns its window into the main window.
class LaunchViewController : public QWidget {
  Q_OBJECT

 public:
  struct Environment {
    ConfigManager* config = nullptr;
    platform::UserDefaults* defaults = nullptr;
    platform::Bundle* bundle = nullptr;
    platform::Clock* clock = nullptr;  // none: the process's clock
    platform::Queue* main = nullptr;   // none: the main queue
    LanguageManager* languages = nullptr;
    std::function<void()> setupConfiguration;  // none: the settings store's setup()
    std::function<void()> searchCamera;
    std::function<bool()> isCameraConnected;
    std::function<bool()> isStreaming;  // the virtual camera is being read
    std::function<QWidget*()> mainController;
    // The available areas of the screens, the main one first.
    std::function<std::vector<QRect>()> screens;
    std::vector<std::string> arguments;  // the process's, the program path first
    // Tells the user something with the program's one-button alert; none: nothing is told.
    std::function<void(const QString& message)> showAlert;
    static Environment process();
  };

  static constexpr int SPLASH_SECONDS = 3;

  explicit LaunchViewController(Environment environment, QWidget* parent = nullptr);
  ~LaunchViewController() override;

  // The view's loading: everything up to the splash timer.
  void viewDidLoad();
  void showTutorial();
  void showMain();
  void onClickPrevTutorial();
  void onClickNextTutorial();
  void onClickSkip();
  void onClickStart();
  void onClickRemember();

  // Which of showMain and showTutorial the splash timer was set to run; empty before.
  std::string scheduledStep() const { return scheduledStep_; }
  int tutorialIndex() const { return tutorialIndex_; }
  // The target alpha of a faded button (fades run on the animation clock).
  static double alpha(const QWidget* widget);

  QLabel* contentImage = nullptr;
  QLabel* versionLabel = nullptr;
  CustomView* launchBottomView = nullptr;
  QLabel* logoImageView = nullptr;
  CustomButton* rememberButton = nullptr;
  QLabel* rememberLabel = nullptr;
  CustomButton* skipButton = nullptr;
  CustomButton* startButton = nullptr;
  CustomView* tutorialBottomView = nullptr;
  QWidget* tutorialIndexView = nullptr;
  CustomButton* prevButton = nullptr;
  CustomButton* nextButton = nullptr;
  QLabel* rightLabel = nullptr;
  std::vector<QLabel*> dotIndexImageView;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void buildViews();
  void setFixedTexts();
  void showPage();
  void updateDots();
  void fade(QWidget* widget, double alpha);
  void showContent(const QImage& image);
  int tutorialCount() const;

  Environment env_;
  std::unique_ptr<platform::DispatchTimer> splashTimer_;
  std::string scheduledStep_;
  int tutorialIndex_ = 0;
  QImage content_;
  bool mainShown_ = false;
  bool fitContent_ = false;
};

}  // namespace corvane
