#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

class QWidget;

namespace corvane {

// Asks where a zipped copy of the day logs goes; the logger's exportLogs writes it.
class LogArchivePanel {
 public:
  LogArchivePanel() = delete;

  // Twelve characters in front of the date in the suggested file name.
  static constexpr const char* namePrefix = "Corvane_Logs";

  // "<prefix>_yyyy_MM_dd_HH_mm.zip" for the given local time (24-hour clock).
  static QString suggestedFileName(const QDateTime& localTime);

  // A modal save dialog titled "Select save path" for one ".zip" file; the chosen path, or none
  // when the user cancels.
  static std::optional<QString> selectLogArchivePath(QWidget* parent = nullptr);
};

}  // namespace corvane
