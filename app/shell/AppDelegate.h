#pragma once

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cloud/CompanyModel.h"
#include "cloud/KestovaAPIManager.h"
#include "dispatch/Clock.h"
#include "shell/CompanyLink.h"

namespace platform {
class Bundle;
class Queue;
class UserDefaults;
class Workspace;
}  // namespace platform

namespace corvane {

class CameraManager;
class ConfigManager;
class LogManager;
class SystemExtensionManager;

// The application delegate: the menu bar and its actions, the start-up requests, the one-shot
// run that removes the virtual camera, and what happens as the program ends (settings saved, a
// usage report sent). The main window fills the twelve event slots; an empty slot makes its item
// do nothing.
class AppDelegate : public QObject {
  Q_OBJECT

 public:
  using Event = std::function<void()>;
  using WindowFactory = std::function<QWidget*()>;

  // What the camera reports, for the links and the usage report.
  struct CameraIdentity {
    std::string firmwareVersion;
    std::string vendor_id;
    std::string product_id;
  };

  struct Environment {
    ConfigManager* config = nullptr;   // none: nothing hidden, nothing saved
    KestovaAPIManager* api = nullptr;  // the company request; none: not sent
    // The exit report's client; without an HTTP client the report is not sent.
    KestovaAPIManager::Environment reportApi;
    platform::Workspace* workspace = nullptr;
    // Tells the user of a page that did not open; none: the day log only.
    std::function<void(const std::string& message)> alert;
    platform::Bundle* bundle = nullptr;
    platform::UserDefaults* defaults = nullptr;
    platform::Clock* clock = nullptr;   // none: the process's clock
    platform::Queue* worker = nullptr;  // camera reads, the virtual camera's removal
    platform::Queue* main = nullptr;    // the main queue
    LogManager* logger = nullptr;
    SystemExtensionManager* extensions = nullptr;
    // Reads the camera's customer identifier (on the worker: it is a USB request).
    std::function<std::string()> customerIdentifier;
    std::function<CameraIdentity()> cameraIdentity;
    std::function<void()> terminate;     // ends the event loop
    std::vector<std::string> arguments;  // the process's, the program path first
    std::string osVersion;
    platform::Clock::Duration reportBound = std::chrono::seconds(2);
    static Environment process();
  };

  // The one delegate of the process (the application's), or none.
  static AppDelegate* current();

  // Registers with `camera` so that every change of its state updates the Edit items.
  AppDelegate(CameraManager& camera, Environment environment, QObject* parent = nullptr);
  explicit AppDelegate(CameraManager& camera, QObject* parent = nullptr);
  ~AppDelegate() override;

  // Before the first window: handles "-deactivateExt".
  void applicationWillFinishLaunching();
  // Start-up: the crash default, the launch time, the menus' visibility and titles, the company
  // request.
  void applicationDidFinishLaunching();
  // As the program ends: settings and presets saved, then the usage report (not in the
  // "-deactivateExt" run).
  void applicationWillTerminate();
  bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }
  bool isDeactivateRun() const;
  // The switch of the run that only takes the virtual camera away.
  static constexpr const char* kDeactivateSwitch = "-deactivateExt";
  // Whether "-deactivateExt" is among the arguments after the program path.
  static bool hasDeactivateSwitch(const std::vector<std::string>& arguments);

  // Main thread. Connected: the six Edit items enabled, auto-detect and auto-track checked by
  // the camera's switches, detect-once only while face tracking is off. Otherwise all six
  // disabled, their check marks left as they are.
  void updateMenuItems();
  void applyMenuVisibility();
  void localizeMenuTitles();

  // Menu actions.
  void onClickLanguage();
  void onClickUpdate();
  void onClickEditAutoDetect();
  void onClickEditDetectOnce();
  void onClickEditAutoTrack();
  void onClickEditCleanAll();
  void onClickLoadRoi();
  void onClickEditSaveRoi();
  void onClickIssueReport();
  void onClickManual();
  void onClickAbout();
  void onClickBackDoor();
  void openContactPage();
  void openManualPage();

  // The diagnostics window, made on first request and kept; a new About window on every request.
  void setAboutWindowFactory(WindowFactory factory) { makeAboutWindow_ = std::move(factory); }
  void setBackDoorWindowFactory(WindowFactory factory) { makeBackDoorWindow_ = std::move(factory); }

