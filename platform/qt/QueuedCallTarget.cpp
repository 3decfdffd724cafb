#include "qt/QueuedCallTarget.h"

#include <QCoreApplication>
#include <QEvent>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "dispatch/SyncAnnotation.h"

namespace platform {

namespace {

const QEvent::Type kTaskEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// What a waiting caller blocks on: plain mutex and condition, which every tool can follow.
struct Waiter {
  std::mutex mutex;
  std::condition_variable ran;
  bool done = false;
};

class TaskEvent : public QEvent {
 public:
  TaskEvent(std::function<void()> task, std::shared_ptr<Waiter> waiter)
      : QEvent(kTaskEvent), task(std::move(task)), waiter(std::move(waiter)) {}
  // Run or dropped with its target: a waiting caller goes on either way. A dropped event is
  // freed on the target's thread without passing through event(): the hand-over is taken here.
  ~TaskEvent() override {
    SyncAnnotation::acquire(this);
    if (!waiter) return;
    std::lock_guard lock(waiter->mutex);
    waiter->done = true;
    waiter->ran.notify_all();
  }
  std::function<void()> task;
  std::shared_ptr<Waiter> waiter;
};

void send(QObject* target, std::function<void()> task, std::shared_ptr<Waiter> waiter) {
  auto* event = new TaskEvent(std::move(task), std::move(waiter));
  // Everything written so far, the event included, is published with it.
  SyncAnnotation::release(event);
  QCoreApplication::postEvent(target, event);
}

}  // namespace

void QueuedCallTarget::post(std::function<void()> task) { send(this, std::move(task), nullptr); }

void QueuedCallTarget::postAndWait(std::function<void()> task) {
  auto waiter = std::make_shared<Waiter>();
  send(this, std::move(task), waiter);
  std::unique_lock lock(waiter->mutex);
  waiter->ran.wait(lock, [&] { return waiter->done; });
}

bool QueuedCallTarget::event(QEvent* event) {
  // Before anything of the event is read (its type included); a no-op for Qt's own events.
  SyncAnnotation::acquire(event);
  if (event->type() != kTaskEvent) return QObject::event(event);
  auto* call = static_cast<TaskEvent*>(event);
  if (call->task) call->task();
  // Said done when Qt deletes the event, right after this returns.
  call->task = nullptr;
  return true;
}

}  // namespace platform
