#include "shell/MainPlaceholderController.h"

#include <QVBoxLayout>

#include "shell/ConnectController.h"
#include "shell/CustomWindow.h"

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
  if (auto* own = qobject_cast<CustomWindow*>(window())) own->zoomFrame();
}

}  // namespace corvane
