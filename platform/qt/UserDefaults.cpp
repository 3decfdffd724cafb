#include "qt/UserDefaults.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "BoundedFile.h"
#include "Bundle.h"
#include "Paths.h"

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

void UserDefaults::open(const QString& filePath) {
  QDir().mkpath(QFileInfo(filePath).absolutePath());
  std::string path = filePath.toStdString();
  struct stat st {};
  // QSettings reads the file by name, whatever it is: a FIFO would block it for ever and a
  // link to /dev/zero would fill the memory. Only a bounded regular file is handed to it.
  QString why;
  if (::lstat(path.c_str(), &st) == 0 || errno != ENOENT) {
    std::string bytes, error;
    if (!BoundedFile::read(path, kMaxFileBytes, bytes, &error)) why = QString::fromStdString(error);
  }
  if (why.isEmpty()) {
    settings_ = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
    if (settings_->status() == QSettings::NoError) return;
    why = filePath + ": not a settings file";
    settings_.reset();
  }
  loadProblem_ = why;
  // Kept aside, as the JSON files are, so nothing the user had is destroyed.
  QString kept = filePath + ".unreadable";
  QFile::remove(kept);
  if (::rename(path.c_str(), kept.toStdString().c_str()) != 0)
    loadProblem_ += QStringLiteral("; it could not be moved aside: ") + std::strerror(errno);
  else
    loadProblem_ += QStringLiteral("; kept as ") + kept;
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
    if (settings_->status() == QSettings::NoError) {
      lastWriteProblem_.clear();
      return true;
    }
    problem = settings_->fileName() + (settings_->status() == QSettings::AccessError
                                           ? ": cannot be written (no access to the file or "
                                             "its folder); the settings of this run are not kept"
                                           : ": cannot be written");
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
