#include "ConnectController.h"

#include <QProgressBar>
#include <QVBoxLayout>

#include "LanguageManager.h"

namespace updater {

namespace {

QString text(const char* key) {
  return QString::fromStdString(LanguageManager::shared().localized(key));
}

}  // namespace

ConnectController::ConnectController(QWidget* parent) : QWidget(parent) {
  searchView = new QWidget(this);
  searchTitle = new QLabel(searchView);
  searchTitle->setAlignment(Qt::AlignCenter);
  searchTitle->setStyleSheet("font-size: 20px;");
  auto* busy = new QProgressBar(searchView);
  busy->setRange(0, 0);
  busy->setTextVisible(false);
  busy->setFixedWidth(240);
  auto* hint = new QLabel(text("updater_connect_description_name"), searchView);
  hint->setAlignment(Qt::AlignCenter);
  hint->setWordWrap(true);
  auto* searchLayout = new QVBoxLayout(searchView);
  searchLayout->addStretch();
  searchLayout->addWidget(searchTitle);
  searchLayout->addWidget(busy, 0, Qt::AlignHCenter);
  searchLayout->addWidget(hint);
  searchLayout->addStretch();

  errorView = new QWidget(this);
  errorMeassage = new QLabel(errorView);
  errorMeassage->setAlignment(Qt::AlignCenter);
  errorMeassage->setWordWrap(true);
  errorMeassage->setStyleSheet("font-size: 18px;");
  tryAgainButton = new QPushButton(text("updater_try_again_name"), errorView);
  auto* errorLayout = new QVBoxLayout(errorView);
  errorLayout->addStretch();
  errorLayout->addWidget(errorMeassage);
  errorLayout->addWidget(tryAgainButton, 0, Qt::AlignHCenter);
  errorLayout->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(searchView);
  layout->addWidget(errorView);
  connect(tryAgainButton, &QPushButton::clicked, this, [this] { onClickTryAgain(); });
  showSearching();
}

void ConnectController::showSearching() {
  searchView->setHidden(false);
  errorView->setHidden(true);
  searchTitle->setText("Searching camera...");
}

void ConnectController::showError(const QString& text) {
  errorMeassage->setText(text);
  searchView->setHidden(true);
  errorView->setHidden(false);
}

void ConnectController::onClickTryAgain() {
  if (tryAgainAction) tryAgainAction();
}

}  // namespace updater