  // Puts the menu bar on `window` and the diagnostics key sequence on it.
  void attachTo(QWidget* window);

  // The twelve event slots the main window fills.
  Event menuLanguageEvent;
  Event menuPreferencesiEvent;
  Event menuUpdateEvent;
  Event menuAutoDetectEvent;
  Event menuDetectOnceEvent;
  Event menuAutoTrackEvent;
  Event menuCleanAllEvent;
  Event menuLoadRoiEvent;
  Event menuSaveRoiEvent;
  Event menuTrackAllEvent;
  Event menuUntrackAllEvent;
  Event menuWebsiteEvent;

  const std::optional<CompanyModel>& companyModel() const { return companyModel_; }
  void setCompanyModel(std::optional<CompanyModel> model) { companyModel_ = std::move(model); }
  std::optional<platform::Clock::TimePoint> appStartTime() const { return appStartTime_; }
  void setAppStartTime(platform::Clock::TimePoint time) { appStartTime_ = time; }
  // The program's registered defaults (not stored; a default stays until a value is set).
  const std::map<std::string, bool>& registeredDefaults() const { return registeredDefaults_; }

  QMenuBar* menuBar() const { return menuBar_; }
  QMenu* menuApp() const { return menuApp_; }
  QMenu* menuEdit() const { return menuEdit_; }
  QMenu* menuAbout() const { return menuAbout_; }
  QAction* menuLanguage() const { return menuLanguage_; }
  QAction* menuUpdate() const { return menuUpdate_; }
  QAction* menuReport() const { return menuReport_; }
  QAction* menuManual() const { return menuManual_; }
  QAction* menuSetting() const { return menuSetting_; }
  QAction* menuQuit() const { return menuQuit_; }
  QAction* menuAutoDetect() const { return menuAutoDetect_; }
  QAction* menuDetectOnce() const { return menuDetectOnce_; }
  QAction* menuAutoTrack() const { return menuAutoTrack_; }
  QAction* menuRemoveAll() const { return menuRemoveAll_; }
  QAction* menuLoadRoi() const { return menuLoadRoi_; }
  QAction* menuSaveRoi() const { return menuSaveRoi_; }
  QAction* menuAboutStudio() const { return menuAboutStudio_; }
  QAction* backDoorAction() const { return backDoor_; }

  // The key sequence that opens the diagnostics window; it is in no menu.
  static QKeySequence backDoorKeys();

 private:
  void buildMenus();
  void openCompanyPage(CompanyLink::Page page);
  // `over`, when given: the window opens on that window's screen.
  void showWindow(QPointer<QWidget>& window, const WindowFactory& factory, const char* what,
                  const QWidget* over = nullptr);
  LogManager& logger() const;

  CameraManager& camera_;
  Environment env_;
  std::optional<CompanyModel> companyModel_;
  std::optional<platform::Clock::TimePoint> appStartTime_;
  std::map<std::string, bool> registeredDefaults_;
  bool terminated_ = false;
  WindowFactory makeAboutWindow_;
  WindowFactory makeBackDoorWindow_;
  QPointer<QWidget> aboutWindow_;
  QPointer<QWidget> backDoorWindow_;
  QPointer<QWidget> mainWindow_;  // the window attached to

  QPointer<QMenuBar> menuBar_;
  QPointer<QMenu> menuApp_;
  QPointer<QMenu> menuEdit_;
  QPointer<QMenu> menuAbout_;
  QPointer<QAction> menuLanguage_;
  QPointer<QAction> menuUpdate_;
  QPointer<QAction> menuReport_;
  QPointer<QAction> menuManual_;
  QPointer<QAction> menuSetting_;
  QPointer<QAction> menuQuit_;
  QPointer<QAction> menuAutoDetect_;
  QPointer<QAction> menuDetectOnce_;
  QPointer<QAction> menuAutoTrack_;
  QPointer<QAction> menuRemoveAll_;
  QPointer<QAction> menuLoadRoi_;
  QPointer<QAction> menuSaveRoi_;
  QPointer<QAction> menuAboutStudio_;
  QPointer<QAction> backDoor_;
};

}  // namespace corvane
