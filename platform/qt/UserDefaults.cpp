#include "qt/UserDefaults.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <optional>

#include "BoundedFile.h"
#include "Bundle.h"
#include "KeptCopy.h"
#include "Paths.h"
#include "SettingsFileCheck.h"
#include "dispatch/Clock.h"
#include "qt/SettingsText.h"

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

// The keys holding a value, whatever their names: a key of a hand's is a setting too, only one
// the program does not use. (Lines of stray bytes never get here: they are damage.)
size_t settingsIn(const QVariantMap& values) {
  size_t count = 0;
  for (auto it = values.begin(); it != values.end(); ++it) {
    const QVariant& v = it.value();
    count += !it.key().isEmpty() &&
             (v.typeId() == QMetaType::QString ? !v.toString().isEmpty() : v.isValid());
  }
  return count;
}

QVariantMap valuesOf(const QSettings& settings) {
  QVariantMap values;
  for (const QString& key : settings.allKeys()) values.insert(key, settings.value(key));
  return values;
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
  struct stat info {};
  if (::stat(file.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
  struct statvfs vfs {};
  if (::statvfs(folder.c_str(), &vfs) == 0 &&
      (vfs.f_bavail == 0 || (vfs.f_files > 0 && vfs.f_favail == 0)))
    return std::strerror(ENOSPC);
  // A limit on the size of the files this process writes (ulimit -f) cuts the write short.
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    return std::string(std::strerror(EFBIG)) + " (files of this process are limited to " +
           std::to_string(limit.rlim_cur) + " bytes)";
  return "the folder takes files, the reason is not known";
}

// Whether two values read the same in the settings file, which keeps every value as text.
bool sameValue(const QVariant& a, const QVariant& b) {
  if (a == b) return true;
  if (a.typeId() == QMetaType::QStringList || b.typeId() == QMetaType::QStringList)
    return a.toStringList() == b.toStringList();
  return a.canConvert<QString>() && b.canConvert<QString>() && a.toString() == b.toString();
}

// Whether `file` holds the settings held in memory, every key with its value and no other;
// none when that cannot be found out.
std::optional<bool> holdsTheSame(const QSettings& held, const std::string& file) {
  std::string bytes;
  // Read back only what the store would read at start.
  if (!BoundedFile::read(file, UserDefaults::kMaxFileBytes, bytes)) return false;
  std::optional<SettingsText> onDisk = SettingsText::read(bytes);
  if (!onDisk) return std::nullopt;
  QStringList keys = held.allKeys();
  keys.sort();
  if (keys != onDisk->values.keys()) return false;
  for (const QString& key : keys)
    if (!sameValue(held.value(key), onDisk->values.value(key))) return false;
  return true;
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
  std::string bytes;
  if (reading.exists) {
    std::string error;
    if (BoundedFile::read(path, kMaxFileBytes, bytes, &error)) {
      reading.bytes = bytes.size();
    } else {
      // The reason alone: the problem names the file first.
      if (error.rfind(path + ": ", 0) == 0) error.erase(0, path.size() + 2);
      reading.refusal = error.empty() ? "cannot be read" : error;
    }
  }
  // The settings that can be read: all of the file's, or those of its lines left whole, as the
  // reader reads them from the lines cut as it cuts them ("#" comments left out, Latin-1 bytes
  // taken as their characters).
  std::optional<SettingsText> readable;
  if (reading.refusal.empty()) {
    settings_ = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
    // The reader cuts the file into groups as it opens it (a group header without its "]" is
    // an error then) and parses a group's settings only when they are asked for.
    const bool headerError = settings_->status() == QSettings::FormatError;
    SettingsText::Lines lines = SettingsText::sortLines(bytes);
    reading.damage = lines.damage;
    if ((readable = SettingsText::read(lines.readable))) {
      reading.settings = settingsIn(readable->values);
      // Its verdict on the settings, once parsed, on the lines taken as settings and group
      // headers: of a "#" comment it would say "format error".
      reading.formatError = headerError || readable->formatError;
    } else if (lines.damage.empty()) {
      reading.settings = settingsIn(valuesOf(*settings_));
      reading.formatError = settings_->status() == QSettings::FormatError;
    }
  }
  SettingsFileCheck::Verdict verdict = SettingsFileCheck::judge(reading);
  if (!verdict.damaged) {
    if (readable) holdOnly(readable->values);
    return;
  }
  settings_.reset();
  loadProblem_ = filePath + ": " + QString::fromStdString(verdict.reason);
  bool kept = false;
  if (verdict.keepAside) {
    // Kept aside, as the JSON files are, so nothing the user had is destroyed.
    KeptCopy::Result copy = KeptCopy::keepAside(path, Clock::shared().wallNow());
    kept = copy.kept;
    if (kept) {
      loadProblem_ += QStringLiteral("; kept as ") + QString::fromStdString(copy.path);
      for (const std::string& old : copy.pruned)
        loadProblem_ += QStringLiteral("; the oldest kept copy ") + QString::fromStdString(old) +
                        QStringLiteral(" removed");
    } else {
      loadProblem_ +=
          QStringLiteral("; it could not be moved aside: ") + QString::fromStdString(copy.error);
    }
  }
  settings_ = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
  if (!verdict.inPart || !kept || !readable) {
    if (kept || !verdict.keepAside) loadProblem_ += QStringLiteral("; the defaults are used");
    return;
  }
  // A new file of the settings that could be read, at once: the next start finds them whole
  // even when this run ends before it saves.
  for (auto it = readable->values.begin(); it != readable->values.end(); ++it)
    settings_->setValue(it.key(), it.value());
  pending_ = true;
  loadedInPart_ = true;
  loadProblem_ += QStringLiteral("; the settings that could be read are used");
  if (std::optional<std::string> why = write())
    loadProblem_ +=
        QStringLiteral(", but could not be written again: ") + QString::fromStdString(*why);
}

void UserDefaults::holdOnly(const QVariantMap& values) {
  // The reader's own reading of the file differs where a hand's text means more than it reads:
  // a "#" comment it takes for a key or runs on from, a Latin-1 byte it drops. What it holds
  // is written at the next save, so it must hold what the text means.
  for (const QString& key : settings_->allKeys()) {
    if (values.contains(key)) continue;
    settings_->remove(key);
    pending_ = true;
  }
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (sameValue(settings_->value(it.key()), it.value())) continue;
    settings_->setValue(it.key(), it.value());
    pending_ = true;
  }
}

QString UserDefaults::loadProblem() const {
  std::lock_guard lock(mutex_);
  return loadProblem_;
}

bool UserDefaults::loadedInPart() const {
  std::lock_guard lock(mutex_);
  return loadedInPart_;
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
  pending_ = true;
  settings_->setValue(key, value);
}

void UserDefaults::remove(const QString& key) {
  std::lock_guard lock(mutex_);
  pending_ = true;
  settings_->remove(key);
}

void UserDefaults::removeAll() {
  std::lock_guard lock(mutex_);
  pending_ = true;
  settings_->clear();
}

QStringList UserDefaults::keys() const {
  std::lock_guard lock(mutex_);
  return settings_->allKeys();
}

std::optional<std::string> UserDefaults::write() {
  const std::string file = settings_->fileName().toStdString();
  settings_->sync();
  // Neither the reader's status nor its silence says what this write did: it keeps the first
  // status it met for the object's life (a damaged read at start, a file changed under us, one
  // failed write), and a write cut short by a full disk or a file-size limit is put in place
  // as if whole. So the file is read back: it holds what we hold, or it failed. Without a way
  // to read it back, the reader's word is all there is.
  if (!pending_ ||
      holdsTheSame(*settings_, file).value_or(settings_->status() == QSettings::NoError)) {
    pending_ = false;
    return std::nullopt;
  }
  // What the reader took for written is written again at the next try.
  for (const QString& key : settings_->allKeys()) settings_->setValue(key, settings_->value(key));
  return writeFailureReason(file);
}

bool UserDefaults::synchronize(std::string* error) {
  std::function<void(const QString&)> handler;
  QString problem;
  {
    std::lock_guard lock(mutex_);
    std::optional<std::string> why = write();
    if (!why) {
      lastWriteProblem_.clear();
      return true;
    }
    if (error) *error = *why;
    problem = settings_->fileName() + ": cannot be written: " + QString::fromStdString(*why) +
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
