#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AudioFirmwareUpdater.h"
#include "UpdateMode.h"
#include "capture/CaptureDevice.h"
#include "dispatch/Clock.h"

class QAbstractButton;

namespace platform {
class Queue;
}

namespace updater {

class CloudService;
class CompleteController;
class ConfigManager;
class ConnectController;
class ErrorController;
class LocalFileController;
class PrivacyController;
class ProgresController;
class UpdateManager;
class USBManager;

// The updater's window and the whole update of one camera: find and open the camera, ask the
// cloud for newer firmware, download and unpack the package, update the audio firmware when the
// package has one, put the camera into update mode, copy the firmware onto its update volume,
// eject it, trigger the update, follow the camera's status, reboot it and end on the completion
// page.
//
// Threads: the controller lives on the main thread. Device I/O, file work and the fixed waits
// run on the work queue and hand back to the main queue; timers run on the shared clock.
class MainController : public QWidget {
  Q_OBJECT
 public:
  enum class Page { none, privacy, connect, progress, complete, error, localFile };

  struct Environment {
    ConfigManager* config = nullptr;
    USBManager* usbManager = nullptr;
    UpdateManager* updateManager = nullptr;
    CloudService* cloud = nullptr;  // made by the controller when none is given
    std::function<std::vector<platform::CaptureDevice>()> captureDevices;
    AudioFirmwareUpdater::Factory makeAudioUpdater;
    platform::Queue* workQueue = nullptr;
    platform::Queue* mainQueue = nullptr;
    // The updater's own folder for the package and its unpacked files: emptied before every
    // download, never shared with the user's files (its cache folder, else a fresh folder of
    // its own under the temporary folder).
    std::string workFolder;
    std::string osVersion;  // the running system's "major.minor.patch"
    std::function<void()> terminate;
    // The completion page (tests give one that opens nothing).
    std::function<CompleteController*(QWidget* parent)> makeCompletePage;
    static Environment process();
  };

  // The outcome of matching one capture device.
  struct CameraMatch {
    bool accepted = false;
    std::string vid;  // "0x%04x", empty when the model id has no ids
    std::string pid;
  };

  explicit MainController(Environment environment, QWidget* parent = nullptr);
  ~MainController() override;

  // Hides the pages and loads the configuration.
  void viewDidLoad();
  // Starts the flow the first time the window shows; showing it again later (after it was
  // minimised, say) never restarts a flow that is under way.
  void viewDidAppear();

  static CameraMatch checkCamera(const platform::CaptureDevice& device,
                                 const ConfigManager& config);
  // The mode of a package: its version text (empty: the server's), the camera's version, the
  // camera's safe mode and whether the package carries "update.zip".
  static UpdateMode decideMode(const std::string& versionFileText, const std::string& serverVersion,
                               const std::string& cameraVersion, bool safeMode, bool hasZip);
  // The package folder "fw_file" in the unpack folder or one level down; empty when none.
  static std::string getFolderPathFrom(const std::string& unzipPath);
  // Makes `folder` an empty folder: created (for this user only) when missing, its entries
  // removed when present. The reason when it cannot; empty when it is ready.
  static std::string prepareWorkFolder(const std::string& folder);
  // The private folder a process-wide updater works in (see Environment::workFolder); empty
  // when none could be had.
  static std::string privateWorkFolder();
  // The package's entries the other-files move copies.
  static std::vector<std::string> checkOtherFilesIsExist(const std::string& folder);

  // The version check (a step of the flow): completes with the download link (empty: nothing
  // newer, or the request failed), or with none when the camera is not open.
  void checkUpdate(std::function<void(const std::optional<std::string>& link)> completed);

  Page currentPage() const { return page_; }
  ConnectController* connectController() const { return connectController_; }
  ProgresController* progresController() const { return progresController_; }
  ErrorController* errorController() const { return errorController_; }
  CompleteController* completeController() const { return completeController_; }
  LocalFileController* localFileController() const { return localFileController_; }
  PrivacyController* privacyController() const { return privacyController_; }
  // The button Return presses on the page shown when the focus is on no button; none on a page
  // without one (the progress page, the search).
  QAbstractButton* defaultButton() const;

  bool isTest = false;
  std::vector<std::string> kestovaDeviceNames;
  std::string folderPath;
  bool isUvcConnected = false;
  bool isStartFwUpdate = false;
  std::string pid, vid;
  std::string serverFwVersion;
  // The digest the version answer gave for the package; empty when it gave none.
  std::string packageSha256;
  int otherFilesUpdateProgress = 0;
  int checkCount = 0;
  UpdateMode updateMode = UpdateMode::None;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // Return presses the focused button, else the page's own; Ctrl+Q and Ctrl+W close the window
  // as its close button does.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Connection;

  // Pages.
  void showPage(Page page);
  // `reason`: why the audio firmware could not be copied onto the device's volume.
  void showPrivacyPage(const std::string& reason);
  void showConnectPage();
  void showConnectErrorPage();
  void showProgressPage(int mode);
  void showCompletePage();
  void showLatestVersionPage();
  // `detail`, when given, says on the page what was missing.
  void showInstallErrorPage(const std::string& detail = {});
  void showLocalFilePage();
  // What the install-error and privacy pages' buttons do: the flow again from the connection.
  void startAgain();

  // Steps.
  void startConnect();
  void connectCamera(bool forDownload, std::function<void(bool)> completed);
  // On the work queue. Static over a copy of the environment, so a worker still searching
  // when the controller goes never touches it.
  static Connection connectNow(const Environment& env);
  void readStatus(std::function<void()> idle);
  void checkFwUpdateFlow(int status, int progress, const std::function<void()>& idle);
  void download(const std::string& url);
  void unpack(const std::string& zipPath, const std::string& unzipPath);
  void updateAudio(const std::string& swuPath);
  void uacCompleteUpdate();
  void uacCheckConnection();
  void updateUvcFw();
  UpdateMode checkMode() const;
  void startCameraPass();
  void moveFileToCamera(std::function<void(bool)> completed);
  void triggerUpdate();
  void ensureConnected(std::function<void(bool)> completed);
  void startCheckStatusLoop();
  void statusLoopFinished();
  // Ends the status loop `loop` on the install-error page when the camera closes or stays
  // silent too long.
  void watchStatusLoop(int loop);
  void comfirmUpdateOtherFiles();
  void rebootCamera(std::function<void()> then);
  void copyOtherFilesComplete(bool ok);

  // Runs `task` on the main queue after `delay` on the shared clock, unless the flow moved on.
  void after(platform::Clock::Duration delay, std::function<void()> task);
  // `task` on the work queue; `done` then on the main queue, unless the flow moved on.
  template <typename Result>
  void onWorker(std::function<Result()> task, std::function<void(Result)> done);
  // A continuation that runs only while this controller lives and the flow is the same one.
  std::function<void()> guarded(std::function<void()> task);
  std::function<void(bool)> guardedBool(std::function<void(bool)> task);
  std::string cameraName() const;

  Environment env_;
  std::shared_ptr<bool> alive_;
  int generation_ = 0;
  int statusLoop_ = 0;  // the running status loop; its readings are ignored once it changed
  int statusQuietTicks_ = 0;
  bool flowStarted_ = false;
  Page page_ = Page::none;
  std::shared_ptr<AudioFirmwareUpdater> qd4718Updater;

  PrivacyController* privacyController_;
  ConnectController* connectController_;
  ProgresController* progresController_;
  CompleteController* completeController_;
  ErrorController* errorController_;
  LocalFileController* localFileController_;
  std::vector<QWidget*> pages_;
};

}  // namespace updater
