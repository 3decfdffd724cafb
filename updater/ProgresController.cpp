#include "ProgresController.h"

#include <QVBoxLayout>
#include <algorithm>

#include "LanguageManager.h"

namespace updater {

ProgresController::ProgresController(QWidget* parent) : QWidget(parent) {
  message = new QLabel(this);
  message->setAlignment(Qt::AlignCenter);
  message->setStyleSheet("font-size: 20px;");
  progressIndicator = new QProgressBar(this);
  progressIndicator->setRange(0, 0);
  progressIndicator->setTextVisible(false);
  progressIndicator->setFixedWidth(240);
  progressBar = new QProgressBar(this);
  progressBar->setRange(0, 100);
  progressBar->setTextVisible(false);
  progressBar->setFixedWidth(360);
  // The bar's tint ("AppleGreen").
  progressBar->setStyleSheet(
      "QProgressBar { border: 1px solid #c8c8c8; border-radius: 4px; background: #f0f0f0;"
      " height: 8px; } QProgressBar::chunk { background-color: #34c759; border-radius: 4px; }");
  progressValueLabel = new QLabel("0", this);
  progressValueLabel->setAlignment(Qt::AlignCenter);
  auto* note = new QLabel(
      QString::fromStdString(LanguageManager::shared().localized("updater_progress_note_name")),
      this);
  note->setAlignment(Qt::AlignCenter);
  note->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addStretch();
  layout->addWidget(message);
  layout->addWidget(progressIndicator, 0, Qt::AlignHCenter);
  layout->addWidget(progressBar, 0, Qt::AlignHCenter);
  layout->addWidget(progressValueLabel);
  layout->addWidget(note);
  layout->addStretch();
}

void ProgresController::startSpinner() {
  progressIndicator->setRange(0, 0);
  progressIndicator->setHidden(false);
  progressBar->setRange(0, 100);  // determinate
}

void ProgresController::show(int value) {
  progressIndicator->setHidden(true);
  progressValueLabel->setText(QString::number(value));
  progressBar->setValue(std::clamp(value, 0, 100));
}

void ProgresController::setCameraStart() {
  if (iUacProgress == 0) startSpinner();
  show(iUvcProgress);
  message->setText("Camera firmware is starting to update");
}

void ProgresController::setAudioStart() {
  startSpinner();
  show(iUacProgress);
  message->setText("Audio firmware is starting to update");
}

void ProgresController::setMessage(const QString& text) {
  progressBar->setRange(0, 100);
  show(0);
  message->setText(text);
}

void ProgresController::setDownloading() { setMessage("Camera firmware is downloading"); }
void ProgresController::setCameraUpdating() { setMessage("Camera firmware is updating"); }
void ProgresController::setAiUpdating() { setMessage("AI firmware is updating"); }
void ProgresController::setCameraRestarting() { setMessage("Waiting for camera to restart"); }
void ProgresController::setWaitingForRestart() { setMessage("Waiting for camera to restart"); }

void ProgresController::setCameraProgress(int value) {
  iUvcProgress = std::max(value, iUacProgress);
  show(iUvcProgress);
}

void ProgresController::setAudioProgress(int value) {
  iUacProgress = value;
  iUvcProgress = value;
  show(value);
}

void ProgresController::setAudioUpdating() {
  show(iUacProgress);
  message->setText("Audio firmware is updating");
}

}  // namespace updater
