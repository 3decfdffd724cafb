#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <functional>

namespace updater {

// Shown when the audio firmware could not be written to the audio device's volume: explains the
// access the update needs, says what stood in the way, and starts the update again. There is no
// settings pane on Linux that grants a program access to a volume: what the user does here is
// make the volume writable (plug it in again, free space, mount it writable) and try again.
class PrivacyController : public QWidget {
  Q_OBJECT
 public:
  explicit PrivacyController(QWidget* parent = nullptr);

  // Why the copy failed (the volume not mounted, read-only, full); empty hides the line.
  void setReason(const QString& reason);
  void onClickSetting();

  QLabel* textLabel;
  QLabel* reasonLabel;
  QPushButton* settingButton;
  // What the button does (the main controller sets it to start the update again).
  std::function<void()> action;
};

}  // namespace updater
