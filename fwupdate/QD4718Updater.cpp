#include "QD4718Updater.h"

#include "QD4718Log.h"

namespace qd4718 {

namespace {

// The dictionary's texts or integer under these keys; nothing when one is missing or of another
// type, or the object is no dictionary.
template <typename T>
std::optional<std::vector<T>> values(const Notification& notification,
                                     std::initializer_list<const char*> keys) {
  const auto* dictionary = std::any_cast<NotificationDictionary>(&notification.object);
  if (!dictionary) return std::nullopt;
  std::vector<T> out;
  for (const char* key : keys) {
    auto it = dictionary->find(key);
    if (it == dictionary->end() || !std::holds_alternative<T>(it->second)) return std::nullopt;
    out.push_back(std::get<T>(it->second));
  }
  return out;
}

}  // namespace

QD4718Updater::QD4718Updater(int vendorId, int productId, std::string path)
    : QD4718Updater(vendorId, productId, std::move(path),
                    HIDManager::systemBackends(vendorId, productId)) {}

QD4718Updater::QD4718Updater(int vendorId, int productId, std::string path,
                             HIDManager::Backends backends)
    : hidManager_(std::make_unique<HIDManager>(vendorId, productId, path, std::move(backends))),
      filePath_(std::move(path)) {
  // Watched from the start, before the driver looks for the device, so a device that is already
  // there is never missed, whenever the callbacks are registered.
  observers_.push_back(NotificationCenter::shared().addObserver(
      HIDManagerConnected, hidManager_.get(), [this](const Notification& n) { hidConnected(n); }));
  hidManager_->start();
}

QD4718Updater::~QD4718Updater() {
  hidManager_.reset();  // its thread is joined: nothing posts any more
  for (auto token : observers_) NotificationCenter::shared().removeObserver(token);
}

void QD4718Updater::RegisterDeviceCB(Callback progressView, ProgressCallback progress,
                                     Callback privacyView, Callback installationErrorView,
                                     Callback completeUpdate) {
  {
    std::lock_guard lock(mutex_);
    if (isHookUacCB) return;
    isHookUacCB = true;
    setUpdateProgressViewCB = std::move(progressView);
    setUpdateProgressCB = std::move(progress);
    setPrivacyViewCB = std::move(privacyView);
    setInstallationErrorViewCB = std::move(installationErrorView);
    completeUpdateCB = std::move(completeUpdate);
  }
  using Handler = void (QD4718Updater::*)(const Notification&);
  const std::pair<const char*, Handler> routes[] = {
      {HIDManagerDisconnected, &QD4718Updater::hidDisconnected},
      {HIDManagerCheckStatus, &QD4718Updater::hidCheckStatus},
      {HIDManagerPrepareUpdate, &QD4718Updater::hidPrepareUpdate},
      {HIDManagerMoveFile, &QD4718Updater::hidMoveFile},
      {HIDManagerStartUpdate, &QD4718Updater::hidStartUpdate},
      {HIDManagerUpdating, &QD4718Updater::hidUpdating},
      {HIDManagerCompleteUpdate, &QD4718Updater::hidCompleteUpdate},
      {HIDManagerError, &QD4718Updater::hidError},
  };
  std::vector<NotificationCenter::Token> tokens;
  for (const auto& route : routes) {
    Handler handler = route.second;  // Clang 14 cannot capture a structured binding
    tokens.push_back(NotificationCenter::shared().addObserver(
        route.first, hidManager_.get(),
        [this, handler](const Notification& n) { (this->*handler)(n); }));
  }
  std::lock_guard lock(mutex_);
  observers_.insert(observers_.end(), tokens.begin(), tokens.end());
}

void QD4718Updater::FirmwareUpdate() { hidManager_->FirmwareUpdate(); }

std::string QD4718Updater::filePath() const {
  std::lock_guard lock(mutex_);
  return filePath_;
}

std::string QD4718Updater::failureReason() const {
  std::lock_guard lock(mutex_);
  return failureReason_;
}

void QD4718Updater::setFilePath(std::string path) {
  std::lock_guard lock(mutex_);
  filePath_ = std::move(path);
}

void QD4718Updater::hidConnected(const Notification& notification) {
  auto texts = values<std::string>(notification, {"id", "name"});
  if (!texts) return;
  QD4718_LOG_INFO("HIDConnect: " + (*texts)[1] + " " + (*texts)[0]);
  isUacConnected_.store(true);
}

void QD4718Updater::hidStartUpdate(const Notification& notification) {
  if (!values<std::string>(notification, {"id", "name"})) return;
  Callback cb;
  {
    std::lock_guard lock(mutex_);
    cb = setUpdateProgressViewCB;
  }
  if (cb) cb();
}

void QD4718Updater::hidUpdating(const Notification& notification) {
  auto progress = values<int64_t>(notification, {"progress"});
  if (!progress) return;
  ProgressCallback cb;
  {
    std::lock_guard lock(mutex_);
    cb = setUpdateProgressCB;
  }
  if (cb) cb(static_cast<int>((*progress)[0]));
}

void QD4718Updater::hidCompleteUpdate(const Notification& notification) {
  if (!values<std::string>(notification, {"id", "name"})) return;
  Callback cb;
  {
    std::lock_guard lock(mutex_);
    cb = completeUpdateCB;
  }
  if (cb) cb();
}

void QD4718Updater::hidError(const Notification& notification) {
  auto texts = values<std::string>(notification, {"error", "id", "name"});
  if (!texts) return;
  const std::string& error = (*texts)[0];
  // Optional: said where the manager knows more than the error's text.
  auto reason = values<std::string>(notification, {"reason"});
  std::string why = reason ? (*reason)[0] : std::string();
  QD4718_LOG_ERROR("HIDError: " + error + " " + (*texts)[2] + " " + (*texts)[1] +
                   (why.empty() ? "" : " (" + why + ")"));
  Callback cb;
  {
    std::lock_guard lock(mutex_);
    failureReason_ = why;
    cb = error == "Can not save file!!" ? setPrivacyViewCB : setInstallationErrorViewCB;
  }
  if (cb) cb();
}

}  // namespace qd4718
