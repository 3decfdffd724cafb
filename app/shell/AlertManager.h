#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

#include "shell/AlertController.h"
#include "shell/AlertSetupModel.h"
#include "shell/CustomSwiftAnimator.h"

namespace corvane {

// The program's one alert service. An alert is shown over the main window's content; while one
// is up every further request is dropped and its closure never runs (alerts neither queue nor
// replace each other). The manager is free again as soon as a button is clicked, before the
// answer's closure runs, so that closure may show the next alert. Main thread only.
class AlertManager {
 public:
  // Made on first use with the view router's two controllers. When the router has no main
  // controller the alert goes over the active window; without an alert controller of the
  // router the manager makes its own.
  static AlertManager& shared();
  AlertManager(QWidget* mainController, AlertController* alertController);
  AlertManager(const AlertManager&) = delete;
  AlertManager& operator=(const AlertManager&) = delete;

  // A confirmation (cancel and OK) with the message; the handler gets true when accepted.
  void showAlert(const QString& message, std::function<void(bool)> confirmHandler);
  // A notice with its OK button only, such as a failure the user should know of.
  void showMessage(const QString& message);
  // Presents any model, by the same rules.
  void present(const AlertSetupModel& model);

  // The alert controller's answer: takes it away and frees the manager.
  void alertDidAnswer(AlertController* alert);

  bool isShow = false;
  CustomSwiftAnimator animator;
  QWidget* mainController() const { return mainController_; }
  AlertController* alertController() const { return alertController_; }

 private:
  QWidget* presentingView() const;

  QPointer<QWidget> mainController_;
  QPointer<AlertController> alertController_;
};

}  // namespace corvane
