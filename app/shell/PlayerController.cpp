#include "shell/PlayerController.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QVBoxLayout>

#include "camera/PlayerManager.h"
#include "i18n/Localized.h"
#include "widgets/CustomButton.h"
#include "widgets/FormatDuration.h"
#include "widgets/ImageView.h"
#include "widgets/NamedColors.h"
#include "widgets/PixelBufferView.h"

namespace corvane {

namespace {

constexpr int kIconSize = 16;

// The play and pause marks of the play buttons, drawn in the title colour of each look.
QPixmap playIcon(const QColor& color, bool pause) {
  QPixmap pixmap(kIconSize, kIconSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  if (pause) {
    p.drawRect(QRectF(3, 2, 3.5, 12));
    p.drawRect(QRectF(9.5, 2, 3.5, 12));
  } else {
    QPainterPath triangle;
    triangle.moveTo(4, 2);
    triangle.lineTo(14, 8);
    triangle.lineTo(4, 14);
    triangle.closeSubpath();
    p.drawPath(triangle);
  }
  return pixmap;
}

CustomButton* makeButton(const QString& title, QWidget* parent) {
  auto* button = new CustomButton(QRect(0, 0, 96, 28), parent);
  button->setTitle(title);
  button->setCornerRadius(4);
  button->setBorderWidth(1);
  button->setTextColor(Qt::white);
  button->setActiveTextColor(Qt::white);
  button->setActiveBorderColor(NamedColors::color(QStringLiteral("tintColor")));
  button->setHoverColor(QColor(255, 255, 255, 40));
  button->setMinimumSize(96, 28);
  return button;
}

CustomButton* makePlayButton(QWidget* parent) {
  CustomButton* button = makeButton(QString(), parent);
  button->setUnselectedImage(playIcon(Qt::white, false));
  button->setSelectedImage(playIcon(Qt::white, true));
  button->setMinimumSize(44, 28);
  button->setMaximumWidth(44);
  return button;
}

QLabel* makeLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setStyleSheet(QStringLiteral("color: white;"));
  return label;
}

void deselect(CustomButton* button) {
  button->isSelected = false;
  button->setState(false);
  button->updateAppearance(false);
}

}  // namespace

SharedWindow<PlayerController>& PlayerController::windowController() {
  // Never destroyed: the window lives until the program ends.
  static auto* window = new SharedWindow<PlayerController>(
      [] { return std::make_unique<PlayerController>(PlayerManager::shared()); });
  return *window;
}

PlayerController::PlayerController(PlayerManager& player, QWidget* parent)
    : QWidget(parent), player_(player) {
  setWindowTitle(QStringLiteral("Player"));
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(0x20, 0x20, 0x24));
  setPalette(palette);
  resize(720, 520);
  buildViews();
  bindPlayer();
}

PlayerController::~PlayerController() { player_.removeFrameObserver(frameObserver_); }

void PlayerController::buildViews() {
  auto* layout = new QVBoxLayout(this);

  videoView = new QWidget(this);
  auto* videoLayout = new QVBoxLayout(videoView);
  videoLayout->setContentsMargins(0, 0, 0, 0);
  videoPicture = new PixelBufferView(videoView);
  videoLayout->addWidget(videoPicture, 1);
  auto* videoBar = new QHBoxLayout;
  videoPlayButton = makePlayButton(videoView);
  fileNameLabel = makeLabel(QStringLiteral("No file"), videoView);
  currentTimeLabel = makeLabel(formatDuration(0), videoView);
  totalTimeLabel = makeLabel(formatDuration(0), videoView);
  videoBar->addWidget(videoPlayButton);
  videoBar->addWidget(fileNameLabel, 1);
  videoBar->addWidget(currentTimeLabel);
  videoBar->addWidget(makeLabel(QStringLiteral("/"), videoView));
  videoBar->addWidget(totalTimeLabel);
  videoLayout->addLayout(videoBar);
  layout->addWidget(videoView, 1);

  imageView = new QWidget(this);
  auto* imageLayout = new QVBoxLayout(imageView);
  imageLayout->setContentsMargins(0, 0, 0, 0);
  imagePicture = new ImageView(QRect(), imageView);
  imagePicture->setMinimumSize(64, 36);
  imageLayout->addWidget(imagePicture, 1);
  auto* imageBar = new QHBoxLayout;
  imagePlayButton = makePlayButton(imageView);
  currentIndexLabel = makeLabel(QStringLiteral("0"), imageView);
  totalCountLabel = makeLabel(QStringLiteral("0"), imageView);
  imageBar->addWidget(imagePlayButton);
  imageBar->addStretch(1);
  imageBar->addWidget(currentIndexLabel);
  imageBar->addWidget(makeLabel(QStringLiteral("/"), imageView));
  imageBar->addWidget(totalCountLabel);
  imageLayout->addLayout(imageBar);
  layout->addWidget(imageView, 1);

  refusalLabel = makeLabel(QString(), this);
  refusalLabel->setObjectName("refusalLabel");
  refusalLabel->setStyleSheet(QStringLiteral("color: #FF8A80;"));
  refusalLabel->setWordWrap(true);
  refusalLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  refusalLabel->hide();
  layout->addWidget(refusalLabel);

  auto* bar = new QHBoxLayout;
  selectFileButton = makeButton(QStringLiteral("Select file"), this);
  backwardButton = makeButton(QStringLiteral("Backward"), this);
  forwardButton = makeButton(QStringLiteral("Forward"), this);
  bar->addWidget(selectFileButton);
  bar->addStretch(1);
  bar->addWidget(backwardButton);
  bar->addWidget(forwardButton);
  layout->addLayout(bar);

  connect(selectFileButton, &QAbstractButton::clicked, this,
          [this] { onClickSelectFile(selectFileButton); });
  connect(imagePlayButton, &QAbstractButton::clicked, this,
          [this] { onClickImagePlayButton(imagePlayButton); });
  connect(videoPlayButton, &QAbstractButton::clicked, this,
          [this] { onClickVideoPlayButton(videoPlayButton); });
  connect(forwardButton, &QAbstractButton::clicked, this, [this] { onClickForward(); });
  connect(backwardButton, &QAbstractButton::clicked, this, [this] { onClickBackward(); });
}

