#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "cloud/CheckDataModel.h"
#include "cloud/CompanyModel.h"
#include "cloud/UpdateMode.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace platform {
class UserDefaults;
class Workspace;
}  // namespace platform

namespace corvane {

class KestovaAPIManager;
class LogManager;

// The update popup of the main window: asks the cloud for the newest program and camera
// firmware, offers what is newer, remembers a version the user does not want to be asked about
// again, opens the download page, or starts the updater and ends the program.
class UpdateController : public QWidget {
 public:
  // What the camera reports, as the version check sends it.
  struct Camera {
    std::string firmwareVersion;
    std::string vendor_id;
    std::string product_id;
    std::string customerIdentifier;  // as last read from the camera
  };

  struct Environment {
    KestovaAPIManager* api = nullptr;
    platform::UserDefaults* defaults = nullptr;
    platform::Workspace* workspace = nullptr;
    LogManager* logger = nullptr;
    std::function<void()> terminate;  // ends the program
    // Tells the user something with the program's one-button alert.
    std::function<void(const QString& message)> showAlert;
    std::function<Camera()> camera;
    // The company record the application keeps; none until its request was answered.
    std::function<std::optional<CompanyModel>()> companyModel;
    std::function<bool()> isStaging;
    std::function<std::string()> vendor;
    std::string appVersion;
    std::string osVersion;    // "Linux 6.1.0"
    std::string updaterPath;  // the installed updater beside this program
    static Environment process();
  };

  explicit UpdateController(Environment environment, QWidget* parent = nullptr);

  void checkUpdate();
  // The check a start or a connection makes: the automatic mode's layout, then the check itself
  // unless everything is known to be current.
  void checkAutomatically();
  // The decisions on one answer; runs on the main queue.
  void handleAnswer(const CheckDataModel& data);

  void onClickUpdate();
  void onClickGoDownloadPage();
  void onClickRemember();
  void onClickOK();
  void onClickCancel();
  void updateLayout();

  // The company's download address, production or staging by the setting; empty without a
  // company record.
  std::string downloadAddress() const;

  bool isStudio = false;
  std::string latestAppVersion;
  std::string latestFwVersion;
  std::function<void(bool)> displayHandle;
  std::function<void()> adAction;
  UpdateMode mode = UpdateMode::auto_;
  std::string appName = "Studio";

  QLabel* descLabel = nullptr;
  QWidget* rememberStackView = nullptr;
  QCheckBox* rememberButton = nullptr;
  QLabel* rememberLabel = nullptr;
  QPushButton* cancelButton = nullptr;
  QPushButton* updateButton = nullptr;
  QPushButton* okButton = nullptr;
  QPushButton* goDownloadPageButton = nullptr;

 private:
  void display(bool shown);
  void rememberChoice();
  void openAddress(const std::string& address);

  Environment env_;
  // What the last automatic check asked: the same question is not sent again.
  std::optional<std::string> automaticQuestion_;
};

}  // namespace corvane
