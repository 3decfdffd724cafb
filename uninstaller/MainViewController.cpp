#include "MainViewController.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "ProductInfo.h"

namespace uninstaller {

MainViewController::MainViewController(QWidget* parent) : QWidget(parent) {
  setWindowTitle(ProductInfo::productName() + " Uninstaller");
  setFixedSize(560, 380);
  pages_ = new QStackedWidget(this);
  welcomeView = new WelcomeController(pages_);
  progressView = new ProgressController(pages_);
  completeView = new CompleteController(pages_);
  pages_->addWidget(welcomeView);
  pages_->addWidget(progressView);
  pages_->addWidget(completeView);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  welcomeView->okAction = [this] { setState(UninstallState::progress); };
  progressView->okAction = [this] { setState(UninstallState::complete); };
  setState(UninstallState::welcome);
}

void MainViewController::setState(UninstallState state) {
  state_ = state;
  switch (state) {
    case UninstallState::welcome:
      pages_->setCurrentWidget(welcomeView);
      break;
    case UninstallState::progress:
      pages_->setCurrentWidget(progressView);
      progressView->start();
      break;
    case UninstallState::complete:
      pages_->setCurrentWidget(completeView);
      break;
  }
}

void MainViewController::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The page's action holds the focus from the start, never the box that widens what goes.
  if (state_ == UninstallState::welcome && !welcomeView->focusWidget())
    welcomeView->nextButton->setFocus(Qt::OtherFocusReason);
}

void MainViewController::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier &&
      state_ == UninstallState::welcome) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MainViewController::closeEvent(QCloseEvent* event) {
  event->accept();
  QApplication::quit();
}

}  // namespace uninstaller
