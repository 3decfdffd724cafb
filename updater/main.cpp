#include <QApplication>

#include "LogManager.h"
#include "ResourceBundleClass.h"
#include "qt/QtMainQueue.h"

int main(int argc, char** argv) {
  updater::ResourceBundleClass::configureBundle();
  updater::LogManager::shared();
  QApplication app(argc, argv);
  platform::QtMainQueue::install();
  int rc = app.exec();
  platform::QtMainQueue::uninstall();
  return rc;
}
