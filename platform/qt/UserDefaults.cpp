#include "qt/UserDefaults.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "BoundedFile.h"
#include "Bundle.h"
#include "KeptCopy.h"
#include "Paths.h"
#include "SettingsFileCheck.h"
#include "dispatch/Clock.h"

namespace platform {

UserDefaults& UserDefaults::shared() {
  static UserDefaults defaults([] {
    std::string exe = Bundle::main().executableName().value_or("corvane-studio");
    std::string root = Paths::config().value_or(Paths::temporary());
    return QString::fromStdString(Paths::join(Paths::join(root, exe), exe + ".conf"));
  }());
  return defaults;
}

UserDefaults::UserDefaults(const QString& filePath) { open(filePath); }

namespace {

// Settings as the program writes them: a plain name (letters, digits, "_", ".", "-", "/" between
// groups) holding a value. Stray bytes that the lenient reader turned into a key are none.
size_t settingsIn(const QSettings& settings) {
  size_t count = 0;
  for (const QString& key : settings.allKeys()) {
    bool plain = !key.isEmpty();
    for (QChar c : key)
      plain = plain && c.unicode() < 128 &&
              (c.isLetterOrNumber() || QStringLiteral("_.-/").contains(c));
    QVariant v = settings.value(key);
    count += plain && (v.typeId() == QMetaType::QString ? !v.toString().isEmpty() : v.isValid());
  }
  return count;
}

// Why the settings reader could not write `file`: it says only "no access", so the folder is
// tried as the save would use it.
std::string writeFailureReason(const std::string& file) {
  auto slash = file.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? std::string(".") : file.substr(0, slash + 1);
  int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
  } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return std::strerror(errno);
  } else if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    return std::strerror(errno);
  }
  if (::access(file.c_str(), W_OK) != 0 && errno != ENOENT) return std::strerror(errno);
  struct statvfs vfs {};
  if (::statvfs(folder.c_str(), &vfs) == 0 && vfs.f_bavail == 0) return std::strerror(ENOSPC);
  return "the folder takes files, the reason is not known";
}

}  // namespace

void UserDefaults::open(const QString& filePath) {
  QDir().mkpath(QFileInfo(filePath).absolutePath());
  std::string path = filePath.toStdString();
  SettingsFileCheck::Reading reading;
  struct stat st {};
  reading.exists = ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
  // QSettings reads the file by name, whatever it is: a FIFO would block it for ever and a
  // link to /dev/zero would fill the memory. Only a bounded regular file is handed to it.
  if (reading.exists) {
    std::string bytes, error;
    if (BoundedFile::read(path, kMaxFileBytes, bytes, &error)) {
      reading.bytes = bytes.size();
    } else {
      // The reason alone: the problem names the file first.
      if (error.rfind(path + ": ", 0) == 0) error.erase(0, path.size() + 2);
      reading.refusal = error.empty() ? "cannot be read" : error;
    }
  }
  if (reading.refusal.empty()) {
    settings_ = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
    reading.formatError = settings_->status() == QSettings::FormatError;
    reading.settings = settingsIn(*settings_);
  }
  SettingsFileCheck::Verdict verdict = SettingsFileCheck::judge(reading);
  if (!verdict.damaged) return;
  settings_.reset();
  loadProblem_ = filePath + ": " + QString::fromStdString(verdict.reason);
  if (verdict.keepAside) {
    // Kept aside, as the JSON files are, so nothing the user had is destroyed.
    KeptCopy::Result kept = KeptCopy::keepAside(path, Clock::shared().wallNow());
    if (kept.kept)
      loadProblem_ += QStringLiteral("; kept as ") + QString::fromStdString(kept.path);
    else
      loadProblem_ +=
          QStringLiteral("; it could not be moved aside: ") + QString::fromStdString(kept.error);
  }
  settings_ = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
}

QString UserDefaults::loadProblem() const {
  std::lock_guard lock(mutex_);
  return loadProblem_;
}

void UserDefaults::setWriteProblemHandler(std::function<void(const QString&)> handler) {
  std::lock_guard lock(mutex_);
  writeProblemHandler_ = std::move(handler);
}

QVariant UserDefaults::object(const QString& key) const {
  std::lock_guard lock(mutex_);
  return settings_->value(key);
}

bool UserDefaults::contains(const QString& key) const {
  std::lock_guard lock(mutex_);
  return settings_->contains(key);
}

QString UserDefaults::string(const QString& key, const QString& fallback) const {
  QVariant v = object(key);
  return v.isValid() ? v.toString() : fallback;
}

qint64 UserDefaults::integer(const QString& key, qint64 fallback) const {
  QVariant v = object(key);
  bool ok = false;
  qint64 n = v.toLongLong(&ok);
  return ok ? n : fallback;
}

double UserDefaults::doubleValue(const QString& key, double fallback) const {
  QVariant v = object(key);
  bool ok = false;
  double d = v.toDouble(&ok);
  return ok ? d : fallback;
}

bool UserDefaults::boolean(const QString& key, bool fallback) const {
  QVariant v = object(key);
  if (!v.isValid()) return fallback;
  // The ini file keeps every value as text.
  QString s = v.toString().toLower();
  if (s == "true" || s == "1") return true;
  if (s == "false" || s == "0") return false;
  return fallback;
}

void UserDefaults::set(const QString& key, const QVariant& value) {
  std::lock_guard lock(mutex_);
  settings_->setValue(key, value);
}

void UserDefaults::remove(const QString& key) {
  std::lock_guard lock(mutex_);
  settings_->remove(key);
}

void UserDefaults::removeAll() {
  std::lock_guard lock(mutex_);
  settings_->clear();
}

QStringList UserDefaults::keys() const {
  std::lock_guard lock(mutex_);
  return settings_->allKeys();
}

bool UserDefaults::synchronize() {
  std::function<void(const QString&)> handler;
  QString problem;
  {
    std::lock_guard lock(mutex_);
    settings_->sync();
    // A format error here is the reader's: the file on disk was changed under us into
    // something else, and the write went through all the same.
    if (settings_->status() != QSettings::AccessError) {
      lastWriteProblem_.clear();
      return true;
    }
    problem = settings_->fileName() + ": cannot be written: " +
              QString::fromStdString(writeFailureReason(settings_->fileName().toStdString())) +
              "; the settings of this run are not kept";
    if (problem == lastWriteProblem_) return false;
    lastWriteProblem_ = problem;
    handler = writeProblemHandler_;
  }
  if (handler) handler(problem);
  return false;
}

QString UserDefaults::filePath() const {
  std::lock_guard lock(mutex_);
  return settings_->fileName();
}

}  // namespace platform
