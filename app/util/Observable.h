#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "dispatch/MainQueue.h"

namespace corvane {

// A value with change listeners. Every store notifies, on the main queue, whatever thread
// stored; each delivery hands every listener the value that store assigned, so two quick stores
// are seen as both values in order, not the last one twice.
template <typename T>
class Observable : public std::enable_shared_from_this<Observable<T>> {
 public:
  using Listener = std::function<void(T)>;

  static std::shared_ptr<Observable> make(T initial = T{}) {
    return std::shared_ptr<Observable>(new Observable(std::move(initial)));
  }

  T value() const {
    std::lock_guard lock(mutex_);
    return value_;
  }

  void setValue(T newValue) {
    T assigned;
    {
      std::lock_guard lock(mutex_);
      value_ = std::move(newValue);
      assigned = value_;
    }
    deliverOnMain(std::move(assigned));
  }

  // Changes the value in place under the lock, then notifies like a store.
  void modify(const std::function<void(T&)>& change) {
    T assigned;
    {
      std::lock_guard lock(mutex_);
      change(value_);
      assigned = value_;
    }
    deliverOnMain(std::move(assigned));
  }

  void bind(Listener listener) {
    std::lock_guard lock(mutex_);
    valueChanged_.push_back(std::move(listener));
  }

  // Registers, then calls the listener once at once on the caller's thread.
  void bindAndNotify(Listener listener) {
    T current;
    {
      std::lock_guard lock(mutex_);
      valueChanged_.push_back(listener);
      current = value_;
    }
    if (listener) listener(current);
  }

  std::vector<Listener> valueChanged() const {
    std::lock_guard lock(mutex_);
    return valueChanged_;
  }

  void setValueChanged(std::vector<Listener> listeners) {
    std::lock_guard lock(mutex_);
    valueChanged_ = std::move(listeners);
  }

  // Queues a delivery of the value held now.
  void notifyListenersOnMain() { deliverOnMain(value()); }

  // Delivers the value held now, on the caller's thread.
  void notifyListeners() { deliver(value()); }

 private:
  void deliverOnMain(T assigned) {
    // The queued delivery keeps the instance alive until it has run.
    auto self = this->shared_from_this();
    platform::MainQueue::shared().async(
        [self, assigned = std::move(assigned)] { self->deliver(assigned); });
  }

  void deliver(const T& assigned) {
    std::vector<Listener> listeners = valueChanged();
    for (auto& listener : listeners) {
      if (listener) listener(assigned);
    }
  }

  explicit Observable(T initial) : value_(std::move(initial)) {}

  mutable std::mutex mutex_;
  T value_;
  std::vector<Listener> valueChanged_;
};

template <typename T>
using ObservableRef = std::shared_ptr<Observable<T>>;

}  // namespace corvane
