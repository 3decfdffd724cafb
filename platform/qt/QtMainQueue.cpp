#include "qt/QtMainQueue.h"

#include <QCoreApplication>
#include <QPointer>
#include <thread>

#include "dispatch/MainQueue.h"
#include "qt/QueuedCallTarget.h"

namespace platform {

void QtMainQueue::install() {
  // A child of the application: it lives on the main thread and goes with the application.
  QPointer<QueuedCallTarget> target = new QueuedCallTarget(QCoreApplication::instance());
  MainQueue::shared().setMainThread(std::this_thread::get_id());
  MainQueue::shared().setPoster([target](Task task) {
    if (!target) return;
    target->post(std::move(task));
  });
}

void QtMainQueue::uninstall() { MainQueue::shared().setPoster(nullptr); }

}  // namespace platform
