#include "qt/SettingsText.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryFile>

namespace platform {

std::optional<SettingsText> SettingsText::read(const std::string& text) {
  QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/corvane-settings-XXXXXX.conf"));
  if (!copy.open() || copy.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
      !copy.flush())
    return std::nullopt;
  SettingsText result;
  QSettings reader(copy.fileName(), QSettings::IniFormat);
  // The reader parses lazily: its verdict is known once every key was asked for.
  const QStringList keys = reader.allKeys();
  for (const QString& key : keys) result.values.insert(key, reader.value(key));
  result.formatError = reader.status() == QSettings::FormatError;
  return result;
}

}  // namespace platform
