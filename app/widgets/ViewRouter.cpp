#include "widgets/ViewRouter.h"

#include <mutex>

#include "log/LogManager.h"

namespace corvane {

namespace {

struct Registry {
  std::mutex mutex;
  ViewRouter::Factory main;
  ViewRouter::Factory alert;
  bool routerMade = false;
};

Registry& registry() {
  static Registry r;
  return r;
}

QWidget* make(const ViewRouter::Factory& factory, const char* what) {
  QWidget* controller = factory ? factory() : nullptr;
  if (!controller) CV_LOG_ERROR(std::string("no ") + what + " could be made");
  return controller;
}

}  // namespace

void ViewRouter::setFactories(Factory makeMainController, Factory makeAlertController) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (r.routerMade) {
    CV_LOG_WARNING("the view router exists already; its controllers stay as they are");
    return;
  }
  r.main = std::move(makeMainController);
  r.alert = std::move(makeAlertController);
}

void ViewRouter::setMainControllerFactory(Factory makeMainController) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (r.routerMade) {
    CV_LOG_WARNING("the view router exists already; its main controller stays as it is");
    return;
  }
  r.main = std::move(makeMainController);
}

void ViewRouter::setAlertControllerFactory(Factory makeAlertController) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (r.routerMade) {
    CV_LOG_WARNING("the view router exists already; its alert controller stays as it is");
    return;
  }
  r.alert = std::move(makeAlertController);
}

ViewRouter& ViewRouter::shared() {
  // The controllers live as long as the program; the router is never destroyed, so it never
  // outlives the application that owns their widgets.
  static ViewRouter* router = [] {
    Registry& r = registry();
    Factory main, alert;
    {
      std::lock_guard lock(r.mutex);
      r.routerMade = true;
      main = r.main;
      alert = r.alert;
    }
    return new ViewRouter(main, alert);
  }();
  return *router;
}

ViewRouter::ViewRouter(const Factory& makeMainController, const Factory& makeAlertController)
    : mainController_(make(makeMainController, "main controller")),
      alertController_(make(makeAlertController, "alert controller")) {}

}  // namespace corvane
