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

std::string KestovaAPIManager::redactedValue(const std::string& body) {
  nlohmann::json value;
  if (!LenientJson::nestedWithin(body)) return "(nested too deep to show)";
  if (!LenientJson::parse(body, value)) return body;
  hideTokens(value);
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
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
    env.http->send(
        std::move(request), [env, outcome, typeName, shared, fail](HttpResponse response) {
          env.delivery->async([outcome, typeName, shared, fail, response = std::move(response)] {
            if (response.status)
              outcome.debug(
                  "API call " + typeName + ", response status: " + std::to_string(*response.status),
                  __LINE__);
            if (response.failed()) {
              fail(response.error, __LINE__);
              return;
            }
            outcome.debug("URL**: " + outcome.url, __LINE__);
            outcome.debug("value**: " + redactedValue(response.body), __LINE__);
            // One bounded parse before any walk over the value: a body nested thousands deep
            // would overflow the stack in the recursive readers below.
            nlohmann::json value;
            std::string parseError;
            bool parsed = LenientJson::parse(response.body, value, &parseError);
            if (*response.status == 200) {
              std::string described;
              std::string error = "the body is not JSON: " + parseError;
              if (parsed && shared->first.decode(value, described, error)) {
                outcome.debug("result**: " + redactedValue(described), __LINE__);
                shared->first.deliver();
              } else {
                outcome.error("API call " + typeName + ", fail to decode JSON, " + error, __LINE__);
                if (shared->second) shared->second("Fail to decode JSON");
              }
              return;
            }
            auto message = parsed ? MessageModel::fromJson(value) : std::nullopt;
            outcome.error("API call " + typeName + ", status " + std::to_string(*response.status) +
                              ": " + (message ? message->message : "no message"),
                          __LINE__);
            if (shared->second) shared->second(message ? message->message : "fail to decode JSON");
          });
        });
  });
}

}  // namespace corvane
