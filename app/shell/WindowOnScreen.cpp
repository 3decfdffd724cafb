#include "shell/WindowOnScreen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <vector>

#include "main/MainWindowPlacement.h"

namespace corvane {

void WindowOnScreen::show(QWidget* window, const QWidget* main) {
  if (!window) return;
  if (main && main->isVisible() && !window->isVisible()) {
    std::vector<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen())
      screens.push_back(primary->availableGeometry());
    for (QScreen* screen : QGuiApplication::screens())
      if (screen != QGuiApplication::primaryScreen()) screens.push_back(screen->availableGeometry());
    const bool shownBefore = window->testAttribute(Qt::WA_WState_ExplicitShowHide);
    if (auto origin = MainWindowPlacement::onMainScreen(
            window->frameGeometry(), shownBefore, main->window()->frameGeometry(), screens))
      window->move(*origin);
  }
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace corvane
