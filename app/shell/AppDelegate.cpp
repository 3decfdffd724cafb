#include "shell/AppDelegate.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <algorithm>

#include "Bundle.h"
#include "SystemInfo.h"
#include "Workspace.h"
#include "camera/CameraManager.h"
#include "camera/USBManager.h"
#include "config/ConfigManager.h"
#include "dispatch/GlobalQueue.h"
#include "dispatch/MainQueue.h"
#include "i18n/Localized.h"
#include "log/LogManager.h"
#include "main/SystemExtensionManager.h"
#include "qt/UserDefaults.h"
#include "shell/AlertManager.h"
#include "shell/ExitReport.h"
#include "shell/MenuRules.h"
#include "shell/PageOpener.h"
#include "shell/SmallWindowKeys.h"
#include "shell/WindowOnScreen.h"
#include "util/CommandLine.h"

#define SHELL_LOG_DEBUG(msg) logger().debug((msg), __FILE__, __func__, __LINE__)
#define SHELL_LOG_INFO(msg) logger().info((msg), __FILE__, __func__, __LINE__)
#define SHELL_LOG_ERROR(msg) logger().error((msg), __FILE__, __func__, __LINE__)

namespace corvane {

namespace {

AppDelegate* currentDelegate = nullptr;

QAction* addItem(QMenu* menu, const char* name, bool checkable) {
  QAction* action = menu->addAction(QString());
  action->setObjectName(QString::fromLatin1(name));
  action->setCheckable(checkable);
  return action;
}

QString text(const char* key) { return QString::fromStdString(localized(key)); }

void apply(QAction* action, const MenuRules::Item& item) {
  if (!action) return;
  action->setEnabled(item.enabled);
  if (item.checked) action->setChecked(*item.checked);
}

}  // namespace

AppDelegate::Environment AppDelegate::Environment::process() {
  Environment env;
  env.config = &ConfigManager::shared();
  env.api = &KestovaAPIManager::shared();
  env.reportApi = KestovaAPIManager::Environment::process();
  env.workspace = &platform::Workspace::shared();
  env.alert = [](const std::string& message) {
    AlertManager::shared().showMessage(QString::fromStdString(message));
  };
  env.bundle = &platform::Bundle::main();
  env.defaults = &platform::UserDefaults::shared();
  env.clock = &platform::Clock::shared();
  env.worker = &platform::GlobalQueue::shared();
  env.main = &platform::MainQueue::shared();
  env.logger = &LogManager::shared();
  env.extensions = &SystemExtensionManager::shared();
  env.customerIdentifier = [] { return USBManager::shared().getXuid(); };
  env.cameraIdentity = [] {
    USBManager& usb = USBManager::shared();
    return CameraIdentity{usb.firmwareVersion(), usb.vendor_id(), usb.product_id()};
  };
  env.terminate = [] { QCoreApplication::quit(); };
  for (const QString& argument : QCoreApplication::arguments())
    env.arguments.push_back(argument.toStdString());
  env.osVersion = platform::SystemInfo::osVersionText();
  return env;
}

AppDelegate* AppDelegate::current() { return currentDelegate; }

AppDelegate::AppDelegate(CameraManager& camera, QObject* parent)
    : AppDelegate(camera, Environment(), parent) {}

AppDelegate::AppDelegate(CameraManager& camera, Environment environment, QObject* parent)
    : QObject(parent), camera_(camera), env_(std::move(environment)) {
  if (!env_.clock) env_.clock = &platform::Clock::shared();
  if (!env_.main) env_.main = &platform::MainQueue::shared();
  if (!env_.worker) env_.worker = &platform::GlobalQueue::shared();
  if (!currentDelegate) currentDelegate = this;
  buildMenus();
  QPointer<AppDelegate> self(this);
  camera_.setMenuItemsUpdater([self] {
    if (self) self->updateMenuItems();
  });
  updateMenuItems();
}

AppDelegate::~AppDelegate() {
  camera_.setMenuItemsUpdater(nullptr);
  if (currentDelegate == this) currentDelegate = nullptr;
  // Once a window holds the menu bar, the window owns it.
  if (menuBar_ && !menuBar_->parent()) delete menuBar_;
}

LogManager& AppDelegate::logger() const {
  return env_.logger ? *env_.logger : LogManager::shared();
}

void AppDelegate::buildMenus() {
  menuBar_ = new QMenuBar();
  menuBar_->setObjectName("mainMenu");

  menuApp_ = menuBar_->addMenu(QString());
  menuApp_->setObjectName("menuApp");
  menuSetting_ = addItem(menuApp_, "menuSetting", false);
  menuSetting_->setText(QStringLiteral("Settings…"));
  menuApp_->addSeparator();
  menuQuit_ = addItem(menuApp_, "menuQuit", false);
  // Ctrl+Q whatever the platform theme: some themes' key schemes bind no standard quit key.
  menuQuit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  // The quit's key reaches every window of the program, the small ones too.
  menuQuit_->setShortcutContext(Qt::ApplicationShortcut);
  menuQuit_->setMenuRole(QAction::QuitRole);

  menuEdit_ = menuBar_->addMenu(QString());
  menuEdit_->setObjectName("menuEdit");
  menuAutoDetect_ = addItem(menuEdit_, "menuAutoDetect", true);
  menuDetectOnce_ = addItem(menuEdit_, "menuDetectOnce", false);
  menuAutoTrack_ = addItem(menuEdit_, "menuAutoTrack", true);
  menuEdit_->addSeparator();
  menuRemoveAll_ = addItem(menuEdit_, "menuRemoveAll", false);
  menuEdit_->addSeparator();
  menuLoadRoi_ = addItem(menuEdit_, "menuLoadRoi", false);
  menuSaveRoi_ = addItem(menuEdit_, "menuSaveRoi", false);

  menuAbout_ = menuBar_->addMenu(QString());
  menuAbout_->setObjectName("menuAbout");
  menuAboutStudio_ = addItem(menuAbout_, "menuAboutStudio", false);
  menuAbout_->addSeparator();
  menuLanguage_ = addItem(menuAbout_, "menuLanguage", false);
  menuUpdate_ = addItem(menuAbout_, "menuUpdate", false);
  menuAbout_->addSeparator();
  menuReport_ = addItem(menuAbout_, "menuReport", false);
  menuManual_ = addItem(menuAbout_, "menuManual", false);

  backDoor_ = new QAction(menuBar_);
  backDoor_->setObjectName("backDoor");
  backDoor_->setShortcut(backDoorKeys());
  backDoor_->setShortcutContext(Qt::ApplicationShortcut);

  auto on = [this](QAction* action, void (AppDelegate::*handler)()) {
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  };
  on(menuLanguage_, &AppDelegate::onClickLanguage);
  on(menuUpdate_, &AppDelegate::onClickUpdate);
  on(menuAutoDetect_, &AppDelegate::onClickEditAutoDetect);
  on(menuDetectOnce_, &AppDelegate::onClickEditDetectOnce);
  on(menuAutoTrack_, &AppDelegate::onClickEditAutoTrack);
  on(menuRemoveAll_, &AppDelegate::onClickEditCleanAll);
  on(menuLoadRoi_, &AppDelegate::onClickLoadRoi);
  on(menuSaveRoi_, &AppDelegate::onClickEditSaveRoi);
  on(menuReport_, &AppDelegate::onClickIssueReport);
  on(menuManual_, &AppDelegate::onClickManual);
  on(menuAboutStudio_, &AppDelegate::onClickAbout);
  on(backDoor_, &AppDelegate::onClickBackDoor);
  connect(menuQuit_, &QAction::triggered, this, [this] {
    if (env_.terminate) env_.terminate();
  });
}

QKeySequence AppDelegate::backDoorKeys() {
  return QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_D);
}

