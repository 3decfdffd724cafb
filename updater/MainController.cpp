#include "MainController.h"

#include <sys/utsname.h>

#include <QApplication>
#include <QCloseEvent>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPropertyAnimation>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "BoundedFile.h"
#include "CloudService.h"
#include "CompleteController.h"
#include "ConfigManager.h"
#include "ConnectController.h"
#include "ErrorController.h"
#include "LanguageManager.h"
#include "LocalFileController.h"
#include "LogManager.h"
#include "PackageArchive.h"
#include "Paths.h"
#include "PrivacyController.h"
#include "ProgresController.h"
#include "StringExtension.h"
#include "USBManager.h"
#include "UpdateManager.h"
#include "capture/CaptureDeviceDiscovery.h"
#include "dispatch/GlobalQueue.h"
#include "dispatch/MainQueue.h"

namespace fs = std::filesystem;

namespace updater {

namespace {

constexpr auto kStartDelay = std::chrono::seconds(1);
constexpr auto kTick = std::chrono::seconds(1);
constexpr auto kCompleteDelay = std::chrono::seconds(3);
constexpr auto kRestartDelay = std::chrono::seconds(5);
constexpr int kReconnectTicks = 15;
constexpr int kRestartAttempts = 61;
constexpr int kUacChecks = 5;
// The status loop reads once a second; this many seconds without a reading (the camera gone
// from the bus mid-install) end it on the install-error page.
constexpr int kStatusQuietTicks = 60;

std::string hex4(long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04lx", value);
  return text;
}

std::vector<std::string> splitDots(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream s(text);
  for (std::string part; std::getline(s, part, '.');) parts.push_back(part);
  if (!text.empty() && text.back() == '.') parts.emplace_back();
  return parts;
}

std::optional<long> decimal(const std::string& text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::stol(text);
}

// A version text of the package folder, empty without one. A file of that name that is not a
// short regular file (a FIFO would hang the window) is refused and said.
std::string readVersionText(const std::string& path) {
  std::string text, why;
  if (platform::BoundedFile::read(path, platform::BoundedFile::kMarkerBytes, text, &why))
    return text;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(path, ec))) UPDATER_LOG_ERROR("Cannot read " + why);
  return {};
}

std::string trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  return text.substr(start);
}

std::string kernelVersion() {
  struct utsname u;
  if (uname(&u) != 0) return "0.0.0";
  std::vector<std::string> parts = splitDots(u.release);
  std::string out;
  for (size_t i = 0; i < 3; ++i) {
    std::string digits = i < parts.size() ? parts[i] : "0";
    digits = digits.substr(0, digits.find_first_not_of("0123456789"));
    out += (i ? "." : "") + (digits.empty() ? std::string("0") : digits);
  }
  return out;
}

}  // namespace

// What one connection attempt found, made on the work queue.
struct MainController::Connection {
  bool found = false;
  bool opened = false;
  std::string vid, pid, name;
};

MainController::Environment MainController::Environment::process() {
  Environment env;
  env.config = &ConfigManager::shared();
  env.usbManager = &USBManager::shared();
  env.updateManager = &UpdateManager::shared();
  env.captureDevices = [] { return platform::CaptureDeviceDiscovery().devices(); };
  env.makeAudioUpdater = AudioFirmwareUpdater::framework();
  env.workQueue = &platform::GlobalQueue::shared();
  env.mainQueue = &platform::MainQueue::shared();
  env.workFolder = privateWorkFolder();
  env.osVersion = kernelVersion();
  env.terminate = [] { QApplication::quit(); };
  return env;
}

MainController::MainController(Environment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)), alive_(std::make_shared<bool>(true)) {
  if (!env_.cloud) env_.cloud = new CloudService(this);
  if (!env_.workQueue) env_.workQueue = &platform::GlobalQueue::shared();
  if (!env_.mainQueue) env_.mainQueue = &platform::MainQueue::shared();
  setWindowTitle(
      QString::fromStdString(LanguageManager::shared().localized("updater_window_title_name")));
  resize(720, 480);
  privacyController_ = new PrivacyController(this);
  connectController_ = new ConnectController(this);
  progresController_ = new ProgresController(this);
  completeController_ =
      env_.makeCompletePage ? env_.makeCompletePage(this) : new CompleteController(this);
  errorController_ = new ErrorController(this);
  localFileController_ = new LocalFileController(this);
  pages_ = {privacyController_,  connectController_, progresController_,
            completeController_, errorController_,   localFileController_};
  auto* layout = new QGridLayout(this);
  for (QWidget* page : pages_) layout->addWidget(page, 0, 0);  // stacked in one cell
  localFileController_->selectedComplete = [this](const QString& folder) {
    folderPath = folder.toStdString();
    isStartFwUpdate = true;
    readStatus([this] { updateUvcFw(); });
  };
  viewDidLoad();
}

