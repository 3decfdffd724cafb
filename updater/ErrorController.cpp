#include "ErrorController.h"

#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace updater {

namespace {

// The two pictures: a green tick in a ring, or a red cross in a ring.
QPixmap icon(bool finished) {
  const int size = 96;
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QColor colour = finished ? QColor(0x34, 0xc7, 0x59) : QColor(0xe5, 0x39, 0x35);
  p.setPen(QPen(colour, 6));
  p.drawEllipse(QRectF(6, 6, size - 12, size - 12));
  if (finished) {
    p.drawPolyline(QPolygonF({QPointF(28, 50), QPointF(43, 64), QPointF(69, 34)}));
  } else {
    p.drawLine(QPointF(34, 34), QPointF(62, 62));
    p.drawLine(QPointF(62, 34), QPointF(34, 62));
  }
  return pixmap;
}

}  // namespace

ErrorController::ErrorController(QWidget* parent) : QWidget(parent) {
  imageView = new QLabel(this);
  imageView->setAlignment(Qt::AlignCenter);
  messageLabel = new QLabel(this);
  messageLabel->setAlignment(Qt::AlignCenter);
  messageLabel->setWordWrap(true);
  messageLabel->setStyleSheet("font-size: 18px;");
  detailLabel = new QLabel(this);
  detailLabel->setAlignment(Qt::AlignCenter);
  detailLabel->setWordWrap(true);
  detailLabel->setHidden(true);
  actionButton = new QPushButton(this);
  actionButton->setMinimumWidth(140);
  auto* layout = new QVBoxLayout(this);
  layout->addStretch();
  layout->addWidget(imageView);
  layout->addWidget(messageLabel);
  layout->addWidget(detailLabel);
  layout->addSpacing(16);
  layout->addWidget(actionButton, 0, Qt::AlignHCenter);
  layout->addStretch();
  connect(actionButton, &QPushButton::clicked, this, [this] { onClickActionButton(); });
}

void ErrorController::setImage(const QString& name) {
  imageName_ = name;
  imageView->setPixmap(icon(name == "icon_finish"));
}

void ErrorController::setFinished(const QString& name) {
  setImage("icon_finish");
  messageLabel->setText(name + " firmware is latest version.");
  detailLabel->clear();
  detailLabel->setHidden(true);
  actionButton->setText("Close");
}

void ErrorController::setFailed(const QString& name, const QString& detail) {
  detailLabel->setText(detail);
  detailLabel->setHidden(detail.isEmpty());
  setImage("icon_unfinish");
  messageLabel->setText("An error occurred during the installation of " + name +
                        " firmware.\n Please reconnect the camera and try again.");
  actionButton->setText("Reinstall");
}

void ErrorController::onClickActionButton() {
  if (action) action();
}

}  // namespace updater
