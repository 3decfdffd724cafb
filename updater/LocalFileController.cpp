#include "LocalFileController.h"

#include <QFileDialog>
#include <QLabel>
#include <QVBoxLayout>

#include "BoundedFile.h"
#include "LanguageManager.h"
#include "LogManager.h"

namespace updater {

namespace {

std::optional<QString> chooseFolder(QWidget* parent) {
  QFileDialog dialog(parent, "Select update fw folder");
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setOption(QFileDialog::ReadOnly, true);  // no folder creation
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return QString();
  return chosen.first();
}

}  // namespace

LocalFileController::LocalFileController(QWidget* parent)
    : LocalFileController(chooseFolder, parent) {}

LocalFileController::LocalFileController(FolderChooser chooser, QWidget* parent)
    : QWidget(parent), chooser_(std::move(chooser)) {
  auto& language = LanguageManager::shared();
  auto* text =
      new QLabel(QString::fromStdString(language.localized("updater_local_file_text_name")), this);
  text->setAlignment(Qt::AlignCenter);
  selectButton = new QPushButton(
      QString::fromStdString(language.localized("updater_local_file_select_name")), this);
  auto* layout = new QVBoxLayout(this);
  layout->addStretch();
  layout->addWidget(text);
  layout->addWidget(selectButton, 0, Qt::AlignHCenter);
  layout->addStretch();
  connect(selectButton, &QPushButton::clicked, this, [this] { onClickSelect(); });
}

void LocalFileController::onClickSelect() {
  std::optional<QString> folder = chooser_ ? chooser_(this) : std::nullopt;
  if (!folder || folder->isEmpty()) return;
  UPDATER_LOG_DEBUG("url:" + folder->toStdString());
  QString versionFilePath = *folder + "/FW version.txt";
  // In a folder the user picked: a FIFO there would hang the page, a huge file fill memory.
  std::string text, why;
  QString version;
  if (platform::BoundedFile::read(versionFilePath.toStdString(),
                                  platform::BoundedFile::kMarkerBytes, text, &why)) {
    version = QString::fromStdString(text);
  } else {
    UPDATER_LOG_ERROR("Cannot read " + why);
  }
  UPDATER_LOG_DEBUG("versionFilePath:" + versionFilePath.toStdString());
  UPDATER_LOG_DEBUG("version:" + version.toStdString());
  if (selectedComplete) selectedComplete(*folder);
}

}  // namespace updater
