#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

namespace corvane {

// The one place that makes the main window's controller and the alert controller, once, so the
// main window and every alert work with the same two. The program's start registers how to
// make them before anything asks for the router.
class ViewRouter {
 public:
  using Factory = std::function<QWidget*()>;

  static ViewRouter& shared();
  // Only before the first shared(); later calls are logged and change nothing.
  static void setFactories(Factory makeMainController, Factory makeAlertController);
  static void setMainControllerFactory(Factory makeMainController);
  static void setAlertControllerFactory(Factory makeAlertController);

  // Makes both controllers at once; a missing factory or an empty result leaves that one none.
  ViewRouter(const Factory& makeMainController, const Factory& makeAlertController);
  ViewRouter(const ViewRouter&) = delete;
  ViewRouter& operator=(const ViewRouter&) = delete;

  QWidget* mainController() const { return mainController_; }
  QWidget* alertController() const { return alertController_; }

 private:
  QPointer<QWidget> mainController_;
  QPointer<QWidget> alertController_;
};

}  // namespace corvane
