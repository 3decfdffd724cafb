#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shell/SharedWindow.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace corvane {

class CameraManager;
class LogManager;
class PlayerManager;
class USBManager;

// The hidden diagnostics window for support and testing: system, program and camera firmware
// versions, the capture and analysis frame rates, the video devices with the one in use
// selected, a video or picture file as the source instead of the camera (through the file player
// window), and the export of the day logs as one zip archive. Main thread only; its labels
// follow the camera manager's observables.
class BackDoorController : public QWidget {
 public:
  struct Environment {
    CameraManager* camera = nullptr;
    // The camera's USB side, which reports the firmware version (the camera manager's own).
    USBManager* usb = nullptr;
    PlayerManager* player = nullptr;
    LogManager* logger = nullptr;
    std::string osVersion;      // "Linux 6.1.0"
    std::string studioVersion;  // the program's short version
    // Where the log archive goes: the save dialog's choice, or none when cancelled.
    std::function<std::optional<QString>(QWidget* parent)> selectLogArchivePath;
    // Shows the file player window.
    std::function<void()> showPlayerWindow;
    // Lines for standard output.
    std::function<void(const std::string&)> standardOutput;
    static Environment process();
  };

  explicit BackDoorController(Environment environment, QWidget* parent = nullptr);
  ~BackDoorController() override;

  // The program's window: opened by the application's menu action.
  static SharedWindow<BackDoorController>& windowController();

  void onClickVideoModeButton();
  void onClickImageModeButton();
  void onClickOpenFile();
  void onClickExport();

  // The device to select for the name in use among the devices' names: the last with that
  // name, else the first.
  static int cameraIndex(const std::vector<std::string>& names, const std::string& current);

  QLabel* macosLabel = nullptr;
  QLineEdit* cameraVersionLabel = nullptr;
  QLineEdit* studioVersionLabel = nullptr;
  QPushButton* openFileButton = nullptr;
  QLineEdit* fpsLabel = nullptr;
  QLineEdit* selvoFPSLabel = nullptr;
  QComboBox* cameraMenu = nullptr;
  QRadioButton* videoModeButton = nullptr;
  QRadioButton* imageModeButton = nullptr;
  QPushButton* exportButton = nullptr;

 private:
  void buildViews();
  void viewDidLoad();
  void showAnalysisFPS();
  void selectCurrentDevice(bool print);

  Environment env_;
};

}  // namespace corvane
