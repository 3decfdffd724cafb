#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <functional>

namespace updater {

// The end page of a check or an update that did not install: "latest version" (finished) or
// "install error" (failed), with one button whose action the flow sets.
class ErrorController : public QWidget {
  Q_OBJECT
 public:
  explicit ErrorController(QWidget* parent = nullptr);

  void setFinished(const QString& name);
  // `detail`, when given, says what went wrong (a line under the message).
  void setFailed(const QString& name, const QString& detail = QString());
  void onClickActionButton();

  // The picture shown: "icon_finish" or "icon_unfinish".
  QString imageName() const { return imageName_; }

  std::function<void()> action;

  QLabel* imageView;
  QLabel* messageLabel;
  QLabel* detailLabel;
  QPushButton* actionButton;

 private:
  void setImage(const QString& name);
  QString imageName_;
};

}  // namespace updater
