#pragma once

#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

namespace updater {

// Lets the user pick an unpacked update package folder instead of downloading one.
class LocalFileController : public QWidget {
  Q_OBJECT
 public:
  // Asks for a folder; none when the user cancelled.
  using FolderChooser = std::function<std::optional<QString>(QWidget* parent)>;

  explicit LocalFileController(QWidget* parent = nullptr);
  LocalFileController(FolderChooser chooser, QWidget* parent);

  void onClickSelect();

  std::function<void(const QString& folder)> selectedComplete;
  QPushButton* selectButton;

 private:
  FolderChooser chooser_;
};

}  // namespace updater
