#include "qt/QtMainQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <thread>

#include "dispatch/MainQueue.h"

namespace platform {

void QtMainQueue::install() {
  QPointer<QCoreApplication> app = QCoreApplication::instance();
  MainQueue::shared().setMainThread(std::this_thread::get_id());
  MainQueue::shared().setPoster([app](Task task) {
    if (!app) return;
    QMetaObject::invokeMethod(app.data(), std::move(task), Qt::QueuedConnection);
  });
}

void QtMainQueue::uninstall() { MainQueue::shared().setPoster(nullptr); }

}  // namespace platform
