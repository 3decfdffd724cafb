#include "shell/CannotGoOnExit.h"

#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <mutex>
#include <new>
#include <system_error>
#include <utility>

#include "dispatch/ThreadStart.h"
#include "log/LogManager.h"
#include "qt/UserDefaults.h"

namespace corvane {

namespace {

CannotGoOnExit::Environment& environment() {
  static CannotGoOnExit::Environment env;
  return env;
}

// Memory kept back for the way out: out of memory, the line and the save still need some.
char* reserve = nullptr;
constexpr size_t kReserveBytes = size_t(4) << 20;

// Once, whichever thread comes first: another one failing meanwhile waits for the end.
void goOut(const char* prefix, const std::string& why) {
  static std::mutex once;
  once.lock();  // never unlocked: the process ends here
  delete[] std::exchange(reserve, nullptr);
  const auto& env = environment();
  try {
    const std::string line =
        std::string("Corvane Studio cannot go on: ") + prefix + why + "; it ends";
    if (env.log) env.log(line);
  } catch (...) {
    static const char line[] = "Corvane Studio cannot go on: out of memory; it ends\n";
    [[maybe_unused]] auto n = ::write(2, line, sizeof line - 1);
  }
  try {
    if (env.saveSettings) env.saveSettings();
  } catch (...) {
  }
  if (env.exit) env.exit(1);
  once.unlock();  // a test's exit returns
}

}  // namespace

CannotGoOnExit::Environment CannotGoOnExit::Environment::process() {
  Environment env;
  env.log = [](const std::string& line) {
    CV_LOG_ERROR(line);
    std::cerr << line << std::endl;
  };
  env.saveSettings = [] { platform::UserDefaults::shared().synchronize(); };
  // Not exit(): the statics' destructors would join queues and threads in an unknown state.
  env.exit = [](int status) { std::_Exit(status); };
  return env;
}

void CannotGoOnExit::install(Environment env) {
  environment() = std::move(env);
  if (!reserve) reserve = new (std::nothrow) char[kReserveBytes];
  platform::ThreadStart::setCannotGoOn(&CannotGoOnExit::threadCannotStart);
  std::set_terminate(&CannotGoOnExit::terminated);
}

void CannotGoOnExit::threadCannotStart(const std::string& what, const std::string& why) {
  goOut("", "the thread of " + what + " cannot be started (" + why + ")");
}

void CannotGoOnExit::terminated() {
  delete[] std::exchange(reserve, nullptr);
  const char* prefix = "an unexpected error";
  std::string detail;
  try {
    if (std::exception_ptr error = std::current_exception()) {
      try {
        std::rethrow_exception(error);
      } catch (const std::system_error& e) {
        prefix = "a thread or a resource cannot be had";
        detail = std::string(" (") + e.what() + ")";
      } catch (const std::bad_alloc&) {
        prefix = "out of memory";
      } catch (const std::exception& e) {
        detail = std::string(" (") + e.what() + ")";
      } catch (...) {
      }
    }
  } catch (...) {
  }
  goOut(prefix, detail);
  std::_Exit(1);  // never returns into the terminate machinery
}

}  // namespace corvane
