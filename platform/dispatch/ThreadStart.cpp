#include "dispatch/ThreadStart.h"

#include <cstdio>
#include <mutex>
#include <new>
#include <system_error>

namespace platform {

namespace {

std::mutex& hooksMutex() {
  static std::mutex mutex;
  return mutex;
}

ThreadStart::Refuser& refuserHook() {
  static ThreadStart::Refuser refuser;
  return refuser;
}

ThreadStart::CannotGoOn& cannotGoOnHook() {
  static ThreadStart::CannotGoOn handler;
  return handler;
}

}  // namespace

std::optional<std::string> ThreadStart::start(std::thread& thread, std::function<void()> body) {
  Refuser refuser;
  {
    std::lock_guard lock(hooksMutex());
    refuser = refuserHook();
  }
  if (refuser)
    if (auto why = refuser()) return why;
  try {
    thread = std::thread(std::move(body));
  } catch (const std::system_error& error) {
    return std::string(error.what());
  } catch (const std::bad_alloc&) {
    return std::string("out of memory");
  }
  return std::nullopt;
}

void ThreadStart::setCannotGoOn(CannotGoOn handler) {
  std::lock_guard lock(hooksMutex());
  cannotGoOnHook() = std::move(handler);
}

void ThreadStart::cannotGoOn(const std::string& what, const std::string& why) {
  CannotGoOn handler;
  {
    std::lock_guard lock(hooksMutex());
    handler = cannotGoOnHook();
  }
  if (handler) {
    handler(what, why);
    return;
  }
  std::fprintf(stderr, "the thread of %s cannot be started: %s\n", what.c_str(), why.c_str());
}

void ThreadStart::setRefuser(Refuser refuser) {
  std::lock_guard lock(hooksMutex());
  refuserHook() = std::move(refuser);
}

}  // namespace platform
