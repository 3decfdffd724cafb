#include "qt/UserDefaults.h"

#include <QDir>
#include <QFileInfo>

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

UserDefaults::UserDefaults(const QString& filePath) {
  QDir().mkpath(QFileInfo(filePath).absolutePath());
  settings_ = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
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
  std::lock_guard lock(mutex_);
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

QString UserDefaults::filePath() const {
  std::lock_guard lock(mutex_);
  return settings_->fileName();
}

}  // namespace platform