MainController::~MainController() { *alive_ = false; }

std::function<void()> MainController::guarded(std::function<void()> task) {
  std::weak_ptr<bool> alive = alive_;
  int generation = generation_;
  return [this, alive, generation, task = std::move(task)] {
    auto still = alive.lock();
    if (!still || !*still || generation != generation_) return;
    task();
  };
}

std::function<void(bool)> MainController::guardedBool(std::function<void(bool)> task) {
  std::weak_ptr<bool> alive = alive_;
  int generation = generation_;
  return [this, alive, generation, task = std::move(task)](bool ok) {
    auto still = alive.lock();
    if (!still || !*still || generation != generation_) return;
    task(ok);
  };
}

void MainController::after(platform::Clock::Duration delay, std::function<void()> task) {
  platform::Queue* main = env_.mainQueue;
  auto run = guarded(std::move(task));
  platform::Clock& clock = platform::Clock::shared();
  clock.callAt(clock.now() + delay, [main, run] { main->async(run); });
}

template <typename Result>
void MainController::onWorker(std::function<Result()> task, std::function<void(Result)> done) {
  platform::Queue* main = env_.mainQueue;
  std::weak_ptr<bool> alive = alive_;
  int generation = generation_;
  env_.workQueue->async(
      [this, main, alive, generation, task = std::move(task), done = std::move(done)] {
        Result result = task();
        main->async([this, alive, generation, done, result] {
          auto still = alive.lock();
          if (!still || !*still || generation != generation_) return;
          done(result);
        });
      });
}

std::string MainController::cameraName() const {
  return kestovaDeviceNames.empty() ? std::string("Kestova Camera") : kestovaDeviceNames.front();
}

// ---- pages ----

void MainController::showPage(Page page) {
  for (QWidget* p : pages_) p->setHidden(true);
  page_ = page;
  QWidget* target = nullptr;
  switch (page) {
    case Page::privacy:
      target = privacyController_;
      break;
    case Page::connect:
      target = connectController_;
      break;
    case Page::progress:
      target = progresController_;
      break;
    case Page::complete:
      target = completeController_;
      break;
    case Page::error:
      target = errorController_;
      break;
    case Page::localFile:
      target = localFileController_;
      break;
    case Page::none:
      return;
  }
  target->setHidden(false);
  // The keyboard follows the page: a focus left on a hidden page's button would press it
  // with Space (Try Again on the completion page would start the update over).
  QWidget* focused = focusWidget();
  if (!focused || !target->isAncestorOf(focused)) {
    if (QAbstractButton* button = defaultButton())
      button->setFocus(Qt::OtherFocusReason);
    else
      setFocus(Qt::OtherFocusReason);
  }
  auto* effect = new QGraphicsOpacityEffect(target);
  effect->setOpacity(0);
  target->setGraphicsEffect(effect);
  auto* fade = new QPropertyAnimation(effect, "opacity", target);
  fade->setDuration(1000);
  fade->setStartValue(0.0);
  fade->setEndValue(1.0);
  fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void MainController::showPrivacyPage(const std::string& reason) {
  // The one place that says why the audio firmware could not be copied: the log and the page.
  UPDATER_LOG_ERROR(
      "uacSetPrivacyView(): " +
      (reason.empty() ? std::string("the audio firmware could not be saved") : reason));
  QString said = QString::fromStdString(reason);
  if (!said.isEmpty()) said = said.left(1).toUpper() + said.mid(1) + ".";
  privacyController_->setReason(said);
  privacyController_->action = [this] { startAgain(); };
  showPage(Page::privacy);
}

void MainController::startAgain() {
  ++generation_;
  isStartFwUpdate = false;
  showConnectPage();
  startConnect();
}

void MainController::showConnectPage() {
  connectController_->showSearching();
  showPage(Page::connect);
}

void MainController::showConnectErrorPage() {
  connectController_->showError("Cannot find camera device.");
  connectController_->tryAgainAction = [this] {
    ++generation_;
    showConnectPage();
    startConnect();
  };
  showPage(Page::connect);
}

void MainController::showProgressPage(int mode) {
  // The progress page's phases by number: camera updating, camera start, audio updating, audio
  // start, downloading, AI updating, waiting for the camera to restart.
  using Phase = void (ProgresController::*)();
  static constexpr Phase phases[] = {
      &ProgresController::setCameraUpdating,   &ProgresController::setCameraStart,
      &ProgresController::setAudioUpdating,    &ProgresController::setAudioStart,
      &ProgresController::setDownloading,      &ProgresController::setAiUpdating,
      &ProgresController::setWaitingForRestart};
  if (mode >= 0 && mode < int(std::size(phases))) (progresController_->*phases[mode])();
  showPage(Page::progress);
}

void MainController::showCompletePage() {
  completeController_->cameraName = QString::fromStdString(cameraName());
  showPage(Page::complete);
}

void MainController::showLatestVersionPage() {
  std::string names;
  for (const auto& n : kestovaDeviceNames) names += (names.empty() ? "" : ", ") + n;
  errorController_->setFinished(QString::fromStdString(names.empty() ? cameraName() : names));
  errorController_->action = [this] {
    if (env_.terminate) env_.terminate();
  };
  showPage(Page::error);
}

void MainController::showInstallErrorPage(const std::string& detail) {
  errorController_->setFailed(QString::fromStdString(cameraName()), QString::fromStdString(detail));
  // A volume a search mounted stays mounted no longer than the update that needed it.
  if (env_.updateManager) env_.updateManager->releaseVolumes();
  errorController_->action = [this] { startAgain(); };
  showPage(Page::error);
}

void MainController::showLocalFilePage() { showPage(Page::localFile); }

// ---- start ----

void MainController::viewDidLoad() {
  for (QWidget* p : pages_) p->setHidden(true);
  env_.config->loadUpdaterConfig();
  env_.config->loadCustomConfig();
  env_.config->loadKestovaSetting();
  LanguageManager::shared();
}

void MainController::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  viewDidAppear();
}

