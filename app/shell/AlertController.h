#pragma once

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <optional>

#include "shell/AlertSetupModel.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomView.h"

namespace corvane {

class AlertManager;

// The one in-window alert: a dimmed layer over the whole content of the window it is presented
// on, taking every click so nothing beneath can be used, with a panel holding the message and
// either cancel and OK or the one button, and an optional extra button row. Each button
// answers through the manager that presented it: the alert goes, the manager is free again,
// and then the model's closure runs.
class AlertController : public CustomView {
  Q_OBJECT

 public:
  explicit AlertController(QWidget* parent = nullptr);

  // The router's factory: a new alert controller with no window yet.
  static AlertController* instantiate();

  // Shows the model's message and buttons; the model replaces the one shown before.
  void setup(const AlertSetupModel& model);
  // The manager told first when a button answers; set by the manager that presents.
  void setPresenter(AlertManager* manager) { presenter_ = manager; }

  void onClickCancel();
  void onClickOK();
  void onClickConfirm();
  void onClickOtherConfirm();

  // The model shown; none before the first setup and once it was answered.
  const std::optional<AlertSetupModel>& model() const { return model_; }

  QLabel* messageLabel() const { return messageLabel_; }
  CustomButton* cancelButton() const { return cancelButton_; }
  CustomButton* okButton() const { return okButton_; }
  CustomButton* confimButton() const { return confimButton_; }
  QPushButton* otherButton() const { return otherButton_; }
  QWidget* buttonStackView() const { return buttonStackView_; }
  QWidget* otherButtonView() const { return otherButtonView_; }
  QWidget* panel() const { return panel_; }

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Escape answers as Cancel does (the one button of a plain alert); Tab goes round the
  // alert's own buttons, never to the window beneath.
  void keyPressEvent(QKeyEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void viewDidLoad();
  void layoutPanel();
  // Takes the model out (a second click on a fading alert does nothing), lets the presenter
  // dismiss, then hands the model to `answer`.
  void answer(const std::function<void(AlertSetupModel&)>& respond);

  QPointer<CustomView> panel_;
  QPointer<QLabel> messageLabel_;
  QPointer<CustomButton> cancelButton_;
  QPointer<CustomButton> okButton_;
  QPointer<CustomButton> confimButton_;
  QPointer<QPushButton> otherButton_;
  QPointer<QWidget> buttonStackView_;
  QPointer<QWidget> otherButtonView_;
  std::optional<AlertSetupModel> model_;
  AlertManager* presenter_ = nullptr;
  QPointer<QWidget> watchedParent_;
};

}  // namespace corvane
