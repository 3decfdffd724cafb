#include "cloud/UpdateController.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <filesystem>

#include "Bundle.h"
#include "SystemInfo.h"
#include "Workspace.h"
#include "camera/USBManager.h"
#include "cloud/CheckModel.h"
#include "cloud/CloudEndpoints.h"
#include "cloud/KestovaAPIManager.h"
#include "cloud/UserManager.h"
#include "config/ConfigManager.h"
#include "dispatch/MainQueue.h"
#include "i18n/Localized.h"
#include "log/LogManager.h"
#include "qt/UserDefaults.h"
#include "shell/AlertManager.h"
#include "shell/AppDelegate.h"
#include "widgets/ImageAssets.h"

#define UPDATE_LOG_DEBUG(msg) env_.logger->debug((msg), __FILE__, __func__, __LINE__)
#define UPDATE_LOG_ERROR(msg) env_.logger->error((msg), __FILE__, __func__, __LINE__)

namespace corvane {

namespace {

QString text(const std::string& key) { return QString::fromStdString(localized(key)); }

}  // namespace

UpdateController::Environment UpdateController::Environment::process() {
  Environment env;
  env.api = &KestovaAPIManager::shared();
  env.defaults = &platform::UserDefaults::shared();
  env.workspace = &platform::Workspace::shared();
  env.logger = &LogManager::shared();
  env.terminate = [] { QCoreApplication::quit(); };
  env.showAlert = [](const QString& message) { AlertManager::shared().showMessage(message); };
  env.camera = [] {
    auto& usb = USBManager::shared();
    return Camera{usb.firmwareVersion(), usb.vendor_id(), usb.product_id(), usb.machineId()};
  };
  env.companyModel = []() -> std::optional<CompanyModel> {
    const AppDelegate* delegate = AppDelegate::current();
    return delegate ? delegate->companyModel() : std::nullopt;
  };
  env.isStaging = [] { return ConfigManager::shared().isStaging; };
  env.vendor = [] { return ConfigManager::shared().vendor; };
  env.appVersion = platform::Bundle::main().shortVersion().value_or("");
  env.osVersion = platform::SystemInfo::osVersionText();
  std::filesystem::path self(platform::Bundle::executablePath());
  env.updaterPath = (self.parent_path() / "corvane-studio-updater").string();
  return env;
}

UpdateController::UpdateController(Environment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)) {
  if (!env_.logger) env_.logger = &LogManager::shared();
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel(text("update_page_name"), this);
  descLabel = new QLabel(this);
  descLabel->setWordWrap(true);
  rememberStackView = new QWidget(this);
  auto* rememberRow = new QHBoxLayout(rememberStackView);
  rememberButton = new QCheckBox(rememberStackView);
  rememberLabel = new QLabel(text("update_no_ask_name"), rememberStackView);
  rememberRow->addWidget(rememberButton);
  rememberRow->addWidget(rememberLabel);
  auto* buttons = new QHBoxLayout();
  goDownloadPageButton = new QPushButton(text("update_download_page_name"), this);
  goDownloadPageButton->setIcon(QIcon(ImageAssets::named("img_tutorial_p01")));
  goDownloadPageButton->setIconSize(QSize(48, 27));  // the picture's 16:9
  cancelButton = new QPushButton(text("button_cancel_name"), this);
  updateButton = new QPushButton(text("button_update_name"), this);
  okButton = new QPushButton(text("button_ok_name"), this);
  buttons->addWidget(goDownloadPageButton);
  buttons->addStretch();
  buttons->addWidget(cancelButton);
  buttons->addWidget(updateButton);
  buttons->addWidget(okButton);
  layout->addWidget(title);
  layout->addWidget(descLabel);
  layout->addWidget(rememberStackView);
  layout->addLayout(buttons);
  connect(updateButton, &QPushButton::clicked, this, [this] { onClickUpdate(); });
  connect(cancelButton, &QPushButton::clicked, this, [this] { onClickCancel(); });
  connect(okButton, &QPushButton::clicked, this, [this] { onClickOK(); });
  connect(goDownloadPageButton, &QPushButton::clicked, this, [this] { onClickGoDownloadPage(); });
  connect(rememberButton, &QCheckBox::clicked, this, [this] { onClickRemember(); });
  updateLayout();
}

void UpdateController::checkAutomatically() {
  mode = UpdateMode::auto_;
  updateLayout();
  if (mode != UpdateMode::allLastVersion) checkUpdate();
}

