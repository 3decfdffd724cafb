#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>
#include <mutex>

namespace platform {

// The program's user defaults: key and value pairs kept in a settings file in the XDG config
// folder (<config>/<executable>/<executable>.conf), under the keys the program has always used.
class UserDefaults {
 public:
  static UserDefaults& shared();
  // A store over an explicit file (tests, and the programs other than the main one).
  explicit UserDefaults(const QString& filePath);

  QVariant object(const QString& key) const;
  bool contains(const QString& key) const;
  QString string(const QString& key, const QString& fallback = {}) const;
  qint64 integer(const QString& key, qint64 fallback = 0) const;
  double doubleValue(const QString& key, double fallback = 0) const;
  bool boolean(const QString& key, bool fallback = false) const;

  void set(const QString& key, const QVariant& value);
  void remove(const QString& key);
  // Removes every key (the program's persistent domain).
  void removeAll();
  QStringList keys() const;
  // Writes pending changes to the file now; false when the file could not be written.
  bool synchronize();
  QString filePath() const;

 private:
  mutable std::mutex mutex_;
  std::unique_ptr<QSettings> settings_;
};

}  // namespace platform