void MainController::closeEvent(QCloseEvent* event) {
  event->accept();
  if (env_.terminate) env_.terminate();
}

QAbstractButton* MainController::defaultButton() const {
  // The progress page and the search have none.
  const std::pair<Page, QAbstractButton*> buttons[] = {
      {Page::privacy, privacyController_->settingButton},
      {Page::connect, connectController_->tryAgainButton},
      {Page::complete, completeController_->openButton},
      {Page::error, errorController_->actionButton},
      {Page::localFile, localFileController_->selectButton}};
  for (const auto& [page, button] : buttons)
    if (page == page_ && button->isVisibleTo(this) && button->isEnabled()) return button;
  return nullptr;
}

void MainController::keyPressEvent(QKeyEvent* event) {
  const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (modifiers == Qt::ControlModifier &&
      (event->key() == Qt::Key_Q || event->key() == Qt::Key_W)) {
    // Through the window's own close, so that whatever the close button does on this page
    // (and whatever keeps the window open) holds for the keys as well.
    close();
    return;
  }
  if (modifiers == Qt::NoModifier &&
      (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    // The buttons leave Return to their window (they take Space themselves).
    auto* focused = qobject_cast<QAbstractButton*>(focusWidget());
    QAbstractButton* button =
        focused && focused->isVisibleTo(this) && focused->isEnabled() ? focused : defaultButton();
    if (button) button->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MainController::viewDidAppear() {
  if (flowStarted_) return;
  flowStarted_ = true;
  if (isTest) {
    after(kStartDelay, [this] { connectCamera(false, [this](bool) { showLocalFilePage(); }); });
    return;
  }
  if (isStartFwUpdate) return;
  showConnectPage();
  startConnect();
}

void MainController::startConnect() {
  after(kStartDelay, [this] {
    connectCamera(true, [this](bool ok) {
      if (!ok) showConnectErrorPage();
    });
  });
}

// ---- camera ----

MainController::CameraMatch MainController::checkCamera(const platform::CaptureDevice& device,
                                                        const ConfigManager& config) {
  UPDATER_LOG_INFO("search camera: " + device.localizedName);
  CameraMatch match;
  auto [vendorText, productText] = StringExtension::vendorProductIds(device.modelID);
  auto vendor = decimal(vendorText), product = decimal(productText);
  std::string v = vendor ? hex4(*vendor) : "", p = product ? hex4(*product) : "";
  // The ids the update volume is looked for by (UpdateManager::cameraDiskRule) are these.
  const std::string storageMode = hex4(UpdateManager::kStorageModeProductId);
  for (size_t i = 0; i < config.cameraVendorIds.size(); ++i) {
    if (config.cameraVendorIds[i] != v || v.empty()) continue;
    if (p == storageMode) {
      UPDATER_LOG_INFO("Storage mode pid:" + storageMode);
    } else if (i < config.cameraProductIds.size() && config.cameraProductIds[i] == p) {
      UPDATER_LOG_INFO("==================== Verify the camera is successful ====================");
    } else {
      continue;
    }
    match = {true, v, p};
  }
  if (match.accepted) return match;
  if (p == storageMode && v == hex4(UpdateManager::kDefaultCameraVendorId)) return {true, v, p};
  for (const std::string& name : config.cameraNames)
    if (!name.empty() && device.localizedName.find(name) != std::string::npos) return {true, v, p};
  return {};
}

MainController::Connection MainController::connectNow(const Environment& env) {
  Connection c;
  std::vector<platform::CaptureDevice> devices =
      env.captureDevices ? env.captureDevices() : std::vector<platform::CaptureDevice>{};
  const platform::CaptureDevice* camera = nullptr;
  for (const auto& device : devices) {
    if (checkCamera(device, *env.config).accepted) {
      camera = &device;
      break;
    }
  }
  if (!camera) return c;
  c.found = true;
  c.name = camera->localizedName;
  auto [vendorText, productText] = StringExtension::vendorProductIds(camera->modelID);
  auto vendor = decimal(vendorText), product = decimal(productText);
  if (!vendor || !product || *vendor > 0xFFFF || *product > 0xFFFF) return c;
  c.vid = hex4(*vendor);
  c.pid = hex4(*product);
  env.usbManager->openUSBFromVID(uint16_t(*vendor), uint16_t(*product));
  if (!env.usbManager->isConnect()) return c;
  env.usbManager->getInfo();
  env.usbManager->setDeviceName(c.name);
  c.opened = true;
  return c;
}

void MainController::connectCamera(bool forDownload, std::function<void(bool)> completed) {
  isUvcConnected = false;
  onWorker<Connection>(
      [env = env_] { return connectNow(env); },
      [this, forDownload, completed](Connection c) {
        if (!c.found) {
          // No camera plugged in is the user's situation, which the connect page shows, not a
          // fault of the updater.
          UPDATER_LOG_INFO("connectCamera: no camera device found");
          return completed(false);
        }
        vid = c.vid;
        pid = c.pid;
        if (!c.opened) {
          UPDATER_LOG_ERROR("connectCamera: cannot open the camera " + vid + ":" + pid);
          return completed(false);
        }
        kestovaDeviceNames = {c.name};
        UPDATER_LOG_INFO("Connect camera: " + c.name);
        isUvcConnected = true;
        completed(true);
        if (!forDownload) return;
        checkUpdate([this](const std::optional<std::string>& link) {
          if (!link) return showConnectErrorPage();
          if (link->empty()) return showLatestVersionPage();
          readStatus([this, link = *link] { download(link); });
        });
      });
}

void MainController::ensureConnected(std::function<void(bool)> completed) {
  if (env_.usbManager->isConnect()) return completed(true);
  connectCamera(false, std::move(completed));
}

// ---- version check and package ----

void MainController::checkUpdate(std::function<void(const std::optional<std::string>&)> completed) {
  if (!env_.usbManager->isConnect()) {
    UPDATER_LOG_ERROR("checkUpdate: the camera is not open");
    return completed(std::nullopt);
  }
  const ConfigManager& config = *env_.config;
  std::string url = CloudService::join(
      config.cloudBaseURL, config.isStaging ? "/1.5/version/check_test" : "/1.5/version/check");
  CloudService::Parameters parameters = {
      {"product", env_.usbManager->product_id()},
      {"vendor", env_.usbManager->vendor_id()},
      {"companyNo", config.companyNo},
      {"version", "1.0.0"},
      {"os", "Linux " + env_.osVersion},
      {"action", "2"},
      {"length", "0"},
      {"fwVersion", env_.usbManager->firmwareVersion()},
      {"customer", env_.usbManager->machineId()},
  };
  std::string logged;
  for (const auto& [k, v] : parameters) logged += (logged.empty() ? "" : ", ") + k + ": " + v;
  UPDATER_LOG_INFO("parameters: [" + logged + "]");
  env_.cloud->checkVersion(url, parameters,
                           [this, alive = std::weak_ptr<bool>(alive_), generation = generation_,
                            completed](std::optional<nlohmann::json> response,
                                       const std::string& error, const std::string& requestURL) {
                             auto still = alive.lock();
                             if (!still || !*still || generation != generation_) return;
                             if (!response) {
                               UPDATER_LOG_ERROR("checkUpdate failure: " + error);
                               return completed(std::string());
                             }
                             UPDATER_LOG_INFO("URL:" + requestURL);
                             UPDATER_LOG_INFO("response:" + response->dump());
                             CloudService::VersionAnswer answer = CloudService::parseVersionAnswer(
                                 *response, env_.config->storageBaseURL);
                             if (!answer.missingKeys.empty()) {
                               std::string keys;
                               for (const auto& k : answer.missingKeys)
                                 keys += (keys.empty() ? "" : ", ") + k;
                               UPDATER_LOG_ERROR("Missing keys: " + keys);
                             }
                             serverFwVersion = answer.fwVersion;
                             packageSha256 = answer.sha256;
                             completed(answer.hasNewFwVersion ? answer.link : std::string());
                           });
}

void MainController::readStatus(std::function<void()> idle) {
  auto handle = [this, idle](uint8_t status, uint8_t progress) {
    checkFwUpdateFlow(status, progress, idle);
  };
  std::weak_ptr<bool> alive = alive_;
  int generation = generation_;
  env_.usbManager->checkStatus([this, alive, generation, handle](uint8_t s, uint8_t p) {
    auto still = alive.lock();
    if (!still || !*still || generation != generation_) return;
    handle(s, p);
  });
}

void MainController::checkFwUpdateFlow(int status, int progress,
                                       const std::function<void()>& idle) {
  UPDATER_LOG_INFO("Camera status: " + std::to_string(status) +
                   ", progress: " + std::to_string(progress));
  if (status == 0) return idle();
  if (status >= 1 && status <= 4) return startCheckStatusLoop();
  if (status == 5) return showCompletePage();
  UPDATER_LOG_ERROR("Camera status error: " + std::to_string(status));
  showInstallErrorPage();
}

std::string MainController::privateWorkFolder() {
  constexpr const char* kName = "corvane-studio-updater";
  if (auto caches = platform::Paths::caches())
    return platform::Paths::join(platform::Paths::join(*caches, kName), "update");
  // No home: a folder made for this run alone, never a fixed name others could prepare.
  std::string pattern = platform::Paths::join(platform::Paths::temporary(), kName) + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) return {};
  return buffer.data();
}

std::string MainController::prepareWorkFolder(const std::string& folder) {
  if (folder.empty()) return "the updater has no folder of its own";
  std::error_code ec;
  fs::file_status status = fs::symlink_status(folder, ec);
  if (fs::is_symlink(status)) return folder + " is a symbolic link";
  if (!fs::exists(status)) {
    fs::create_directories(folder, ec);
    if (ec) return "cannot create " + folder + ": " + ec.message();
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    return {};
  }
  if (!fs::is_directory(status)) return folder + " is not a folder";
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec))
    entries.push_back(it->path());
  if (ec) return "cannot list " + folder + ": " + ec.message();
  for (const fs::path& entry : entries) {
    if (entry.filename() == "update") UPDATER_LOG_INFO("[Updater] Find the update folder");
    if (entry.filename() == "update.zip") UPDATER_LOG_INFO("[Updater] Find the update.zip");
    fs::remove_all(entry, ec);
    if (ec) return "cannot remove " + entry.string() + ": " + ec.message();
  }
  return {};
}

