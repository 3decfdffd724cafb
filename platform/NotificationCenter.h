#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

namespace platform {

// The object that notifications carry: texts and integers by key.
using NotificationDictionary = std::map<std::string, std::variant<std::string, int64_t>>;

struct Notification {
  std::string name;
  const void* sender = nullptr;
  std::any object;  // a NotificationDictionary from the framework's own senders
};

// Named notifications between a program's parts, delivered synchronously on the posting
// thread. An observer names the sender it listens to, so two senders of one kind never
// hear each other.
class NotificationCenter {
 public:
  using Handler = std::function<void(const Notification&)>;
  using Token = uint64_t;

  static NotificationCenter& shared();
  NotificationCenter() = default;

  // sender nullptr: from any sender.
  Token addObserver(const std::string& name, const void* sender, Handler handler);
  // After this returns no delivery to the observer is running or will start.
  void removeObserver(Token token);
  void post(const std::string& name, const void* sender, std::any object);

 private:
  struct Observer {
    std::string name;
    const void* sender;
    std::shared_ptr<Handler> handler;
  };
  std::mutex mutex_;
  std::recursive_mutex deliveryMutex_;  // held while delivering; removal waits on it
  std::map<Token, Observer> observers_;
  Token nextToken_ = 1;
};

}  // namespace platform
