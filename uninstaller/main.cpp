#include <QApplication>

#include "FileSizeLimit.h"
#include "MainViewController.h"
#include "ProductInfo.h"
#include "qt/QtMainQueue.h"

int main(int argc, char** argv) {
  platform::FileSizeLimit::failWritesPastIt();
  uninstaller::ProductInfo::configureBundle();
  QApplication app(argc, argv);
  platform::QtMainQueue::install();
  uninstaller::MainViewController window;
  window.show();
  int rc = app.exec();
  platform::QtMainQueue::uninstall();
  return rc;
}