void AppDelegate::attachTo(QWidget* window) {
  mainWindow_ = window;
  if (auto* main = qobject_cast<QMainWindow*>(window)) main->setMenuBar(menuBar_);
  if (window) window->addAction(backDoor_);
}

bool AppDelegate::hasDeactivateSwitch(const std::vector<std::string>& arguments) {
  if (arguments.size() < 2) return false;
  // After "--" it is a file's name.
  return CommandLine::decide({arguments.begin() + 1, arguments.end()}, {kDeactivateSwitch})
      .has(kDeactivateSwitch);
}

bool AppDelegate::isDeactivateRun() const { return hasDeactivateSwitch(env_.arguments); }

void AppDelegate::applicationWillFinishLaunching() {
  if (!isDeactivateRun()) return;
  qInfo("deactivate camera extension");
  SystemExtensionManager* extensions = env_.extensions;
  LogManager* log = &logger();
  platform::Queue* main = env_.main;
  auto terminate = env_.terminate;
  env_.worker->async([extensions, log, main, terminate] {
    auto done = [log, main, terminate](bool deactivated) {
      log->debug(
          deactivated ? "deactivate camera extension done" : "deactivate camera extension fail",
          __FILE__, "applicationWillFinishLaunching", __LINE__);
      main->async([terminate] {
        if (terminate) terminate();
      });
    };
    if (extensions)
      extensions->deactivateCameraExtension(done);
    else
      done(false);
  });
}

