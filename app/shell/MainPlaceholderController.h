#pragma once

#include <QWidget>

#include "shell/CustomWindowDelegate.h"

namespace corvane {

class ConnectController;

// The main window's content until the main controller is registered in its place: the connect
// view over the whole window.
class MainPlaceholderController : public QWidget, public CustomWindowDelegate {
  Q_OBJECT

 public:
  explicit MainPlaceholderController(ConnectController* connect, QWidget* parent = nullptr);

  ConnectController* connectController() const { return connect_; }

  bool isSimpleMode() const override { return false; }
  bool isFullScreen() const override { return isFullScreen_; }
  void setIsFullScreen(bool fullScreen) override { isFullScreen_ = fullScreen; }
  bool closeAllPopups() override { return true; }
  void windowZoom() override;
  void handleKeyDown(QKeyEvent*) override {}

 private:
  ConnectController* connect_;
  bool isFullScreen_ = false;
};

}  // namespace corvane
