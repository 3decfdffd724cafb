#include "shell/AlertManager.h"

#include <QApplication>
#include <QMainWindow>

#include "log/LogManager.h"
#include "shell/AlertController.h"
#include "widgets/ViewRouter.h"

namespace corvane {

AlertManager& AlertManager::shared() {
  static AlertManager* manager = [] {
    ViewRouter& router = ViewRouter::shared();
    auto* alert = qobject_cast<AlertController*>(router.alertController());
    if (!alert) alert = AlertController::instantiate();
    return new AlertManager(router.mainController(), alert);
  }();
  return *manager;
}

AlertManager::AlertManager(QWidget* mainController, AlertController* alertController)
    : mainController_(mainController), alertController_(alertController) {}

void AlertManager::showAlert(const QString& message, std::function<void(bool)> confirmHandler) {
  AlertSetupModel model;
  model.mode = AlertMode::confirm;
  model.message = message;
  model.confirmHandler = std::move(confirmHandler);
  present(model);
}

void AlertManager::showMessage(const QString& message) {
  AlertSetupModel model;
  model.mode = AlertMode::alert;
  model.message = message;
  present(model);
}

void AlertManager::present(const AlertSetupModel& model) {
  if (isShow) return;
  QWidget* host = presentingView();
  if (!host || !alertController_) {
    CV_LOG_ERROR("no window to show the alert on: " + model.message.toStdString());
    return;
  }
  isShow = true;
  alertController_->setPresenter(this);
  animator.animatePresentation(alertController_, host);
  alertController_->setup(model);
}

void AlertManager::alertDidAnswer(AlertController* alert) {
  animator.animateDismissal(alert);
  isShow = false;
}

QWidget* AlertManager::presentingView() const {
  if (mainController_) return mainController_;
  // Until the main window's controller is registered, the content of the window the user
  // works in.
  QWidget* window = QApplication::activeWindow();
  if (!window) {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w != alertController_ && w->isWindow()) window = w;
  }
  if (auto* main = qobject_cast<QMainWindow*>(window); main && main->centralWidget())
    return main->centralWidget();
  return window;
}

}  // namespace corvane
