#include "LoopbackHttpServer.h"

#include <QUrl>
#include <QUrlQuery>

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <sstream>

#include "dispatch/MainQueue.h"

namespace testsupport {

namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string trim(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\r");
  size_t end = text.find_last_not_of(" \t\r");
  return start == std::string::npos ? std::string() : text.substr(start, end - start + 1);
}

const char* reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer() : server_(new QTcpServer()) {
  server_->listen(QHostAddress::LocalHost, 0);
  QObject::connect(server_, &QTcpServer::newConnection, server_, [this] { onConnection(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  for (auto& [socket, buffer] : buffers_) {
    socket->disconnect();
    socket->abort();
    delete socket;
  }
  delete server_;
}

std::string LoopbackHttpServer::baseUrl() const {
  return "http://127.0.0.1:" + std::to_string(server_->serverPort());
}

void LoopbackHttpServer::route(const std::string& method, const std::string& path, Reply reply) {
  routes_[{method, path}] = std::move(reply);
}

void LoopbackHttpServer::serveFile(const std::string& path, std::string bytes,
                                   std::string contentType) {
  Reply reply;
  reply.body = std::move(bytes);
  reply.headers.emplace_back("Content-Type", std::move(contentType));
  routes_[{"GET", path}] = std::move(reply);
}

void LoopbackHttpServer::onConnection() {
  while (QTcpSocket* socket = server_->nextPendingConnection()) {
    socket->setParent(nullptr);
    buffers_[socket];
    QObject::connect(socket, &QTcpSocket::readyRead, server_,
                     [this, socket] { onReadable(socket); });
    QObject::connect(socket, &QTcpSocket::disconnected, server_, [this, socket] {
      buffers_.erase(socket);
      socket->deleteLater();
    });
  }
}

void LoopbackHttpServer::onReadable(QTcpSocket* socket) {
  auto it = buffers_.find(socket);
  if (it == buffers_.end()) return;
  std::string& buffer = it->second;
  buffer += socket->readAll().toStdString();
  // Several requests may follow one another on a kept-alive connection.
  for (;;) {
    size_t headerEnd = buffer.find("\r\n\r\n");
    if (headerEnd == std::string::npos) return;
    std::istringstream head(buffer.substr(0, headerEnd));
    Request request;
    std::string line;
    std::getline(head, line);
    std::istringstream requestLine(line);
    std::string version;
    requestLine >> request.method >> request.target >> version;
    while (std::getline(head, line)) {
      size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      // The value as sent, trailing blanks included, so a test sees the exact bytes.
      std::string value = line.substr(colon + 1);
      if (!value.empty() && value.back() == '\r') value.pop_back();
      size_t start = value.find_first_not_of(" \t");
      request.headers[lower(trim(line.substr(0, colon)))] =
          start == std::string::npos ? std::string() : value.substr(start);
    }
    size_t length = 0;
    if (request.hasHeader("content-length")) length = std::stoul(request.header("content-length"));
    if (buffer.size() < headerEnd + 4 + length) return;
    request.body = buffer.substr(headerEnd + 4, length);
    buffer.erase(0, headerEnd + 4 + length);
    size_t question = request.target.find('?');
    request.path = request.target.substr(0, question);
    request.query = question == std::string::npos ? "" : request.target.substr(question + 1);
    requests_.push_back(request);
    respond(socket, request);
    if (!buffers_.count(socket)) return;
  }
}

void LoopbackHttpServer::respond(QTcpSocket* socket, const Request& request) {
  Reply reply;
  reply.status = 404;
  auto it = routes_.find({request.method, request.path});
  if (it != routes_.end()) reply = it->second;
  using Behaviour = Reply::Behaviour;
  switch (reply.behaviour) {
    case Behaviour::hold:
      return;
    case Behaviour::hangUp:
      buffers_.erase(socket);
      socket->disconnect();
      socket->abort();
      socket->deleteLater();
      return;
    case Behaviour::garbage:
      socket->write("this is not HTTP at all\r\n\r\n");
      socket->flush();
      buffers_.erase(socket);
      socket->disconnect();
      socket->disconnectFromHost();
      socket->deleteLater();
      return;
    default:
      break;
  }
  std::string out =
      "HTTP/1.1 " + std::to_string(reply.status) + " " + reason(reply.status) + "\r\n";
  for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
  size_t announced = reply.body.size();
  if (reply.behaviour == Behaviour::truncated) announced += 100;
  out += "Content-Length: " + std::to_string(announced) + "\r\n\r\n" + reply.body;
  socket->write(out.data(), static_cast<qint64>(out.size()));
  socket->flush();
  if (reply.behaviour == Behaviour::truncated) {
    buffers_.erase(socket);
    socket->disconnect();
    socket->disconnectFromHost();
    socket->deleteLater();
  }
}

bool LoopbackHttpServer::pumpUntil(const std::function<bool()>& done, int guardMs) {
  auto guard = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > guard) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    platform::MainQueue::shared().drain();
    QThread::yieldCurrentThread();
  }
  return true;
}

std::map<std::string, std::string> LoopbackHttpServer::formFields(const std::string& body) {
  std::map<std::string, std::string> fields;
  QUrlQuery query(QString::fromStdString(body));
  for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded))
    fields[key.toStdString()] = value.toStdString();
  return fields;
}

}  // namespace testsupport
