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

// Stores the given factories (a none leaves that one as it is); only before the router exists.
static void registerFactories(ViewRouter::Factory* main, ViewRouter::Factory* alert) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (r.routerMade) {
    CV_LOG_WARNING("the view router exists already; its controllers stay as they are");
    return;
  }
  if (main) r.main = std::move(*main);
  if (alert) r.alert = std::move(*alert);
}

void ViewRouter::setFactories(Factory makeMainController, Factory makeAlertController) {
  registerFactories(&makeMainController, &makeAlertController);
}

void ViewRouter::setMainControllerFactory(Factory makeMainController) {
  registerFactories(&makeMainController, nullptr);
}

void ViewRouter::setAlertControllerFactory(Factory makeAlertController) {
  registerFactories(nullptr, &makeAlertController);
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
