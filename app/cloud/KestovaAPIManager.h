#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cloud/KestovaAPIRouter.h"

namespace platform {
class Queue;
}

namespace corvane {

class ClientIdentity;
class HttpClient;
class LogManager;

// Sends a cloud request and reads its JSON answer into a record. Failures reach the caller as a
// message text and a log line, never as an exception.
class KestovaAPIManager {
 public:
  using ErrorHandler = std::function<void(const std::string& message)>;

  struct Environment {
    HttpClient* http = nullptr;
    ClientIdentity* identity = nullptr;
    // Where requests are built (they read devices) and answers read (a large one takes a while).
    platform::Queue* builder = nullptr;
    platform::Queue* delivery = nullptr;  // where the handlers run: the main queue
    LogManager* logger = nullptr;
    // The program's state a request takes, read on the caller's thread.
    std::function<KestovaAPIRouter::Context()> context;
    static Environment process();
  };

  static KestovaAPIManager& shared();
  explicit KestovaAPIManager(Environment environment);

  // Returns at once. Later, on the delivery queue, exactly one of the two runs: the completion
  // with the record read from a 200 answer, or the error handler (when given) with the message.
  // The answer is read on the builder's queue: the delivery queue only logs and hands it over.
  // T is a record with fromJson, toJson and typeName.
  template <typename T>
  void apiCall(const KestovaAPIRouter& urlRequest, std::function<void(T)> completionHandler,
               ErrorHandler errorHandler = {}) {
    auto slot = std::make_shared<std::optional<T>>();
    Decoder decoder;
    decoder.typeName = T::typeName;
    decoder.decode = [slot](const nlohmann::json& value, nlohmann::json& described,
                            std::string& error) {
      *slot = T::fromJson(value, &error);
      if (!*slot) return false;
      described = (*slot)->toJson();
      return true;
    };
    decoder.deliver = [slot, completionHandler = std::move(completionHandler)] {
      if (completionHandler) completionHandler(std::move(**slot));
    };
    send(urlRequest, std::move(decoder), std::move(errorHandler));
  }

  // The body for a log line, with the values of token fields hidden, cut to kLoggedBodyBytes
  // with its whole size named.
  static std::string redactedValue(const std::string& body);
  // As much of an answer as one log line shows.
  static constexpr size_t kLoggedBodyBytes = 2048;

 private:
  struct Decoder {
    const char* typeName = "";
    std::function<bool(const nlohmann::json&, nlohmann::json& described, std::string& error)>
        decode;
    std::function<void()> deliver;
  };

  void send(const KestovaAPIRouter& route, Decoder decoder, ErrorHandler errorHandler);

  Environment env_;
};

}  // namespace corvane
