#include <QApplication>

#include "FileSizeLimit.h"
#include "LogManager.h"
#include "MainController.h"
#include "ResourceBundleClass.h"
#include "qt/QtMainQueue.h"

int main(int argc, char** argv) {
  platform::FileSizeLimit::failWritesPastIt();
  updater::ResourceBundleClass::configureBundle();
  updater::LogManager::shared();
  QApplication app(argc, argv);
  platform::QtMainQueue::install();
  int rc = 0;
  {
    updater::MainController window(updater::MainController::Environment::process());
    window.show();
    rc = app.exec();
  }
  platform::QtMainQueue::uninstall();
  return rc;
}
