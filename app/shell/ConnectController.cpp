#include "shell/ConnectController.h"

#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>
#include <utility>

#include "camera/CameraManager.h"
#include "i18n/Localized.h"
#include "widgets/CustomView.h"
#include "widgets/NamedColors.h"

namespace corvane {

namespace {

QString text(const char* key) { return QString::fromStdString(localized(key)); }

QLabel* makeLabel(QWidget* parent, int pointSize) {
  auto* label = new QLabel(parent);
  label->setAlignment(Qt::AlignCenter);
  label->setWordWrap(true);
  QFont font = label->font();
  font.setPointSize(pointSize);
  label->setFont(font);
  label->setStyleSheet("color: #E6E6E6; background: transparent;");
  return label;
}

}  // namespace

ConnectController* ConnectController::make(QWidget* parent) {
  CameraManager& camera = CameraManager::shared();
  return new ConnectController(
      camera.connectMode, [&camera] { camera.startConnection(); }, parent, camera.connectError,
      PlayerManager::shared().refusal,
      [](const std::string& clip) {
        // The start's own hand-over plays it once it loads.
        PlayerManager::shared().loadVideo(QString::fromStdString(clip));
      });
}

ConnectController::ConnectController(ObservableRef<ConnectMode> connectMode,
                                     std::function<void()> searchCamera, QWidget* parent,
                                     ObservableRef<std::string> connectError,
                                     ObservableRef<PlayerManager::Refusal> clipRefusal,
                                     std::function<void(const std::string&)> retryClip)
    : QWidget(parent),
      searchCamera_(std::move(searchCamera)),
      retryClip_(std::move(retryClip)),
      connectError_(std::move(connectError)) {
  setObjectName("ConnectController");
  auto* layout = new QVBoxLayout(this);
  layout->addStretch();

  messageView = new QWidget(this);
  auto* messageLayout = new QVBoxLayout(messageView);
  messageLabel = makeLabel(messageView, 16);
  messageLayout->addWidget(messageLabel);
  layout->addWidget(messageView);

  cannotFindView = new QWidget(this);
  auto* findLayout = new QVBoxLayout(cannotFindView);
  findLayout->setSpacing(24);
  cantFindCameraLabel = makeLabel(cannotFindView, 16);
  cantFindCameraLabel->setText(text("error_msg_not_find"));
  findLayout->addWidget(cantFindCameraLabel);
  tryAgainBgView = new CustomView(QRect(0, 0, 160, 40), cannotFindView);
  tryAgainBgView->setFixedSize(160, 40);
  tryAgainBgView->setCornerRadius(6);
  tryAgainBgView->setBorderWidth(1);
  tryAgainBgView->setColor(NamedColors::clear());
  auto* bgLayout = new QVBoxLayout(tryAgainBgView);
  bgLayout->setContentsMargins(1, 1, 1, 1);
  tryAgainButton = new QPushButton(text("button_retry_name"), tryAgainBgView);
  tryAgainButton->setObjectName("tryAgainButton");
  tryAgainButton->setFlat(true);
  tryAgainButton->setCursor(Qt::PointingHandCursor);
  bgLayout->addWidget(tryAgainButton);
  findLayout->addWidget(tryAgainBgView, 0, Qt::AlignHCenter);
  layout->addWidget(cannotFindView);
  layout->addStretch();

  tryAgainButton->installEventFilter(this);
  connect(tryAgainButton, &QPushButton::clicked, this, [this] { onClickTryAgainButton(); });
  paintButton(NamedColors::clear(), NamedColors::color("tintColor"));

  QPointer<ConnectController> self(this);
  connectMode->bindAndNotify([self](ConnectMode mode) {
    if (self) self->apply(mode);
  });
  if (clipRefusal)
    clipRefusal->bindAndNotify([self](const PlayerManager::Refusal& refusal) {
      // A refusal while a picture shows is the player window's to tell.
      if (!self || self->mode_ == ConnectMode::connected) return;
      self->refusedPath_ = refusal.path;
      // A clip asked for again that opens: the progress stays until its picture shows.
      if (std::exchange(self->retrying_, false) && refusal.fileName.empty()) return;
      self->clipRefused_ =
          refusal.fileName.empty()
              ? QString()
              : text("error_msg_clip_not_played")
                    .arg(QString::fromStdString(refusal.fileName),
                         QString::fromStdString(refusal.reason));
      self->apply(self->mode_);
    });
}

void ConnectController::apply(ConnectMode mode) {
  mode_ = mode;
  switch (mode) {
    case ConnectMode::searching:
    case ConnectMode::connecting:
      cannotFindView->hide();
      messageView->show();
      messageLabel->setText(text(mode == ConnectMode::searching ? "msg_searching" : "connect_msg"));
      break;
    case ConnectMode::connected:
      // The main window hides this view itself.
      clipRefused_.clear();
      refusedPath_.clear();
      break;
    case ConnectMode::disconnected: {
      // Whoever named a clip is told about the clip, not about a camera.
      std::string error = connectError_ ? connectError_->value() : std::string();
      cantFindCameraLabel->setText(
          !clipRefused_.isEmpty() ? clipRefused_
                                  : text(error.empty() ? "error_msg_not_find" : error.c_str()));
      cannotFindView->show();
      messageView->hide();
      break;
    }
  }
}

void ConnectController::showEvent(QShowEvent* event) {
  tryAgainBgView->setBorderColor(NamedColors::color("tintColor"));
  QWidget::showEvent(event);
}

bool ConnectController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tryAgainButton) {
    if (event->type() == QEvent::Enter) mouseEntered();
    if (event->type() == QEvent::Leave) mouseExited();
  }
  return QWidget::eventFilter(watched, event);
}

void ConnectController::mouseEntered() { paintButton(NamedColors::color("tintColor"), Qt::white); }

void ConnectController::mouseExited() {
  paintButton(NamedColors::clear(), NamedColors::color("tintColor"));
}

void ConnectController::paintButton(const QColor& background, const QColor& title) {
  buttonBackground_ = background;
  buttonTitle_ = title;
  tryAgainButton->setStyleSheet(QString("QPushButton { background-color: %1; color: %2; border: "
                                        "none; font-size: 14px; }")
                                    .arg(background.name(QColor::HexArgb), title.name()));
}

void ConnectController::onClickTryAgainButton() {
  // Under a refused clip the retry is the clip's: whoever named it asked for the clip.
  if (!clipRefused_.isEmpty() && !refusedPath_.empty() && retryClip_) {
    retrying_ = true;
    cannotFindView->hide();
    messageView->show();
    messageLabel->setText(text("connect_msg"));
    retryClip_(refusedPath_);
    return;
  }
  if (searchCamera_) searchCamera_();
}

}  // namespace corvane
