#include "qt/QueuedCallTarget.h"

#include <QCoreApplication>
#include <QEvent>
#include <condition_variable>
#include <memory>
#include <mutex>

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CORVANE_TSAN_HANDOVER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define CORVANE_TSAN_HANDOVER 1
#endif
#ifdef CORVANE_TSAN_HANDOVER
#include <sanitizer/tsan_interface.h>
#endif

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
  // Run or dropped with its target: a waiting caller goes on either way.
  ~TaskEvent() override {
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
#ifdef CORVANE_TSAN_HANDOVER
  // Everything written so far, the event included, is published with it.
  __tsan_release(event);
#endif
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
#ifdef CORVANE_TSAN_HANDOVER
  // Before anything of the event is read (its type included); a no-op for Qt's own events.
  __tsan_acquire(event);
#endif
  if (event->type() != kTaskEvent) return QObject::event(event);
  auto* call = static_cast<TaskEvent*>(event);
  if (call->task) call->task();
  // Said done when Qt deletes the event, right after this returns.
  call->task = nullptr;
  return true;
}

}  // namespace platform
