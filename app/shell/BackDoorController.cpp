#include "shell/BackDoorController.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "Bundle.h"
#include "SystemInfo.h"
#include "camera/CameraManager.h"
#include "camera/PlayerManager.h"
#include "camera/USBManager.h"
#include "log/LogManager.h"
#include "shell/CustomWindow.h"
#include "shell/PlayerController.h"
#include "util/LogArchivePanel.h"

namespace corvane {

BackDoorController::Environment BackDoorController::Environment::process() {
  Environment env;
  env.camera = &CameraManager::shared();
  env.usb = &USBManager::shared();
  env.player = &PlayerManager::shared();
  env.logger = &LogManager::shared();
  env.osVersion = platform::SystemInfo::osVersionText();
  env.studioVersion = platform::Bundle::main().shortVersion().value_or("");
  env.selectLogArchivePath = [](QWidget* parent) {
    return LogArchivePanel::selectLogArchivePath(parent);
  };
  env.showPlayerWindow = [] {
    // On the main window's screen, as this window.
    const QWidget* main = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
      if (dynamic_cast<CustomWindow*>(window)) main = window;
    PlayerController::windowController().showWindow(main);
  };
  env.standardOutput = [](const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
  };
  return env;
}

SharedWindow<BackDoorController>& BackDoorController::windowController() {
  // Never destroyed: the window lives until the program ends.
  static auto* window = new SharedWindow<BackDoorController>(
      [] { return std::make_unique<BackDoorController>(Environment::process()); });
  return *window;
}

BackDoorController::BackDoorController(Environment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)) {
  setWindowTitle(QStringLiteral("Diagnostics"));
  setMinimumWidth(420);
  buildViews();
  viewDidLoad();
}

BackDoorController::~BackDoorController() = default;

int BackDoorController::cameraIndex(const std::vector<std::string>& names,
                                    const std::string& current) {
  auto last = std::find(names.rbegin(), names.rend(), current);
  return last == names.rend() ? 0 : int(names.rend() - last) - 1;
}

void BackDoorController::buildViews() {
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  macosLabel = new QLabel(this);
  studioVersionLabel = new QLineEdit(this);
  cameraVersionLabel = new QLineEdit(this);
  fpsLabel = new QLineEdit(this);
  selvoFPSLabel = new QLineEdit(this);
  cameraMenu = new QComboBox(this);
  cameraMenu->setMinimumWidth(240);
  form->addRow(QStringLiteral("System:"), macosLabel);
  form->addRow(QStringLiteral("Studio version:"), studioVersionLabel);
  form->addRow(QStringLiteral("Camera firmware:"), cameraVersionLabel);
  form->addRow(QStringLiteral("Capture FPS:"), fpsLabel);
  form->addRow(QStringLiteral("Analysis FPS:"), selvoFPSLabel);
  form->addRow(QStringLiteral("Camera:"), cameraMenu);
  layout->addLayout(form);

  auto* source = new QHBoxLayout;
  videoModeButton = new QRadioButton(QStringLiteral("Video"), this);
  imageModeButton = new QRadioButton(QStringLiteral("Image"), this);
  auto* pair = new QButtonGroup(this);
  pair->setExclusive(true);
  pair->addButton(videoModeButton);
  pair->addButton(imageModeButton);
  openFileButton = new QPushButton(QStringLiteral("Open file"), this);
  source->addWidget(videoModeButton);
  source->addWidget(imageModeButton);
  source->addStretch(1);
  source->addWidget(openFileButton);
  layout->addLayout(source);

  exportButton = new QPushButton(QStringLiteral("Export logs"), this);
  layout->addWidget(exportButton, 0, Qt::AlignLeft);
  layout->addStretch(1);

  connect(videoModeButton, &QAbstractButton::clicked, this, [this] { onClickVideoModeButton(); });
  connect(imageModeButton, &QAbstractButton::clicked, this, [this] { onClickImageModeButton(); });
  connect(openFileButton, &QAbstractButton::clicked, this, [this] { onClickOpenFile(); });
  connect(exportButton, &QAbstractButton::clicked, this, [this] { onClickExport(); });
}

