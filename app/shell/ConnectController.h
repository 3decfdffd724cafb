#pragma once

#include <QPushButton>
#include <QWidget>
#include <functional>
#include <string>

#include "camera/ConnectMode.h"
#include "camera/PlayerManager.h"
#include "util/Observable.h"

class QLabel;

namespace corvane {

class CustomView;

// What the main window shows while no camera picture is there: the search and connection
// messages, or "camera not found" with a retry button. Its panes follow the camera's
// connection state.
class ConnectController : public QWidget {
  Q_OBJECT

 public:
  // `searchCamera` starts a new camera search. `connectError`, when given, holds the
  // localisation key of why a found camera could not be connected; the pane shows that text
  // in place of "camera not found". `clipRefusal`, when given, is the player's word on a clip
  // it did not play: one refused while no picture shows (the command line's) is what the pane
  // says instead, until a picture comes.
  ConnectController(ObservableRef<ConnectMode> connectMode, std::function<void()> searchCamera,
                    QWidget* parent = nullptr, ObservableRef<std::string> connectError = nullptr,
                    ObservableRef<PlayerManager::Refusal> clipRefusal = nullptr,
                    std::function<void(const std::string& clip)> retryClip = nullptr);
  // Over the program's camera manager.
  static ConnectController* make(QWidget* parent = nullptr);

  void onClickTryAgainButton();
  void mouseEntered();
  void mouseExited();

  QWidget* cannotFindView = nullptr;
  QWidget* messageView = nullptr;
  QLabel* cantFindCameraLabel = nullptr;
  QLabel* messageLabel = nullptr;
  CustomView* tryAgainBgView = nullptr;
  QPushButton* tryAgainButton = nullptr;

  // What the retry button shows now.
  QColor tryAgainBackground() const { return buttonBackground_; }
  QColor tryAgainTitleColor() const { return buttonTitle_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void apply(ConnectMode mode);
  void paintButton(const QColor& background, const QColor& title);

  std::function<void()> searchCamera_;
  // Asks for a refused clip again; the clip the pane names (empty: none).
  std::function<void(const std::string&)> retryClip_;
  std::string refusedPath_;
  bool retrying_ = false;
  ObservableRef<std::string> connectError_;
  ConnectMode mode_ = ConnectMode::searching;
  QString clipRefused_;  // the text for a clip refused while no picture showed
  QColor buttonBackground_;
  QColor buttonTitle_;
};

}  // namespace corvane
