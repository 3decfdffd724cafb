#include "cloud/HttpClient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QUrl>
#include <map>
#include <mutex>
#include <set>

#include "dispatch/Clock.h"
#include "net/BoundedBodyReader.h"
#include "qt/QueuedCallTarget.h"

namespace corvane {

struct HttpClient::State {
  // Guards `alive` and `timers`; a time-out holds it while it posts, so the client's end
  // cannot pass between the check and the post.
  std::mutex mutex;
  bool alive = true;
  uint64_t nextId = 1;
  std::map<uint64_t, platform::Clock::TimerId> timers;

  // Network thread only.
  platform::QueuedCallTarget* context = nullptr;
  QNetworkAccessManager* network = nullptr;
  std::map<uint64_t, QNetworkReply*> replies;
  // Each answer's body as it arrives, never past its request's bound.
  std::map<uint64_t, std::shared_ptr<BoundedBodyReader>> readers;
  std::map<uint64_t, std::shared_ptr<std::string>> bodies;
  std::set<uint64_t> timedOut;

  void start(uint64_t id, const HttpRequest& request, const Completion& completion);
  void expire(uint64_t id);
  void finish(uint64_t id, QNetworkReply* reply, const Completion& completion);
  void cancelTimer(uint64_t id);
};

HttpClient& HttpClient::shared() {
  // Kept for the life of the process: its thread must not be torn down by static destruction
  // after the application object has gone.
  static HttpClient* client = new HttpClient();
  return *client;
}

HttpClient::HttpClient() : state_(std::make_shared<State>()) {
  thread_ = new QThread();
  thread_->setObjectName("corvane.http");
  state_->context = new platform::QueuedCallTarget();
  state_->context->moveToThread(thread_);
  thread_->start();
  auto state = state_;
  state_->context->postAndWait([state] { state->network = new QNetworkAccessManager(); });
}

HttpClient::~HttpClient() {
  std::map<uint64_t, platform::Clock::TimerId> timers;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->alive = false;
    timers.swap(state_->timers);
  }
  for (const auto& [id, timer] : timers) platform::Clock::shared().cancel(timer);
  auto state = state_;
  // The target goes when its thread ends, after this call.
  state_->context->postAndWait([state] {
    for (auto& [id, reply] : state->replies) {
      reply->disconnect();
      reply->abort();
      delete reply;
    }
    state->replies.clear();
    state->readers.clear();
    state->bodies.clear();
    delete state->network;
    state->network = nullptr;
    state->context->deleteLater();
    state->context = nullptr;
  });
  thread_->quit();
  thread_->wait();
  delete thread_;
}

void HttpClient::send(HttpRequest request, Completion completion) {
  auto state = state_;
  std::lock_guard<std::mutex> lock(state->mutex);
  if (!state->alive) return;
  uint64_t id = state->nextId++;
  auto& clock = platform::Clock::shared();
  state->timers[id] = clock.callAt(clock.now() + request.timeout, [state, id] {
    std::lock_guard<std::mutex> timerLock(state->mutex);
    if (!state->alive || !state->timers.count(id)) return;
    state->context->post([state, id] { state->expire(id); });
  });
  state->context->post(
      [state, id, request = std::move(request), completion = std::move(completion)] {
        state->start(id, request, completion);
      });
}

void HttpClient::State::start(uint64_t id, const HttpRequest& request,
                              const Completion& completion) {
  QNetworkRequest qrequest(QUrl(QString::fromStdString(request.url)));
  qrequest.setTransferTimeout(0);  // the clock's time-out covers the whole exchange
  // A compressed answer is read expanded, and the body's bound counts those bytes as they come:
  // the network library's own guard (past 10 MB at a high ratio) would end an answer that is
  // within its bound, and hand on the bytes it had as the answer.
  qrequest.setDecompressedSafetyCheckThreshold(-1);
  for (const auto& [name, value] : request.headers)
    qrequest.setRawHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
  QByteArray method = QByteArray::fromStdString(request.method);
  QNetworkReply* reply = nullptr;
  if (request.body)
    reply = network->sendCustomRequest(qrequest, method, QByteArray::fromStdString(*request.body));
  else if (method == "GET")
    reply = network->get(qrequest);
  else
    reply = network->sendCustomRequest(qrequest, method);
  replies[id] = reply;
  auto body = std::make_shared<std::string>();
  bodies[id] = body;
  readers[id] =
      BoundedBodyReader::attach(reply, context, request.maxBodyBytes,
                                {"the answer", request.bodyKind}, [body](const QByteArray& chunk) {
                                  body->append(chunk.constData(), size_t(chunk.size()));
                                  return std::string();
                                });
  QObject::connect(reply, &QNetworkReply::finished, context,
                   [this, id, reply, completion] { finish(id, reply, completion); });
}

void HttpClient::State::expire(uint64_t id) {
  auto it = replies.find(id);
  if (it == replies.end()) return;
  timedOut.insert(id);
  it->second->abort();  // emits finished, which reports the time-out
}

void HttpClient::State::cancelTimer(uint64_t id) {
  platform::Clock::TimerId timer = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = timers.find(id);
    if (it == timers.end()) return;
    timer = it->second;
    timers.erase(it);
  }
  platform::Clock::shared().cancel(timer);
}

void HttpClient::State::finish(uint64_t id, QNetworkReply* reply, const Completion& completion) {
  cancelTimer(id);
  replies.erase(id);
  std::shared_ptr<BoundedBodyReader> reader = std::move(readers[id]);
  std::shared_ptr<std::string> body = std::move(bodies[id]);
  readers.erase(id);
  bodies.erase(id);
  reader->drain();
  HttpResponse response;
  if (timedOut.erase(id)) {
    response.error = timedOutText;
  } else if (!reader->stopped().empty()) {
    // Our own reason: the abort reads as "Operation canceled" to the network layer.
    response.error = reader->stopped();
  } else {
    QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Errors below 200 are the connection's (refused, closed mid-body, TLS, proxy), those from
    // 300 to 399 the protocol's (a compressed body that does not expand): the answer did not
    // arrive whole, even when its status line did. The others only restate an HTTP status of
    // 400 or more, which the caller reads itself; a success status has none of them.
    int code = static_cast<int>(reply->error());
    const int http = status.isValid() ? status.toInt() : 0;
    bool broken = (code > 0 && code < 200) || (code >= 300 && code < 400) ||
                  (code != 0 && http >= 200 && http < 300);
    if (status.isValid() && !broken) {
      response.status = status.toInt();
      response.body = std::move(*body);
    } else {
      response.error = reply->errorString().toStdString();
      if (response.error.empty()) response.error = "no HTTP answer";
    }
  }
  reply->deleteLater();
  if (completion) completion(std::move(response));
}

}  // namespace corvane