void MainController::download(const std::string& url) {
  showProgressPage(4);
  // Firmware goes into the camera: only what came over an authenticated connection.
  if (!CloudService::isSecureLink(url)) {
    UPDATER_LOG_ERROR("[Updater] Refused the package link, it is not https: " + url);
    return showInstallErrorPage("The update package was offered over an insecure link.");
  }
  std::string folder = env_.workFolder;
  std::string zipPath = platform::Paths::join(folder, "update.zip");
  std::string unzipPath = platform::Paths::join(folder, "update");
  onWorker<std::string>(
      [folder] { return prepareWorkFolder(folder); },
      [this, url, zipPath, unzipPath](std::string problem) {
        if (!problem.empty()) {
          // Old files left beside the new ones could take part in the update: stop here.
          UPDATER_LOG_ERROR("[Updater] download remove update folder or zip file error: " +
                            problem);
          return showInstallErrorPage();
        }
        env_.cloud->download(
            url, zipPath,
            [this, alive = std::weak_ptr<bool>(alive_)](double fraction) {
              auto still = alive.lock();
              if (!still || !*still) return;
              UPDATER_LOG_DEBUG("Download Progress: " + std::to_string(fraction));
              progresController_->setCameraProgress(int(fraction * 100));
            },
            [this, zipPath, unzipPath, alive = std::weak_ptr<bool>(alive_),
             generation = generation_](bool ok, const std::string& error) {
              auto still = alive.lock();
              if (!still || !*still || generation != generation_) return;
              if (!ok) {
                UPDATER_LOG_ERROR("Download error: " + error);
                UPDATER_LOG_INFO("success: false");
                return showInstallErrorPage();
              }
              unpack(zipPath, unzipPath);
            });
      });
}

