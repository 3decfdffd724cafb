#include "shell/ExitReport.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "cloud/CheckModel.h"
#include "cloud/KestovaAPIRouter.h"
#include "dispatch/Queue.h"
#include "log/LogManager.h"
#include "util/StringExtension.h"

namespace corvane {

namespace {

struct Wait {
  std::mutex mutex;
  std::condition_variable changed;
  bool answered = false;
  bool expired = false;
};

// Where the report's answer is handed over: at once, on the network thread, until the program
// stops waiting; after close() nothing runs any more, so nothing touches the logger or the
// settings while the program ends.
class ReplyGate : public platform::Queue {
 public:
  void async(platform::Task task) override {
    std::lock_guard lock(mutex_);
    if (open_) task();
  }
  void sync(platform::Task task) override { async(std::move(task)); }
  void close() {
    std::lock_guard lock(mutex_);
    open_ = false;
  }

 private:
  std::mutex mutex_;
  bool open_ = true;
};

// A gate outlives its report: the client's callbacks hold it by address. The gates stay
// reachable for the process's life (one per report, and a program sends one).
ReplyGate& newGate() {
  static auto* gates = new std::vector<std::unique_ptr<ReplyGate>>();
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  gates->push_back(std::make_unique<ReplyGate>());
  return *gates->back();
}

}  // namespace

int64_t ExitReport::usageSeconds(platform::Clock::TimePoint start, platform::Clock::TimePoint end) {
  return std::chrono::duration_cast<std::chrono::seconds>(end - start).count();
}

bool ExitReport::send(const KestovaAPIManager::Environment& api, const Facts& facts,
                      platform::Clock& clock, platform::Clock::TimePoint deadline,
                      LogManager& logger) {
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
  ReplyGate& gate = newGate();
  KestovaAPIManager::Environment env = api;
  env.delivery = &gate;
  KestovaAPIManager client(env);
  auto route = KestovaAPIRouter::versionCheck(0, facts.usageSeconds, facts.version,
                                              facts.firmwareVersion, facts.vendor, facts.osVersion,
                                              facts.vendorID, facts.productID);
  LogManager* log = &logger;
  client.apiCall<CheckModel>(
      route,
      [finish, log](CheckModel answer) {
        finish(true, [&] {
          log->info("versionCheck offline response: " +
                        StringExtension::bounded(answer.toJson().dump(),
                                                 KestovaAPIManager::kLoggedBodyBytes),
                    __FILE__, "applicationWillTerminate", __LINE__);
        });
      },
      [finish](const std::string&) { finish(true); });

  platform::Clock::TimerId timer = clock.callAt(deadline, [finish] { finish(false); });

  std::unique_lock lock(wait->mutex);
  wait->changed.wait(lock, [&] { return wait->answered || wait->expired; });
  bool answered = wait->answered;
  lock.unlock();
  clock.cancel(timer);
  gate.close();
  return answered;
}

}  // namespace corvane
