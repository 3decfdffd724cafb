#include "NotificationCenter.h"

namespace platform {

NotificationCenter& NotificationCenter::shared() {
  static NotificationCenter center;
  return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const std::string& name,
                                                          const void* sender, Handler handler) {
  std::lock_guard lock(mutex_);
  Token token = nextToken_++;
  observers_[token] = Observer{name, sender, std::make_shared<Handler>(std::move(handler))};
  return token;
}

void NotificationCenter::removeObserver(Token token) {
  // A removal from inside a delivery on the same thread goes through at once (recursive).
  std::lock_guard delivery(deliveryMutex_);
  std::lock_guard lock(mutex_);
  observers_.erase(token);
}

void NotificationCenter::post(const std::string& name, const void* sender, std::any object) {
  Notification notification{name, sender, std::move(object)};
  std::lock_guard delivery(deliveryMutex_);
  std::vector<std::pair<Token, std::shared_ptr<Handler>>> targets;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [token, observer] : observers_) {
      if (observer.name == name && (!observer.sender || observer.sender == sender)) {
        targets.emplace_back(token, observer.handler);
      }
    }
  }
  for (const auto& [token, handler] : targets) {
    {
      std::lock_guard lock(mutex_);
      if (!observers_.count(token)) continue;  // removed by an earlier handler of this post
    }
    (*handler)(notification);
  }
}

}  // namespace platform