std::string MainController::getFolderPathFrom(const std::string& unzipPath) {
  std::error_code ec;
  std::vector<fs::path> items;
  for (fs::directory_iterator it(unzipPath, ec); !ec && it != fs::directory_iterator();
       it.increment(ec))
    items.push_back(it->path());
  std::sort(items.begin(), items.end());
  UPDATER_LOG_DEBUG("items count:" + std::to_string(items.size()));
  for (const fs::path& item : items) {
    UPDATER_LOG_DEBUG("item:" + item.filename().string());
    if (item.filename() == "fw_file" && fs::is_directory(item, ec)) return item.string();
  }
  for (const fs::path& item : items) {
    if (!fs::is_directory(item, ec)) continue;
    std::vector<fs::path> subItems;
    for (fs::directory_iterator it(item, ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
      subItems.push_back(it->path());
    std::sort(subItems.begin(), subItems.end());
    UPDATER_LOG_DEBUG("subItems count:" + std::to_string(subItems.size()));
    for (const fs::path& sub : subItems) {
      UPDATER_LOG_DEBUG("subItem:" + sub.filename().string());
      if (sub.filename() == "fw_file" && fs::is_directory(sub, ec)) return sub.string();
    }
  }
  return {};
}

void MainController::unpack(const std::string& zipPath, const std::string& unzipPath) {
  onWorker<std::string>(
      [zipPath, unzipPath, digest = packageSha256] {
        if (!digest.empty()) {
          // Checked before a single file is unpacked.
          std::string actual = CloudService::sha256OfFile(zipPath);
          if (actual != digest) {
            UPDATER_LOG_ERROR("[Updater] The package's SHA-256 " +
                              (actual.empty() ? std::string("cannot be read") : actual) +
                              " is not the announced " + digest);
            UPDATER_LOG_INFO("success: false");
            return std::string();
          }
          UPDATER_LOG_INFO("[Updater] The package's SHA-256 matches");
        }
        std::string error;
        bool ok = PackageArchive::extract(zipPath, unzipPath, std::nullopt, &error);
        UPDATER_LOG_INFO(std::string("success: ") + (ok ? "true" : "false"));
        UPDATER_LOG_INFO("unzipFolderPath: " + unzipPath);
        if (!ok) {
          UPDATER_LOG_ERROR("Unpack error: " + error);
          // What did unpack must never be taken for the package.
          std::error_code ec;
          fs::remove_all(unzipPath, ec);
          if (ec) UPDATER_LOG_ERROR("Cannot remove " + unzipPath + ": " + ec.message());
          return std::string();
        }
        return getFolderPathFrom(unzipPath);
      },
      [this](std::string packageFolder) {
        folderPath = packageFolder;
        UPDATER_LOG_INFO("folderPath: " + folderPath);
        if (folderPath.empty()) return showInstallErrorPage();
        std::string swu = folderPath + "/update.swu";
        std::error_code ec;
        if (fs::exists(swu, ec)) return updateAudio(swu);
        isStartFwUpdate = true;
        readStatus([this] { updateUvcFw(); });
      });
}

// ---- audio firmware ----

void MainController::updateAudio(const std::string& swuPath) {
  auto [audioVid, audioPid] = env_.config->audioIdsForCamera(vid, pid);
  if (!env_.makeAudioUpdater) return showInstallErrorPage();
  qd4718Updater = env_.makeAudioUpdater(int(audioVid), int(audioPid), swuPath);
  if (!qd4718Updater) return showInstallErrorPage();
  // The framework calls back on its own thread: every callback moves to the main queue.
  platform::Queue* main = env_.mainQueue;
  auto onMain = [this, main](std::function<void()> task) {
    return [main, run = guarded(std::move(task))] { main->async(run); };
  };
  std::weak_ptr<bool> alive = alive_;
  int generation = generation_;
  qd4718Updater->RegisterDeviceCB(
      onMain([this] { showProgressPage(2); }),
      [this, main, alive, generation](int value) {
        main->async([this, alive, generation, value] {
          auto still = alive.lock();
          if (!still || !*still || generation != generation_) return;
          progresController_->setAudioProgress(value);
        });
      },
      onMain([this] {
        showPrivacyPage(qd4718Updater ? qd4718Updater->failureReason() : std::string());
      }),
      onMain([this] {
        UPDATER_LOG_ERROR("uacSetInstallationErrorView()");
        showInstallErrorPage();
      }),
      onMain([this] { uacCompleteUpdate(); }));
  std::shared_ptr<AudioFirmwareUpdater> audio = qd4718Updater;
  onWorker<bool>(
      [audio] {
        UPDATER_LOG_INFO("Wait check UAC connect");
        for (int i = 0; i < kUacChecks; ++i) {
          if (audio->isUacConnected()) return true;
          if (i + 1 < kUacChecks) platform::Clock::sleepFor(kTick);
        }
        return audio->isUacConnected();
      },
      [this, audio](bool connected) {
        if (!connected) {
          UPDATER_LOG_ERROR("Wait check UAC connect: the audio device is not connected");
          isStartFwUpdate = false;
          return showConnectErrorPage();
        }
        showProgressPage(3);
        audio->FirmwareUpdate();
      });
}

void MainController::uacCompleteUpdate() {
  UPDATER_LOG_INFO("Check UAC connect finished");
  checkCount = 0;
  after(kTick, [this] { uacCheckConnection(); });
}

void MainController::uacCheckConnection() {
  ++checkCount;
  connectCamera(false, [this](bool ok) {
    if (ok) return readStatus([this] { updateUvcFw(); });
    if (checkCount <= kReconnectTicks) return after(kTick, [this] { uacCheckConnection(); });
    UPDATER_LOG_ERROR("Seconnect camera error");
    showInstallErrorPage();
  });
}

// ---- camera firmware ----

UpdateMode MainController::decideMode(const std::string& versionFileText,
                                      const std::string& serverVersion,
                                      const std::string& cameraVersion, bool safeMode,
                                      bool hasZip) {
  std::string package = versionFileText.empty() ? serverVersion : versionFileText;
  std::vector<std::string> server = splitDots(package), camera = splitDots(cameraVersion);
  UpdateMode mode = UpdateMode::Fw;
  if (!versionFileText.empty() && server.size() == 3 && camera.size() == 3) {
    auto serverMinor = decimal(server[1]), cameraMinor = decimal(camera[1]);
    // A minor component that is not a decimal number gives no comparison: the plain firmware.
    if (serverMinor && cameraMinor && *serverMinor > *cameraMinor) {
      auto same = [](const std::string& a, const std::string& b) {
        auto x = decimal(a), y = decimal(b);
        if (!x && !y) return true;
        return x && y && *x == *y;
      };
      mode = same(server[0], camera[0]) && same(server[2], camera[2]) ? UpdateMode::Ai
                                                                      : UpdateMode::All;
    }
  }
  if (safeMode) mode = UpdateMode::Fw;
  if (hasZip) mode = UpdateMode::Zip;
  return mode;
}

UpdateMode MainController::checkMode() const {
  std::string versionFilePath = (fs::path(folderPath).parent_path() / "FW version.txt").string();
  UPDATER_LOG_INFO("versionFilePath:" + versionFilePath);
  std::string version = trimmed(readVersionText(versionFilePath));
  std::string cameraVersion = env_.usbManager->firmwareVersion();
  UPDATER_LOG_INFO("version:" + version);
  UPDATER_LOG_INFO("serverVersions:" + (version.empty() ? serverFwVersion : version));
  UPDATER_LOG_INFO("cameraVersions:" + cameraVersion);
  std::error_code ec;
  UpdateMode mode =
      decideMode(version, serverFwVersion, cameraVersion, env_.usbManager->isSafeMode(),
                 fs::exists(folderPath + "/update.zip", ec));
  UPDATER_LOG_INFO("[Updater] Mode: " + std::to_string(rawValue(mode)));
  return mode;
}

void MainController::updateUvcFw() {
  UPDATER_LOG_INFO("Start update uvc");
  isStartFwUpdate = true;
  showProgressPage(1);
  updateMode = checkMode();
  startCameraPass();
}

void MainController::startCameraPass() {
  USBManager* usb = env_.usbManager;
  onWorker<bool>(
      [usb] {
        bool ok = false;
        usb->setUpdateMode([&](bool r) { ok = r; });
        return ok;
      },
      [this](bool ok) {
        if (!ok) {
          UPDATER_LOG_ERROR("[Updater] startUpdate setUpdateMode srror");
          return showInstallErrorPage();
        }
        moveFileToCamera([this](bool moved) {
          if (!moved) {
            UPDATER_LOG_ERROR("Move file to camera error");
            std::string problem = env_.updateManager ? env_.updateManager->lastProblem() : "";
            return showInstallErrorPage(problem.empty() ? std::string()
                                                        : "The camera's update volume: " + problem);
          }
          env_.updateManager->unmountDevice(guardedBool([this](bool ejected) {
            if (!ejected) {
              UPDATER_LOG_ERROR("Unmount device error");
              return showInstallErrorPage();
            }
            triggerUpdate();
          }));
        });
      });
}

void MainController::moveFileToCamera(std::function<void(bool)> completed) {
  auto done = guardedBool(std::move(completed));
  switch (updateMode) {
    case UpdateMode::Ai:
    case UpdateMode::All:
      return env_.updateManager->moveAiFileToCamera(folderPath, done);
    case UpdateMode::Zip:
      return env_.updateManager->moveZipFileToCamera(folderPath, done);
    case UpdateMode::Fw:
    case UpdateMode::None:
      return env_.updateManager->moveFwFileToCamera(folderPath, done);
  }
}

void MainController::triggerUpdate() {
  ensureConnected([this](bool connected) {
    if (!connected) {
      UPDATER_LOG_ERROR("Reconnect camera error");
      return showInstallErrorPage();
    }
    USBManager* usb = env_.usbManager;
    onWorker<bool>(
        [usb] {
          bool ok = false;
          usb->triggerUpdate([&](bool r) { ok = r; });
          return ok;
        },
        [this](bool ok) {
          if (!ok) {
            UPDATER_LOG_ERROR("[Updater] triggerUpdate triggerUpdate srror");
            return showInstallErrorPage();
          }
          UPDATER_LOG_INFO("Set trigger update:true");
          bool firmware = updateMode == UpdateMode::Fw || updateMode == UpdateMode::Zip;
          showProgressPage(firmware ? 0 : 5);
          startCheckStatusLoop();
        });
  });
}

void MainController::startCheckStatusLoop() {
  std::weak_ptr<bool> alive = alive_;
  int generation = generation_;
  int loop = ++statusLoop_;
  statusQuietTicks_ = 0;
  watchStatusLoop(loop);
  env_.usbManager->startCheckStatusLoop(
      [this, alive, generation, loop](uint8_t status, uint8_t progress) {
        auto still = alive.lock();
        if (!still || !*still || generation != generation_ || loop != statusLoop_) return;
        statusQuietTicks_ = 0;
        UPDATER_LOG_INFO("status: " + std::to_string(status) +
                         ", progress: " + std::to_string(progress));
        if (progress > otherFilesUpdateProgress) {
          otherFilesUpdateProgress = progress;
          progresController_->setCameraProgress(progress);
        }
        if (status == 6) {
          ++statusLoop_;
          UPDATER_LOG_ERROR("Camera status: 6");
          return showInstallErrorPage();
        }
        if (status == 5) {
          ++statusLoop_;
          statusLoopFinished();
        }
      });
}

void MainController::watchStatusLoop(int loop) {
  after(kTick, [this, loop] {
    if (loop != statusLoop_) return;
    bool closed = !env_.usbManager->isConnect();
    if (!closed && ++statusQuietTicks_ < kStatusQuietTicks) return watchStatusLoop(loop);
    ++statusLoop_;  // a reading that still arrives belongs to an ended loop
    UPDATER_LOG_ERROR(closed ? std::string("Camera status: the camera closed during the update")
                             : "Camera status: no answer for " + std::to_string(kStatusQuietTicks) +
                                   " s");
    showInstallErrorPage();
  });
}

void MainController::statusLoopFinished() {
  if (updateMode != UpdateMode::All) return comfirmUpdateOtherFiles();
  showProgressPage(6);
  after(kRestartDelay, [this] {
    onWorker<Connection>(
        [env = env_, alive = std::weak_ptr<bool>(alive_)] {
          Connection c;
          for (int attempt = 0; attempt < kRestartAttempts; ++attempt) {
            // A controller gone meanwhile ends the search; nobody waits for its answer.
            if (alive.expired()) break;
            c = connectNow(env);
            if (c.opened) break;
            // The camera is restarting: give it a second between attempts.
            if (attempt + 1 < kRestartAttempts) platform::Clock::sleepFor(kTick);
          }
          return c;
        },
        [this](Connection c) {
          if (!c.opened) {
            UPDATER_LOG_ERROR("Reconnect camera error");
            return showInstallErrorPage();
          }
          kestovaDeviceNames = {c.name};
          isUvcConnected = true;
          otherFilesUpdateProgress = 0;
          updateMode = UpdateMode::Fw;
          showProgressPage(1);
          startCameraPass();
        });
  });
}

// ---- other files and the end ----

std::vector<std::string> MainController::checkOtherFilesIsExist(const std::string& folder) {
  std::vector<std::string> others;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (UpdateManager::isOtherFile(name)) others.push_back(name);
  }
  std::sort(others.begin(), others.end());
  UPDATER_LOG_INFO(others.empty() ? "No other files exist" : "Other files exist");
  return others;
}

void MainController::comfirmUpdateOtherFiles() {
  if (checkOtherFilesIsExist(folderPath).empty()) {
    return rebootCamera([this] { copyOtherFilesComplete(true); });
  }
  connectCamera(false, [this](bool connected) {
    if (!connected) {
      UPDATER_LOG_ERROR("Reconnect camera error");
      return showInstallErrorPage();
    }
    USBManager* usb = env_.usbManager;
    onWorker<bool>(
        [usb] {
          bool ok = false;
          usb->setUpdateMode([&](bool r) { ok = r; });
          return ok;
        },
        [this](bool ok) {
          if (!ok) {
            UPDATER_LOG_ERROR("[Updater] startUpdate setUpdateMode srror");
            return copyOtherFilesComplete(false);
          }
          env_.updateManager->moveOtherFilesToCamera(
              folderPath, guardedBool([this](bool copied) {
                env_.updateManager->unmountDevice(guardedBool([this, copied](bool ejected) {
                  if (!ejected) UPDATER_LOG_ERROR("Unmount device error");
                  bool result = copied && ejected;
                  rebootCamera([this, result] { copyOtherFilesComplete(result); });
                }));
              }));
        });
  });
}

void MainController::rebootCamera(std::function<void()> then) {
  ensureConnected([this, then](bool connected) {
    if (!connected) {
      UPDATER_LOG_ERROR("Reconnect camera error");
      return then();
    }
    USBManager* usb = env_.usbManager;
    onWorker<bool>(
        [usb] {
          bool ok = false;
          usb->reboot([&](bool r) { ok = r; });
          return ok;
        },
        [then](bool ok) {
          UPDATER_LOG_INFO(std::string("Set reboot:") + (ok ? "true" : "false"));
          then();
        });
  });
}

void MainController::copyOtherFilesComplete(bool ok) {
  if (!ok) return showInstallErrorPage();
  after(kCompleteDelay, [this] { showCompletePage(); });
}

}  // namespace updater
