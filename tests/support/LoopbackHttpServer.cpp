#include "LoopbackHttpServer.h"

#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>
#include <memory>

namespace testsupport {

LoopbackHttpServer::LoopbackHttpServer() {
  server_.listen(QHostAddress::LocalHost, 0);
  connect(&server_, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* socket = server_.nextPendingConnection()) serve(socket);
  });
}

std::string LoopbackHttpServer::baseURL() const {
  return "http://127.0.0.1:" + std::to_string(server_.serverPort());
}

void LoopbackHttpServer::setResponse(const std::string& path, Response response) {
  responses_[path] = std::move(response);
}

std::map<std::string, std::string> LoopbackHttpServer::formFields(const std::string& body) {
  std::map<std::string, std::string> fields;
  QUrlQuery query(QString::fromStdString(body));
  for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded))
    fields[key.toStdString()] = value.toStdString();
  return fields;
}

void LoopbackHttpServer::serve(QTcpSocket* socket) {
  auto buffer = std::make_shared<QByteArray>();
  connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
    buffer->append(socket->readAll());
    int end = buffer->indexOf("\r\n\r\n");
    if (end < 0) return;
    Request request;
    QList<QByteArray> lines = buffer->left(end).split('\n');
    QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0).toStdString();
    request.path = first.value(1).toStdString();
    size_t length = 0;
    for (int i = 1; i < lines.size(); ++i) {
      int colon = lines[i].indexOf(':');
      if (colon < 0) continue;
      std::string name = lines[i].left(colon).trimmed().toLower().toStdString();
      std::string value = lines[i].mid(colon + 1).trimmed().toStdString();
      request.headers[name] = value;
      if (name == "content-length") length = std::stoul(value);
    }
    if (size_t(buffer->size()) < size_t(end) + 4 + length) return;  // the body is not all here
    request.body = buffer->mid(end + 4, qsizetype(length)).toStdString();
    requests_.push_back(request);
    std::string path = request.path.substr(0, request.path.find('?'));
    auto it = responses_.find(path);
    Response response =
        it == responses_.end() ? Response{404, "{\"message\":\"not found\"}"} : it->second;
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " Status\r\n" +
                       "Content-Type: " + response.contentType + "\r\n" +
                       "Content-Length: " + std::to_string(response.body.size()) + "\r\n" +
                       "Connection: close\r\n\r\n";
    socket->write(QByteArray::fromStdString(head + response.body));
    socket->disconnectFromHost();
    buffer->clear();
  });
}

}  // namespace testsupport
