#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// An HTTP/1.1 server on 127.0.0.1 that plays the cloud: it answers each path with a canned
// response and records every request. It runs in the thread that owns it (the test's), so the
// test lets the event loop run while a client talks to it.
class LoopbackHttpServer : public QObject {
  Q_OBJECT
 public:
  struct Request {
    std::string method;
    std::string path;                            // with the query
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
  };
  struct Response {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
  };

  LoopbackHttpServer();
  // "http://127.0.0.1:<port>"
  std::string baseURL() const;
  void setResponse(const std::string& path, Response response);
  std::vector<Request> requests() const { return requests_; }
  // The decoded fields of a form-encoded body.
  static std::map<std::string, std::string> formFields(const std::string& body);

 private:
  void serve(QTcpSocket* socket);

  QTcpServer server_;
  std::map<std::string, Response> responses_;
  std::vector<Request> requests_;
};

}  // namespace testsupport