void UpdateController::checkUpdate() {
  UPDATE_LOG_DEBUG("checkUpdate()");
  Camera camera = env_.camera ? env_.camera() : Camera{};
  std::string vendor = env_.vendor ? env_.vendor() : "";
  const bool asked = mode == UpdateMode::manual;
  // The window and the connection both check at start: the same question goes out once.
  std::string question =
      camera.firmwareVersion + '\n' + vendor + '\n' + camera.vendor_id + '\n' + camera.product_id;
  if (!asked && automaticQuestion_ && *automaticQuestion_ == question) {
    UPDATE_LOG_DEBUG("The same check was sent already");
    return;
  }
  if (!asked) automaticQuestion_ = question;
  auto route = KestovaAPIRouter::versionCheck(1, 0, env_.appVersion, camera.firmwareVersion, vendor,
                                              env_.osVersion, camera.vendor_id, camera.product_id);
  // The page may be gone when the answer comes.
  QPointer<UpdateController> self(this);
  env_.api->apiCall<CheckModel>(
      route,
      [self](CheckModel answer) {
        if (self) self->handleAnswer(answer.data);
      },
      [self, asked, logger = env_.logger](const std::string& message) {
        logger->error("Update check failed: " + message, __FILE__, "checkUpdate", __LINE__);
        // The automatic check stays quiet; the user who asked is told.
        if (self && asked && self->env_.showAlert)
          self->env_.showAlert(text("update_check_failed_desc"));
      });
}

void UpdateController::handleAnswer(const CheckDataModel& data) {
  QString rememberedApp = env_.defaults->string("AppVersion");
  QString rememberedFw = env_.defaults->string("FwVersion");
  bool appRemembered = env_.defaults->contains("AppVersion");
  bool fwRemembered = env_.defaults->contains("FwVersion");
  auto differs = [](bool remembered, const QString& stored, const std::string& offered) {
    return !remembered || stored.toStdString() != offered;
  };

  if (data.hasNewVersion && differs(appRemembered, rememberedApp, data.version)) {
    descLabel->setText(text("update_latest_version_app_name"));
    latestAppVersion = data.version;
    display(true);
    UPDATE_LOG_DEBUG("Studio need update");
    isStudio = true;
  } else if (data.hasNewFwVersion && differs(fwRemembered, rememberedFw, data.fwVersion) &&
             mode == UpdateMode::auto_) {
    descLabel->setText(text("update_latest_version_fw_name"));
    latestFwVersion = data.fwVersion;
    display(true);
    UPDATE_LOG_DEBUG("FW need update");
    isStudio = false;
  } else {
    UPDATE_LOG_DEBUG("Studio and FW no update");
    if (mode == UpdateMode::manual) {
      descLabel->setText(text("app_version_latest_name"));
      mode = UpdateMode::allLastVersion;
      updateLayout();
      isStudio = true;
      display(true);
    } else {
      display(false);
    }
  }

  if (data.advertisement) {
    UserManager::shared().adData = data.advertisement;
    if (adAction) adAction();
  }
}

void UpdateController::display(bool shown) {
  if (displayHandle) displayHandle(shown);
}

void UpdateController::rememberChoice() {
  if (!rememberButton->isChecked()) return;
  if (!latestAppVersion.empty())
    env_.defaults->set("AppVersion", QString::fromStdString(latestAppVersion));
  if (!latestFwVersion.empty())
    env_.defaults->set("FwVersion", QString::fromStdString(latestFwVersion));
  std::string why;
  if (!env_.defaults->synchronize(&why) && env_.showAlert)
    env_.showAlert(text("alert_setting_not_saved").arg(QString::fromStdString(why)));
}

std::string UpdateController::downloadAddress() const {
  auto company = env_.companyModel ? env_.companyModel() : std::nullopt;
  if (!company) return {};
  bool staging = env_.isStaging && env_.isStaging();
  return staging ? company->data.stagingDownloadUrl : company->data.downloadUrl;
}

void UpdateController::openAddress(const std::string& address) {
  QUrl url(QString::fromStdString(address), QUrl::StrictMode);
  // Download links come from the cloud: only web pages are opened.
  if (!CloudEndpoints::isWebAddress(url)) {
    if (!address.empty()) UPDATE_LOG_ERROR("Not a valid download address: " + address);
    return;
  }
  if (!env_.workspace->openURL(address)) UPDATE_LOG_ERROR("Cannot open " + address);
}

void UpdateController::onClickUpdate() {
  display(false);
  rememberChoice();
  if (!isStudio) {
    if (!env_.workspace->openApplication(env_.updaterPath))
      UPDATE_LOG_ERROR("Cannot start the updater at " + env_.updaterPath);
    // The updater replaces this program's files: end in any case.
    if (env_.terminate) env_.terminate();
    return;
  }
  openAddress(downloadAddress());
}

void UpdateController::onClickGoDownloadPage() {
  std::string address = downloadAddress();
  if (address.empty()) return;
  Camera camera = env_.camera ? env_.camera() : Camera{};
  openAddress(
      address + "?customer=" +
      QUrl::toPercentEncoding(QString::fromStdString(camera.customerIdentifier)).toStdString());
}

void UpdateController::onClickRemember() {}

void UpdateController::onClickOK() { display(false); }

void UpdateController::onClickCancel() {
  display(false);
  rememberChoice();
}

void UpdateController::updateLayout() {
  bool latest = mode == UpdateMode::allLastVersion;
  rememberStackView->setVisible(!latest);
  cancelButton->setVisible(!latest);
  updateButton->setVisible(!latest);
  goDownloadPageButton->setVisible(!latest);
  okButton->setVisible(latest);
}

}  // namespace corvane
