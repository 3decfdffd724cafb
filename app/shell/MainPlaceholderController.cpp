#include "shell/MainPlaceholderController.h"

#include <QScreen>
#include <QVBoxLayout>

#include "shell/ConnectController.h"

namespace corvane {

MainPlaceholderController::MainPlaceholderController(ConnectController* connect, QWidget* parent)
    : QWidget(parent), connect_(connect) {
  setObjectName("MainPlaceholderController");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  connect_->setParent(this);
  layout->addWidget(connect_);
}

void MainPlaceholderController::windowZoom() {
  // The window takes the whole usable area of the screen it is on.
  QWidget* frame = window();
  QScreen* screen = frame->screen();
  if (!screen) return;
  frame->setMaximumSize(screen->availableGeometry().size());
  frame->setGeometry(screen->availableGeometry());
}

}  // namespace corvane