void BackDoorController::viewDidLoad() {
  for (QLineEdit* field : {fpsLabel, selvoFPSLabel, cameraVersionLabel, studioVersionLabel}) {
    field->setReadOnly(true);
    // A value to read and copy, not a control: the mouse selects it, Tab passes it by.
    field->setFocusPolicy(Qt::ClickFocus);
    // Read like labels, yet the text can still be selected and copied for a report.
    field->setFrame(false);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    field->setPalette(palette);
  }
  studioVersionLabel->setText(QString::fromStdString(env_.studioVersion));
  macosLabel->setText(QString::fromStdString(env_.osVersion));
  cameraVersionLabel->setText(env_.usb ? QString::fromStdString(env_.usb->firmwareVersion())
                                       : QString());
  const bool image = env_.player && env_.player->mode->value() == PlayerMode::image;
  videoModeButton->setChecked(!image);
  imageModeButton->setChecked(image);
  // An empty camera list is no stop for the keyboard: it shows nothing to choose.
  cameraMenu->setEnabled(false);
  if (!env_.camera) return;

  // Each listener holds the window weakly and is applied at once to the current value.
  QPointer<BackDoorController> self(this);
  CameraManager& camera = *env_.camera;
  camera.inReading->bindAndNotify([self](bool reading) {
    if (self)
      self->openFileButton->setText(reading ? QStringLiteral("Stop") : QStringLiteral("Open file"));
  });
  camera.FPS->bindAndNotify([self](int64_t fps) {
    if (!self) return;
    self->fpsLabel->setText(QString::number(fps));
    // The analysis rate is shown against the capture rate it is bounded by.
    self->showAnalysisFPS();
  });
  camera.selvoFPS->bindAndNotify([self](int64_t) {
    if (self) self->showAnalysisFPS();
  });
  camera.cameraDevices->bindAndNotify([self](const std::vector<platform::CaptureDevice>& devices) {
    if (!self) return;
    self->cameraMenu->clear();
    for (const auto& device : devices)
      self->cameraMenu->addItem(QString::fromStdString(device.localizedName));
    self->cameraMenu->setEnabled(self->cameraMenu->count() > 0);
    self->selectCurrentDevice(false);
  });
  camera.currentDeviceName->bindAndNotify([self](const std::string&) {
    if (self) self->selectCurrentDevice(true);
  });
}

void BackDoorController::showAnalysisFPS() {
  const int64_t shown = std::min(env_.camera->selvoFPS->value(), env_.camera->FPS->value());
  selvoFPSLabel->setText(QString::number(shown));
}

void BackDoorController::selectCurrentDevice(bool print) {
  const std::string name = env_.camera->currentDeviceName->value();
  std::vector<std::string> names;
  for (const auto& device : env_.camera->cameraDevices->value())
    names.push_back(device.localizedName);
  const int index = cameraIndex(names, name);
  if (print && env_.standardOutput) {
    env_.standardOutput("deviceName: " + name);
    env_.standardOutput("cameraIndex: " + std::to_string(index));
  }
  if (index < cameraMenu->count()) cameraMenu->setCurrentIndex(index);
}

void BackDoorController::onClickVideoModeButton() {
  videoModeButton->setChecked(true);
  imageModeButton->setChecked(false);
}

void BackDoorController::onClickImageModeButton() {
  imageModeButton->setChecked(true);
  videoModeButton->setChecked(false);
}

void BackDoorController::onClickOpenFile() {
  if (env_.player)
    env_.player->setMode(videoModeButton->isChecked() ? PlayerMode::video : PlayerMode::image);
  if (env_.showPlayerWindow) env_.showPlayerWindow();
}

void BackDoorController::onClickExport() {
  std::optional<QString> location =
      env_.selectLogArchivePath ? env_.selectLogArchivePath(this) : std::nullopt;
  if (!location) {
    if (env_.standardOutput) env_.standardOutput("File selection was canceled");
    return;
  }
  if (env_.standardOutput) env_.standardOutput("file selected: " + location->toStdString());
  if (!env_.logger) return;
  // As after any save dialog, the user hears where the file went, or why it did not.
  std::string reason;
  const bool written = env_.logger->exportLogs(location->toStdString(), &reason);
  auto* box = new QMessageBox(this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowTitle(QStringLiteral("Export logs"));
  if (written) {
    box->setIcon(QMessageBox::Information);
    box->setText(QStringLiteral("The logs were exported to %1").arg(*location));
  } else {
    box->setIcon(QMessageBox::Warning);
    box->setText(QStringLiteral("The logs could not be exported to %1").arg(*location));
    box->setInformativeText(QString::fromStdString(reason));
  }
  box->open();
}

}  // namespace corvane
