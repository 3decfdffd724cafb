#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <functional>

namespace updater {

// The connect page: "Searching camera..." while the camera is looked for, or an error message
// with a button to try again.
class ConnectController : public QWidget {
  Q_OBJECT
 public:
  explicit ConnectController(QWidget* parent = nullptr);

  // The search state.
  void showSearching();
  // The error state with its message.
  void showError(const QString& text);
  void onClickTryAgain();

  std::function<void()> tryAgainAction;

  QLabel* errorMeassage;
  QWidget* errorView;
  QWidget* searchView;
  QLabel* searchTitle;
  QPushButton* tryAgainButton;
};

}  // namespace updater
