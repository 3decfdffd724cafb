#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace testsupport {

// A small HTTP/1.1 server on 127.0.0.1 playing the cloud: answers by method and path with a
// status and a JSON (or any) body, or misbehaves on purpose (holds the request unanswered,
// hangs up without a word, answers with garbage, cuts the body short, sends a body that never
// ends, announces a length of its choosing). It lives on the thread
// that makes it and runs in its event loop; pumpUntil turns that loop and the main queue.
class LoopbackHttpServer {
 public:
  struct Reply {
    // endless: the body (a block of 'z' when it is empty) again and again, as fast as the client
    // takes it, until the client hangs up; without a Content-Length unless one is announced.
    enum class Behaviour { answer, hold, hangUp, garbage, truncated, endless };
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    Behaviour behaviour = Behaviour::answer;
    // The Content-Length sent instead of the body's own (a server that announces too much).
    std::optional<uint64_t> announcedLength;

    static Reply json(int status, std::string body) {
      Reply reply;
      reply.status = status;
      reply.body = std::move(body);
      reply.headers.emplace_back("Content-Type", "application/json");
      return reply;
    }
    static Reply with(Behaviour behaviour) {
      Reply reply;
      reply.behaviour = behaviour;
      return reply;
    }
    // `block` repeated `repeats` times, compressed with `encoding` ("gzip" or "deflate") and
    // sent with that Content-Encoding: a server's compressed answer, or a compression bomb
    // (megabytes of zeros in a few kilobytes), made without holding the expanded body.
    static Reply compressed(int status, const std::string& block, size_t repeats,
                            const std::string& encoding = "gzip");
  };

  struct Request {
    std::string method;
    std::string target;  // path and query as sent
    std::string path;
    std::string query;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;

    bool hasHeader(const std::string& lowerName) const { return headers.count(lowerName) != 0; }
    std::string header(const std::string& lowerName) const {
      auto it = headers.find(lowerName);
      return it == headers.end() ? std::string() : it->second;
    }
  };

  enum class Scheme { http, https };

  // https: TLS with a certificate for 127.0.0.1 made for this server alone; a client trusts it
  // once trustInThisProcess() ran.
  explicit LoopbackHttpServer(Scheme scheme = Scheme::http);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // "http://127.0.0.1:<port>" (or "https://...")
  std::string baseUrl() const;
  // The same port under the other scheme: what a plain-http link to this server looks like.
  std::string plainUrl() const;
  // Adds this server's certificate to the process's default TLS configuration, so Qt's
  // network clients made afterwards accept it.
  void trustInThisProcess() const;
  // Routes match the method and the path without its query. Unrouted requests get a 404 with
  // an empty body.
  void route(const std::string& method, const std::string& path, Reply reply);
  // Any further files (advertisement pictures) by path.
  void serveFile(const std::string& path, std::string bytes, std::string contentType);

  const std::vector<Request>& requests() const { return requests_; }
  // The fields of a form-URL-encoded body.
  static std::map<std::string, std::string> formFields(const std::string& body);
  size_t requestCount() const { return requests_.size(); }
  // Body bytes handed to the sockets of endless replies so far.
  uint64_t streamedBytes() const { return streamedBytes_; }

  // Turns the event loop and drains the main queue until `done` holds; false when it still did
  // not after `guardMs` of wall time (a guard against a hung test, not a pause).
  static bool pumpUntil(const std::function<bool()>& done, int guardMs = 10000);

 private:
  void onConnection();
  void onReadable(QTcpSocket* socket);
  void respond(QTcpSocket* socket, const Request& request);
  void stream(QTcpSocket* socket, const std::string& block);

  Scheme scheme_;
  std::string certificatePem_;
  QTcpServer* server_;
  std::map<QTcpSocket*, std::string> buffers_;
  std::map<std::pair<std::string, std::string>, Reply> routes_;
  std::vector<Request> requests_;
  uint64_t streamedBytes_ = 0;
};

}  // namespace testsupport