void PlayerController::bindPlayer() {
  // The player outlives this window in the program but not always in tests: the listeners hold
  // the window weakly and do nothing once it is gone.
  QPointer<PlayerController> self(this);
  player_.setupComplete->bindAndNotify([self](bool ready) {
    if (!self) return;
    // Without a source the view shows no picture of the one that closed.
    if (!ready) self->videoPicture->clear();
    self->showFileInfo();
  });
  player_.currentTime->bindAndNotify([self](double seconds) {
    if (self) self->currentTimeLabel->setText(formatDuration(float(seconds)));
  });
  player_.status->bindAndNotify([self](PlayerStatus status) {
    if (self) self->followStatus(status == PlayerStatus::playing);
  });
  player_.mode->bindAndNotify([self](PlayerMode mode) {
    if (!self) return;
    self->videoView->setVisible(mode == PlayerMode::video);
    self->imageView->setVisible(mode == PlayerMode::image);
    self->showFileInfo();
  });
  player_.refusal->bindAndNotify([self](const PlayerManager::Refusal& refusal) {
    if (!self) return;
    self->refusalLabel->setText(refusal.fileName.empty()
                                    ? QString()
                                    : localizedText("error_msg_clip_not_played")
                                          .arg(QString::fromStdString(refusal.fileName),
                                               QString::fromStdString(refusal.reason)));
    self->refusalLabel->setVisible(!refusal.fileName.empty());
  });
  frameObserver_ = player_.addFrameObserver(videoPicture->receiver());
}

void PlayerController::showFileInfo() {
  const std::vector<QImage> images = player_.images();
  const int index = player_.currentIndex();
  if (images.empty()) {
    totalCountLabel->setText(QStringLiteral("0"));
    currentIndexLabel->setText(QStringLiteral("0"));
    imagePicture->setImage(QPixmap());
  } else {
    totalCountLabel->setText(QString::number(images.size()));
    currentIndexLabel->setText(QString::number(index + 1));
    if (index >= 0 && size_t(index) < images.size())
      imagePicture->setImage(QPixmap::fromImage(images[size_t(index)]));
  }
  if (player_.hasValidAsset()) {
    fileNameLabel->setText(QString::fromStdString(player_.fileName()));
    totalTimeLabel->setText(formatDuration(float(player_.duration())));
  } else {
    fileNameLabel->setText(QStringLiteral("No file"));
    totalTimeLabel->setText(formatDuration(0));
  }
}

void PlayerController::followStatus(bool playing) {
  for (CustomButton* button : {imagePlayButton, videoPlayButton}) {
    button->isSelected = playing;
    button->setState(playing);
    button->updateAppearance(playing);
  }
}

void PlayerController::onClickSelectFile(CustomButton* sender) {
  if (sender) deselect(sender);
  player_.openFile(window());
}

void PlayerController::onClickImagePlayButton(CustomButton* sender) {
  sender->isSelected = !sender->isSelected;
  sender->setState(sender->isSelected);
  sender->updateAppearance(sender->isSelected);
  if (sender->isSelected)
    player_.play();
  else
    player_.pause();
}

void PlayerController::onClickVideoPlayButton(CustomButton* sender) {
  if (!player_.hasValidAsset()) {
    deselect(sender);
    return;
  }
  // The button's look then follows the player's status.
  if (!sender->isSelected)
    player_.play();
  else
    player_.pause();
}

void PlayerController::onClickForward() {
  player_.stepForward();
  showFileInfo();
}

void PlayerController::onClickBackward() {
  player_.stepBackward();
  showFileInfo();
}

}  // namespace corvane
