#pragma once

#include <functional>
#include <memory>

#include "cloud/HttpRequest.h"
#include "cloud/HttpResponse.h"

class QThread;

namespace corvane {

// Sends HTTP requests through Qt's network layer on a thread of its own, so neither the
// request nor its answer ever waits on the main thread. The time-out runs on platform::Clock
// (tests advance a manual clock instead of waiting a minute).
class HttpClient {
 public:
  // Runs on the client's network thread, once per request.
  using Completion = std::function<void(HttpResponse)>;

  static HttpClient& shared();
  HttpClient();
  // Requests still under way are dropped without their completion.
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Callable from any thread; returns at once.
  void send(HttpRequest request, Completion completion);

  static constexpr const char* timedOutText = "The request timed out.";

 private:
  struct State;
  std::shared_ptr<State> state_;
  QThread* thread_ = nullptr;
};

}  // namespace corvane
