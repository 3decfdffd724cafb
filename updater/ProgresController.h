#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

namespace updater {

// The progress page. Camera and audio progress share one bar: while the audio firmware runs,
// camera progress never shows below the audio progress, and audio progress moves both.
class ProgresController : public QWidget {
  Q_OBJECT
 public:
  explicit ProgresController(QWidget* parent = nullptr);

  void setCameraStart();
  void setAudioStart();
  // Bar and label back to 0, spinner hidden, the message shown.
  void setMessage(const QString& text);
  void setDownloading();
  void setCameraUpdating();
  void setAiUpdating();
  void setCameraRestarting();
  void setWaitingForRestart();
  void setCameraProgress(int value);
  void setAudioProgress(int value);
  void setAudioUpdating();

  int iUvcProgress = 0;
  int iUacProgress = 0;

  QProgressBar* progressIndicator;  // the busy spinner
  QProgressBar* progressBar;
  QLabel* progressValueLabel;
  QLabel* message;

 private:
  void startSpinner();
  void show(int value);
};

}  // namespace updater
