#include "shell/CannotGoOnExit.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <mutex>
#include <new>
#include <system_error>

#include "dispatch/ThreadStart.h"
#include "log/LogManager.h"
#include "qt/UserDefaults.h"

namespace corvane {

namespace {

CannotGoOnExit::Environment& environment() {
  static CannotGoOnExit::Environment env;
  return env;
}

// Once, whichever thread comes first: another one failing meanwhile waits for the end.
void goOut(const std::string& why) {
  static std::mutex once;
  once.lock();  // never unlocked: the process ends here
  const auto& env = environment();
  const std::string line = "Corvane Studio cannot go on: " + why + "; it ends";
  if (env.log) env.log(line);
  if (env.saveSettings) env.saveSettings();
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
  platform::ThreadStart::setCannotGoOn(&CannotGoOnExit::threadCannotStart);
  std::set_terminate(&CannotGoOnExit::terminated);
}

void CannotGoOnExit::threadCannotStart(const std::string& what, const std::string& why) {
  goOut("the thread of " + what + " cannot be started (" + why + ")");
}

void CannotGoOnExit::terminated() {
  std::string why = "an unexpected error";
  if (std::exception_ptr error = std::current_exception()) {
    try {
      std::rethrow_exception(error);
    } catch (const std::system_error& e) {
      why = std::string("a thread or a resource cannot be had (") + e.what() + ")";
    } catch (const std::bad_alloc&) {
      why = "out of memory";
    } catch (const std::exception& e) {
      why = std::string("an unexpected error (") + e.what() + ")";
    } catch (...) {
    }
  }
  goOut(why);
  std::_Exit(1);  // never returns into the terminate machinery
}

}  // namespace corvane
