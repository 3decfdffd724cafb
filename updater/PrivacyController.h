#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <functional>

namespace updater {

// Shown when the audio firmware could not be written to the audio device's volume: explains
// the access the update needs and opens the system's privacy settings.
class PrivacyController : public QWidget {
  Q_OBJECT
 public:
  explicit PrivacyController(QWidget* parent = nullptr);
  // `openSettings` replaces the start of the settings program (tests).
  PrivacyController(std::function<bool()> openSettings, QWidget* parent);

  void onClickSetting();

  QLabel* textLabel;
  QPushButton* settingButton;

 private:
  std::function<bool()> openSettings_;
};

}  // namespace updater
