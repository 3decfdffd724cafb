#include "cloud/KestovaAPIManager.h"

#include <QUrl>
#include <cctype>

#include "cloud/ClientIdentity.h"
#include "cloud/CloudEndpoints.h"
#include "cloud/HttpClient.h"
#include "cloud/MessageModel.h"
#include "config/LenientJson.h"
#include "dispatch/GlobalQueue.h"
#include "dispatch/MainQueue.h"
#include "log/LogManager.h"
#include "util/StringExtension.h"

namespace corvane {

namespace {

constexpr const char* kOperation = "apiCall";

void hideTokens(nlohmann::json& value) {
  if (value.is_object()) {
    for (auto it = value.begin(); it != value.end(); ++it) {
      std::string key = it.key();
      for (auto& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (key.find("token") != std::string::npos || key.find("password") != std::string::npos)
        it.value() = "<hidden>";
      else
        hideTokens(it.value());
    }
  } else if (value.is_array()) {
    for (auto& element : value) hideTokens(element);
  }
}

// An address the network layer can send to: http or https with a host, and no character that
// cannot stand in an address (a token or vendor code may carry one).
bool isSendable(const std::string& url) { return CloudEndpoints::isWebAddress(url); }

// One answer's handling, on the delivery queue.
struct Outcome {
  LogManager* logger;
  std::string url;

  void debug(const std::string& message, int line) const {
    logger->debug(message, __FILE__, kOperation, line);
  }
  void error(const std::string& message, int line) const {
    logger->error(message, __FILE__, kOperation, line);
  }
};

}  // namespace

KestovaAPIManager::Environment KestovaAPIManager::Environment::process() {
  Environment env;
  env.http = &HttpClient::shared();
  env.identity = &ClientIdentity::shared();
  env.builder = &platform::GlobalQueue::shared();
  env.delivery = &platform::MainQueue::shared();
  env.logger = &LogManager::shared();
  env.context = [] { return KestovaAPIRouter::Context::process(); };
  return env;
}

KestovaAPIManager& KestovaAPIManager::shared() {
  static KestovaAPIManager manager(Environment::process());
  return manager;
}

KestovaAPIManager::KestovaAPIManager(Environment environment) : env_(std::move(environment)) {}

namespace {

// A text for a log line, cut after the log's escaping: a binary body's bytes grow fourfold as
// "\x00", and the line keeps its bound all the same.
std::string logged(const std::string& text) {
  return StringExtension::bounded(text, KestovaAPIManager::kLoggedBodyBytes,
                                  &LogManager::printable);
}

// A body for a log line: tokens hidden, and no longer than kLoggedBodyBytes with its size named.
std::string shown(const std::string& body, const nlohmann::json* parsed) {
  if (!parsed) {
    if (!LenientJson::nestedWithin(body)) return "(nested too deep to show)";
    return logged(body);
  }
  nlohmann::json value = *parsed;
  hideTokens(value);
  return logged(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

}  // namespace

std::string KestovaAPIManager::redactedValue(const std::string& body) {
  nlohmann::json value;
  bool parsed = LenientJson::nestedWithin(body) && LenientJson::parse(body, value);
  return shown(body, parsed ? &value : nullptr);
}

void KestovaAPIManager::send(const KestovaAPIRouter& route, Decoder decoder,
                             ErrorHandler errorHandler) {
  KestovaAPIRouter::Context context = env_.context ? env_.context() : KestovaAPIRouter::Context{};
  Environment env = env_;
  auto shared = std::make_shared<std::pair<Decoder, ErrorHandler>>(std::move(decoder),
                                                                   std::move(errorHandler));
  env.builder->async([env, context, route, shared] {
    HttpRequest request = route.asURLRequest(context, *env.identity);
    Outcome outcome{env.logger, KestovaAPIRouter::redactedURL(request.url)};
    std::string typeName = shared->first.typeName;

    auto fail = [outcome, typeName, shared](const std::string& description, int line) {
      outcome.error("API call " + typeName + ", request failed with error: " + description, line);
      if (shared->second) shared->second("request failed with error: " + description);
    };

    if (!isSendable(request.url)) {
      env.delivery->async(
          [fail, outcome] { fail("not a valid address: " + outcome.url, __LINE__); });
      return;
    }
    env.http->send(std::move(request), [env, outcome, typeName, shared,
                                        fail](HttpResponse response) {
      if (response.failed()) {
        env.delivery->async([fail, error = response.error] { fail(error, __LINE__); });
        return;
      }
      // Read here, not on the delivery queue (the main thread): parsing, decoding and printing
      // an answer of up to its bound takes a while.
      env.builder->async([env, outcome, typeName, shared, response = std::move(response)] {
        int status = *response.status;
        // One bounded parse before any walk over the value: a body nested thousands deep
        // would overflow the stack in the recursive readers below.
        nlohmann::json value;
        std::string parseError;
        bool parsed = LenientJson::parse(response.body, value, &parseError);
        std::string valueLine = "value**: " + shown(response.body, parsed ? &value : nullptr);
        std::string statusLine =
            "API call " + typeName + ", response status: " + std::to_string(status);
        if (status == 200) {
          nlohmann::json described;
          std::string error = "the body is not JSON: " + parseError;
          bool decoded = parsed && shared->first.decode(value, described, error);
          std::string resultLine = decoded ? "result**: " + shown({}, &described) : std::string();
          env.delivery->async(
              [outcome, typeName, shared, statusLine, valueLine, decoded, resultLine, error] {
                outcome.debug(statusLine, __LINE__);
                outcome.debug("URL**: " + outcome.url, __LINE__);
                outcome.debug(valueLine, __LINE__);
                if (decoded) {
                  outcome.debug(resultLine, __LINE__);
                  shared->first.deliver();
                  return;
                }
                outcome.error("API call " + typeName + ", fail to decode JSON, " + logged(error),
                              __LINE__);
                if (shared->second) shared->second("Fail to decode JSON");
              });
          return;
        }
        auto message = parsed ? MessageModel::fromJson(value) : std::nullopt;
        env.delivery->async([outcome, typeName, shared, statusLine, valueLine, status, message] {
          outcome.debug(statusLine, __LINE__);
          outcome.debug("URL**: " + outcome.url, __LINE__);
          outcome.debug(valueLine, __LINE__);
          outcome.error("API call " + typeName + ", status " + std::to_string(status) + ": " +
                            (message ? logged(message->message) : "no message"),
                        __LINE__);
          if (shared->second) shared->second(message ? message->message : "fail to decode JSON");
        });
      });
    });
  });
}

}  // namespace corvane
