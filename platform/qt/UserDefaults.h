#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

// The program's user defaults: key and value pairs kept in a settings file in the XDG config
// folder (<config>/<executable>/<executable>.conf), under the keys the program has always used.
// A file that cannot be used (not a regular file, larger than kMaxFileBytes, unreadable, empty,
// or not a settings file: see SettingsFileCheck) is moved aside under a name of its own
// (KeptCopy), like the JSON settings files, and the store starts empty. A file damaged in part
// (a line of stray bytes, a line no setting can be read from) is moved aside too, and the store
// starts with the settings its other lines hold, written at once to a new file. loadProblem()
// then says which file and why, for the program to log and tell the user.
class UserDefaults {
 public:
  // The settings file holds a few dozen short values.
  static constexpr size_t kMaxFileBytes = size_t(1) << 20;

  static UserDefaults& shared();
  // A store over an explicit file (tests, and the programs other than the main one).
  explicit UserDefaults(const QString& filePath);

  // Why the stored settings could not be read, or not all of them ("<file>: <reason>; ..."),
  // and what was done; empty when they were.
  QString loadProblem() const;
  // Whether the file was damaged in part and the settings that could be read were kept.
  bool loadedInPart() const;
  // Called with "<file>: cannot be written: <reason>" when a write of the file fails (a
  // read-only folder, a full disk), once for each new reason; on the caller of synchronize().
  // The program logs it.
  void setWriteProblemHandler(std::function<void(const QString&)> handler);

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
  // Writes pending changes to the file now; false when the file, read back, does not hold them,
  // with the reason in `error`.
  bool synchronize(std::string* error = nullptr);
  QString filePath() const;

 private:
  void open(const QString& filePath);
  // Makes the reader hold exactly `values`, the settings the file's text means.
  void holdOnly(const QVariantMap& values);
  // Writes pending changes and reads the file back; the reason when it does not hold them.
  std::optional<std::string> write();

  mutable std::mutex mutex_;
  std::unique_ptr<QSettings> settings_;
  QString loadProblem_;
  QString lastWriteProblem_;
  bool pending_ = false;  // changes made since the last write that went through
  bool loadedInPart_ = false;
  std::function<void(const QString&)> writeProblemHandler_;
};

}  // namespace platform
