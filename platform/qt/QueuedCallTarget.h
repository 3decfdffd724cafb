#pragma once

#include <QObject>
#include <functional>

namespace platform {

// An object whose thread runs the tasks handed to it, through that thread's event queue.
// The hand-over happens inside Qt's own locks, which ThreadSanitizer cannot see in an
// uninstrumented Qt; the target tells it that what the caller did before posting happens
// before the task (and the task before a waiting caller goes on), so a race between the two
// sides is reported only when it is one.
class QueuedCallTarget : public QObject {
 public:
  using QObject::QObject;

  // Queues the task and returns at once; it runs unless the target is destroyed first.
  void post(std::function<void()> task);
  // Queues the task and waits until it has run. Never call it on the target's own thread.
  void postAndWait(std::function<void()> task);

 protected:
  bool event(QEvent* event) override;
};

}  // namespace platform