void AppDelegate::applicationDidFinishLaunching() {
  // Kept for the record: this platform has no exception-to-crash switch to give it to.
  registeredDefaults_["NSApplicationCrashOnExceptions"] = true;
  appStartTime_ = env_.clock->now();
  applyMenuVisibility();
  localizeMenuTitles();
  if (!env_.api) return;
  QPointer<AppDelegate> self(this);
  env_.api->apiCall<CompanyModel>(KestovaAPIRouter::getCompanyInfo(), [self](CompanyModel model) {
    if (self) self->companyModel_ = std::move(model);
  });
}

void AppDelegate::applyMenuVisibility() {
  std::optional<std::string> name = env_.bundle ? env_.bundle->bundleName() : std::nullopt;
  if (!name) SHELL_LOG_ERROR("The bundle has no CFBundleName");
  MenuRules::Configuration configuration;
  configuration.programName = name.value_or("");
  if (env_.config) {
    configuration.isStaging = env_.config->isStaging;
    configuration.enableNewDetectLayout = env_.config->enableNewDetectLayout;
    configuration.enableOta = env_.config->enableOta;
    configuration.enableReport = env_.config->enableReport;
  }
  MenuRules::Hidden hidden = MenuRules::hidden(configuration);
  menuSetting_->setVisible(!hidden.menuSetting);
  menuManual_->setVisible(!hidden.menuManual);
  menuAutoDetect_->setVisible(!hidden.menuAutoDetect);
  menuDetectOnce_->setVisible(!hidden.menuDetectOnce);
  menuAutoTrack_->setVisible(!hidden.menuAutoTrack);
  menuReport_->setVisible(!hidden.menuReport);
}

void AppDelegate::localizeMenuTitles() {
  std::optional<std::string> name = env_.bundle ? env_.bundle->bundleName() : std::nullopt;
  menuApp_->setTitle(QString::fromStdString(name.value_or("Corvane Studio")));
  menuLanguage_->setText(text("menu_help_language_name"));
  menuReport_->setText(text("menu_help_report_name"));
  menuManual_->setText(text("menu_help_manual_name"));
  menuUpdate_->setText(text("menu_help_update_name"));
  menuQuit_->setText(text("menu_quit"));
  menuEdit_->setTitle(text("menu_edit_name"));
  menuAutoDetect_->setText(text("control_panel_detect_name"));
  menuDetectOnce_->setText(text("control_panel_detect_name"));
  menuAutoTrack_->setText(text("control_panel_tracking_name"));
  menuRemoveAll_->setText(text("menu_edit_remove_name"));
  menuLoadRoi_->setText(text("menu_edit_load_roi"));
  menuSaveRoi_->setText(text("menu_edit_save_roi"));
  menuAbout_->setTitle(text("menu_help_about_name"));
  menuAboutStudio_->setText(text("menu_help_about_desc"));
}

void AppDelegate::updateMenuItems() {
  MenuRules::EditItems items =
      MenuRules::editItems(camera_.connectMode->value(), camera_.isAutoDetect->value(),
                           camera_.isFaceAutoTracking->value());
  apply(menuAutoDetect_, items.autoDetect);
  apply(menuDetectOnce_, items.detectOnce);
  apply(menuAutoTrack_, items.autoTrack);
  apply(menuRemoveAll_, items.removeAll);
  apply(menuLoadRoi_, items.loadRoi);
  apply(menuSaveRoi_, items.saveRoi);
}

