#include "shell/AlertController.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <algorithm>
#include <vector>

#include "i18n/Localized.h"
#include "shell/AlertManager.h"
#include "shell/ShellStyle.h"
#include "widgets/CustomButton.h"
#include "widgets/NamedColors.h"

namespace corvane {

namespace {

constexpr int kPanelWidth = 420;
constexpr int kPanelHeight = 190;
constexpr int kOtherRowHeight = 40;
constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 32;

}  // namespace

AlertController::AlertController(QWidget* parent) : CustomView(QRect(), parent) {
  setObjectName("AlertController");
  hide();
  viewDidLoad();
  if (parent) {
    watchedParent_ = parent;
    parent->installEventFilter(this);
  }
}

AlertController* AlertController::instantiate() { return new AlertController(); }

void AlertController::viewDidLoad() {
  // The dimmed layer takes every click, so the window beneath cannot be used.
  disableMouseEvent = true;
  setColor(NamedColors::color("black50Color"));

  panel_ = ShellStyle::panel(QRect(0, 0, kPanelWidth, kPanelHeight), this);
  messageLabel_ = ShellStyle::label(QRect(24, 20, kPanelWidth - 48, 100), QString(), panel_);
  messageLabel_->setObjectName("messageLabel");
  messageLabel_->setWordWrap(true);
  messageLabel_->setAlignment(Qt::AlignCenter);

  const int buttonsTop = kPanelHeight - kButtonHeight - 24;
  buttonStackView_ = new QWidget(panel_);
  buttonStackView_->setObjectName("buttonStackView");
  buttonStackView_->setGeometry(0, buttonsTop, kPanelWidth, kButtonHeight);
  const int gap = 16;
  const int left = (kPanelWidth - 2 * kButtonWidth - gap) / 2;
  cancelButton_ = ShellStyle::button(QRect(left, 0, kButtonWidth, kButtonHeight),
                                     localizedText("button_cancel_name"), buttonStackView_);
  cancelButton_->setObjectName("cancelButton");
  okButton_ = ShellStyle::button(QRect(left + kButtonWidth + gap, 0, kButtonWidth, kButtonHeight),
                                 localizedText("button_ok_name"), buttonStackView_);
  okButton_->setObjectName("okButton");

  confimButton_ = ShellStyle::button(
      QRect((kPanelWidth - kButtonWidth) / 2, buttonsTop, kButtonWidth, kButtonHeight),
      localizedText("button_ok_name"), panel_);
  confimButton_->setObjectName("confimButton");

  otherButtonView_ = new QWidget(panel_);
  otherButtonView_->setObjectName("otherButtonView");
  otherButtonView_->setGeometry(0, kPanelHeight - 8, kPanelWidth, kOtherRowHeight - 8);
  otherButton_ = new QPushButton(otherButtonView_);
  otherButton_->setObjectName("otherButton");
  otherButton_->setFlat(true);
  otherButton_->setGeometry(24, 0, kPanelWidth - 48, kOtherRowHeight - 12);
  otherButton_->setCursor(Qt::PointingHandCursor);
  otherButton_->setStyleSheet("QPushButton { color: rgb(40, 150, 245); border: none; }");
  otherButtonView_->hide();

  connect(cancelButton_, &QAbstractButton::clicked, this, [this] { onClickCancel(); });
  connect(okButton_, &QAbstractButton::clicked, this, [this] { onClickOK(); });
  connect(confimButton_, &QAbstractButton::clicked, this, [this] { onClickConfirm(); });
  connect(otherButton_, &QAbstractButton::clicked, this, [this] { onClickOtherConfirm(); });
  layoutPanel();
}

void AlertController::setup(const AlertSetupModel& model) {
  model_ = model;
  messageLabel_->setText(model.message);
  const bool confirm = model.mode == AlertMode::confirm;
  buttonStackView_->setVisible(confirm);
  confimButton_->setVisible(!confirm);
  cancelButton_->setTitle(model.cancelButtonString.isEmpty() ? localizedText("button_cancel_name")
                                                             : model.cancelButtonString);
  okButton_->setTitle(model.okButtonString.isEmpty() ? localizedText("button_ok_name")
                                                     : model.okButtonString);
  confimButton_->setTitle(localizedText("button_ok_name"));
  if (model.showOtherButton) {
    otherButton_->setText(model.otherMessage.value_or(QString()));
    otherButtonView_->show();
  } else {
    otherButtonView_->hide();
  }
  layoutPanel();
  // Keys go to the alert's own default button, not to a control beneath it.
  (confirm ? okButton_ : confimButton_)->setFocus(Qt::OtherFocusReason);
}

void AlertController::answer(const std::function<void(AlertSetupModel&)>& respond) {
  if (!model_) return;
  AlertSetupModel model = std::move(*model_);
  model_.reset();
  if (presenter_) presenter_->alertDidAnswer(this);
  respond(model);
}

void AlertController::onClickCancel() {
  answer([](AlertSetupModel& m) {
    if (m.confirmHandler) m.confirmHandler(false);
  });
}

void AlertController::onClickOK() {
  answer([](AlertSetupModel& m) {
    if (m.confirmHandler) m.confirmHandler(true);
  });
}

void AlertController::onClickConfirm() { onClickOK(); }

void AlertController::onClickOtherConfirm() {
  answer([](AlertSetupModel& m) {
    if (m.otherConfirmHandler) m.otherConfirmHandler();
  });
}

void AlertController::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape || !model_) return CustomView::keyPressEvent(event);
  if (model_->mode == AlertMode::confirm)
    onClickCancel();
  else
    onClickConfirm();
  event->accept();
}

bool AlertController::focusNextPrevChild(bool next) {
  std::vector<QWidget*> buttons;
  for (QWidget* b :
       {static_cast<QWidget*>(cancelButton_.data()), static_cast<QWidget*>(okButton_.data()),
        static_cast<QWidget*>(confimButton_.data()), static_cast<QWidget*>(otherButton_.data())})
    if (b && b->isVisible() && b->isEnabled() && (b->focusPolicy() & Qt::TabFocus))
      buttons.push_back(b);
  if (buttons.empty()) return CustomView::focusNextPrevChild(next);
  const auto at = std::find(buttons.begin(), buttons.end(), QApplication::focusWidget());
  const size_t n = buttons.size();
  size_t i = at == buttons.end() ? (next ? n - 1 : 0) : size_t(at - buttons.begin());
  i = next ? (i + 1) % n : (i + n - 1) % n;
  buttons[i]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

void AlertController::layoutPanel() {
  const int height = kPanelHeight + (otherButtonView_->isVisibleTo(panel_) ? kOtherRowHeight : 0);
  panel_->setGeometry((width() - kPanelWidth) / 2, (this->height() - height) / 2, kPanelWidth,
                      height);
}

void AlertController::resizeEvent(QResizeEvent* event) {
  CustomView::resizeEvent(event);
  layoutPanel();
}

bool AlertController::event(QEvent* event) {
  if (event->type() == QEvent::ParentChange) {
    // The alert covers the whole content of the window it is presented on, also after resizes.
    if (watchedParent_) watchedParent_->removeEventFilter(this);
    watchedParent_ = parentWidget();
    if (watchedParent_) {
      watchedParent_->installEventFilter(this);
      setGeometry(watchedParent_->rect());
    }
  }
  return CustomView::event(event);
}

bool AlertController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == watchedParent_ && event->type() == QEvent::Resize)
    setGeometry(watchedParent_->rect());
  return CustomView::eventFilter(watched, event);
}

}  // namespace corvane
