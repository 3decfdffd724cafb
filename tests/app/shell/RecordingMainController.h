#pragma once

#include <QKeyEvent>
#include <QWidget>
#include <vector>

#include "shell/CustomWindow.h"
#include "shell/CustomWindowDelegate.h"

namespace shelltest {

// A main window controller that records what the frame asks of it.
class RecordingMainController : public QWidget, public corvane::CustomWindowDelegate {
 public:
  bool simple = false;
  bool fullScreen = false;
  bool popupsClose = true;
  int popupCloses = 0;
  int zooms = 0;
  bool zoomFrames = false;  // the zoom sizes the window, as the main controller's does
  std::vector<int> keys;
  std::vector<bool> simpleUI;
  int miniaturized = 0;
  int deminiaturized = 0;

  bool isSimpleMode() const override { return simple; }
  bool isFullScreen() const override { return fullScreen; }
  void setIsFullScreen(bool value) override { fullScreen = value; }
  bool closeAllPopups() override { return ++popupCloses, popupsClose; }
  void windowZoom() override {
    ++zooms;
    auto* own = qobject_cast<corvane::CustomWindow*>(window());
    if (zoomFrames && own) own->zoomFrame();
  }
  void handleKeyDown(QKeyEvent* event) override { keys.push_back(event->key()); }
  void showSimpleUI(bool flag) override { simpleUI.push_back(flag); }
  void windowDidMiniaturize() override { ++miniaturized; }
  void windowDidDeminiaturize() override { ++deminiaturized; }
};

}  // namespace shelltest