namespace {
void call(const AppDelegate::Event& event) {
  if (event) event();
}
}  // namespace

void AppDelegate::onClickLanguage() { call(menuLanguageEvent); }
void AppDelegate::onClickUpdate() { call(menuUpdateEvent); }
void AppDelegate::onClickEditAutoDetect() { call(menuAutoDetectEvent); }
void AppDelegate::onClickEditDetectOnce() { call(menuDetectOnceEvent); }
void AppDelegate::onClickEditAutoTrack() { call(menuAutoTrackEvent); }
void AppDelegate::onClickEditCleanAll() { call(menuCleanAllEvent); }
void AppDelegate::onClickLoadRoi() { call(menuLoadRoiEvent); }
void AppDelegate::onClickEditSaveRoi() { call(menuSaveRoiEvent); }
void AppDelegate::onClickIssueReport() { openContactPage(); }
void AppDelegate::onClickManual() { openManualPage(); }
void AppDelegate::onClickAbout() {
  // Every selection makes a new About window; each goes when it is closed.
  aboutWindow_ = nullptr;
  showWindow(aboutWindow_, makeAboutWindow_, "About");
}
void AppDelegate::onClickBackDoor() {
  showWindow(backDoorWindow_, makeBackDoorWindow_, "diagnostics", mainWindow_);
}
void AppDelegate::openContactPage() { openCompanyPage(CompanyLink::Page::contact); }
void AppDelegate::openManualPage() { openCompanyPage(CompanyLink::Page::manual); }

void AppDelegate::showWindow(QPointer<QWidget>& window, const WindowFactory& factory,
                             const char* what, const QWidget* over) {
  if (!window && factory) {
    window = factory();
    SmallWindowKeys::install(window);
  }
  if (!window) {
    SHELL_LOG_ERROR(std::string("No ") + what + " window can be made");
    return;
  }
  WindowOnScreen::show(window, over);
}

void AppDelegate::openCompanyPage(CompanyLink::Page page) {
  bool staging = env_.config && env_.config->isStaging;
  std::optional<std::string> link = CompanyLink::pageLink(companyModel_, page, staging);
  if (!link) return;
  auto read = env_.customerIdentifier;
  platform::Queue* main = env_.main;
  LogManager* log = &logger();
  PageOpener::Environment pages{
      env_.workspace, main,
      [log](const std::string& line) { log->error(line, __FILE__, "openCompanyPage", __LINE__); },
      env_.alert};
  // The identifier is a USB request: never on the main thread.
  env_.worker->async([read, main, pages, link = *link] {
    std::string customer = read ? read() : std::string();
    main->async(
        [pages, url = CompanyLink::withCustomer(link, customer)] { PageOpener::open(pages, url); });
  });
}

void AppDelegate::applicationWillTerminate() {
  if (terminated_) return;
  terminated_ = true;
  if (isDeactivateRun()) return;
  // The report's bound holds for the whole quit: what comes before the report counts against it.
  const platform::Clock::TimePoint quitStart =
      env_.clock ? env_.clock->now() : platform::Clock::TimePoint{};
  if (env_.config) {
    env_.config->saveConfigFile();
    env_.config->savePresetFile();
  }
  // The session's settings reach the file now, or its write problem reaches the day log: left
  // to the settings object's end they would be lost without a line.
  if (env_.defaults) env_.defaults->synchronize();
  if (!env_.reportApi.http) return;
  ExitReport::Facts facts;
  facts.usageSeconds =
      appStartTime_ ? ExitReport::usageSeconds(*appStartTime_, env_.clock->now()) : 0;
  facts.version = env_.bundle ? env_.bundle->shortVersion().value_or("") : "";
  if (env_.cameraIdentity) {
    CameraIdentity camera = env_.cameraIdentity();
    facts.firmwareVersion = camera.firmwareVersion;
    facts.vendorID = camera.vendor_id;
    facts.productID = camera.product_id;
  }
  facts.vendor = env_.config ? env_.config->vendor : "";
  facts.osVersion = env_.osVersion;
  if (!ExitReport::send(env_.reportApi, facts, *env_.clock, quitStart + env_.reportBound, logger()))
    SHELL_LOG_DEBUG("The usage report got no answer in time");
}

}  // namespace corvane
