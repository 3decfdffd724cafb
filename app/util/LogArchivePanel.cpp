#include "LogArchivePanel.h"

#include <QDir>
#include <QFileDialog>

#include "Paths.h"

namespace corvane {

QString LogArchivePanel::suggestedFileName(const QDateTime& localTime) {
  return QString::fromLatin1(namePrefix) +
         QLocale::c().toString(localTime, QStringLiteral("_yyyy_MM_dd_") + "HH_mm") +
         QStringLiteral(".zip");
}

std::optional<QString> LogArchivePanel::selectLogArchivePath(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("Select save path"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::ReadOnly, false);  // new folders can be made from the dialog
  dialog.setNameFilter(QStringLiteral("zip (*.zip)"));
  dialog.setDefaultSuffix(QStringLiteral("zip"));
  if (auto documents = platform::Paths::documents();
      documents && QDir(QString::fromStdString(*documents)).exists())
    dialog.setDirectory(QString::fromStdString(*documents));
  dialog.selectFile(suggestedFileName(QDateTime::currentDateTime()));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
  return files.front();
}

}  // namespace corvane
