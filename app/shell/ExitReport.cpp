#include "shell/ExitReport.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "cloud/CheckModel.h"
#include "cloud/KestovaAPIRouter.h"
#include "dispatch/SerialQueue.h"
#include "log/LogManager.h"

namespace corvane {

namespace {

struct Wait {
  std::mutex mutex;
  std::condition_variable changed;
  bool answered = false;
  bool expired = false;
};

// Answers arriving after the program stopped waiting still need a queue to land on.
platform::SerialQueue& replyQueue() {
  static auto* queue = new platform::SerialQueue("exit report");
  return *queue;
}

}  // namespace

int64_t ExitReport::usageSeconds(platform::Clock::TimePoint start, platform::Clock::TimePoint end) {
  return std::chrono::duration_cast<std::chrono::seconds>(end - start).count();
}

bool ExitReport::send(const KestovaAPIManager::Environment& api, const Facts& facts,
                      platform::Clock& clock, platform::Clock::Duration bound, LogManager& logger) {
  auto wait = std::make_shared<Wait>();
  // Settles the wait once; `before` runs first under its lock (the answer's log line is written
  // before the program may go on, and never after it stopped waiting).
  auto finish = [wait](bool answered, const std::function<void()>& before = {}) {
    std::lock_guard lock(wait->mutex);
    if (wait->answered || wait->expired) return;
    if (before) before();
    (answered ? wait->answered : wait->expired) = true;
    wait->changed.notify_all();
  };
  // The deadline is set before the request leaves, so a test's clock sees it first.
  platform::Clock::TimerId timer = clock.callAt(clock.now() + bound, [finish] { finish(false); });

  KestovaAPIManager::Environment env = api;
  env.delivery = &replyQueue();
  KestovaAPIManager client(env);
  auto route = KestovaAPIRouter::versionCheck(0, facts.usageSeconds, facts.version,
                                              facts.firmwareVersion, facts.vendor, facts.osVersion,
                                              facts.vendorID, facts.productID);
  LogManager* log = &logger;
  client.apiCall<CheckModel>(
      route,
      [finish, log](CheckModel answer) {
        finish(true, [&] {
          log->info("versionCheck offline response: " + answer.toJson().dump(), __FILE__,
                    "applicationWillTerminate", __LINE__);
        });
      },
      [finish](const std::string&) { finish(true); });

  std::unique_lock lock(wait->mutex);
  wait->changed.wait(lock, [&] { return wait->answered || wait->expired; });
  bool answered = wait->answered;
  lock.unlock();
  clock.cancel(timer);
  return answered;
}

}  // namespace corvane
