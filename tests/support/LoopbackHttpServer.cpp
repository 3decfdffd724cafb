#include "LoopbackHttpServer.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <unistd.h>
#include <zlib.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
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

LoopbackHttpServer::Reply LoopbackHttpServer::Reply::compressed(int status,
                                                                const std::string& block,
                                                                size_t repeats,
                                                                const std::string& encoding) {
  z_stream stream{};
  // 15 + 16: a gzip wrapper; 15 alone: the zlib wrapper HTTP's "deflate" means.
  const int windowBits = encoding == "gzip" ? 15 + 16 : 15;
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY);
  std::string out;
  char buffer[64 * 1024];
  auto pump = [&](int flush) {
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer);
      stream.avail_out = sizeof buffer;
      deflate(&stream, flush);
      out.append(buffer, sizeof buffer - stream.avail_out);
    } while (stream.avail_out == 0);
  };
  for (size_t i = 0; i < repeats; ++i) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
    stream.avail_in = uInt(block.size());
    pump(Z_NO_FLUSH);
  }
  pump(Z_FINISH);
  deflateEnd(&stream);
  Reply reply;
  reply.status = status;
  reply.body = std::move(out);
  reply.headers.emplace_back("Content-Type", "application/json");
  reply.headers.emplace_back("Content-Encoding", encoding);
  return reply;
}

namespace {

struct SelfSigned {
  std::string certificate, key;  // PEM
};

// An EC key and a certificate for 127.0.0.1 signed by that key, valid for a day. Every server of
// the process gets a subject of its own and names its key: trusted certificates are looked up by
// subject, so a second server under the same name would be checked against the first one's key
// and refused as self-signed.
SelfSigned makeSelfSigned() {
  static std::atomic<unsigned> made{0};
  SelfSigned out;
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  if (!key || !cert) return out;
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), long(std::random_device()() & 0x7fffffff));
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  std::string unit = "loopback server " + std::to_string(::getpid()) + "-" + std::to_string(++made);
  X509_NAME_add_entry_by_txt(name, "OU", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(unit.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  auto extend = [&](int nid, const char* value) {
    if (X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value)) {
      X509_add_ext(cert, extension, -1);
      X509_EXTENSION_free(extension);
    }
  };
  extend(NID_subject_alt_name, "IP:127.0.0.1");
  extend(NID_subject_key_identifier, "hash");
  extend(NID_authority_key_identifier, "keyid:always");
  X509_sign(cert, key, EVP_sha256());
  auto pem = [](auto write) {
    BIO* bio = BIO_new(BIO_s_mem());
    write(bio);
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    std::string text(data, size_t(size));
    BIO_free(bio);
    return text;
  };
  out.certificate = pem([cert](BIO* bio) { PEM_write_bio_X509(bio, cert); });
  out.key = pem([key](BIO* bio) {
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  });
  X509_free(cert);
  EVP_PKEY_free(key);
  return out;
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(Scheme scheme) : scheme_(scheme) {
  if (scheme == Scheme::https) {
    SelfSigned made = makeSelfSigned();
    certificatePem_ = made.certificate;
    auto* ssl = new QSslServer();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(QByteArray::fromStdString(made.certificate)));
    configuration.setPrivateKey(
        QSslKey(QByteArray::fromStdString(made.key), QSsl::Ec, QSsl::Pem, QSsl::PrivateKey));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    ssl->setSslConfiguration(configuration);
    server_ = ssl;
    // Handed over once the handshake is done.
    QObject::connect(ssl, &QTcpServer::pendingConnectionAvailable, ssl, [this] { onConnection(); });
  } else {
    server_ = new QTcpServer();
    QObject::connect(server_, &QTcpServer::newConnection, server_, [this] { onConnection(); });
  }
  server_->listen(QHostAddress::LocalHost, 0);
}

std::string LoopbackHttpServer::plainUrl() const {
  return "http://127.0.0.1:" + std::to_string(server_->serverPort());
}

void LoopbackHttpServer::trustInThisProcess() const {
  if (certificatePem_.empty()) return;
  QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
  configuration.addCaCertificate(QSslCertificate(QByteArray::fromStdString(certificatePem_)));
  QSslConfiguration::setDefaultConfiguration(configuration);
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
  return std::string(scheme_ == Scheme::https ? "https" : "http") +
         "://127.0.0.1:" + std::to_string(server_->serverPort());
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
  if (reply.behaviour == Behaviour::endless) {
    // The body ends only when the connection does.
    if (reply.announcedLength)
      out += "Content-Length: " + std::to_string(*reply.announcedLength) + "\r\n";
    out += "Connection: close\r\n\r\n";
    socket->write(out.data(), static_cast<qint64>(out.size()));
    std::string block = reply.body.empty() ? std::string(64 * 1024, 'z') : reply.body;
    QObject::connect(socket, &QTcpSocket::bytesWritten, server_,
                     [this, socket, block] { stream(socket, block); });
    // Over TLS the plain bytes leave at once; what waits is the encrypted side.
    if (auto* tls = qobject_cast<QSslSocket*>(socket))
      QObject::connect(tls, &QSslSocket::encryptedBytesWritten, server_,
                       [this, socket, block] { stream(socket, block); });
    stream(socket, block);
    return;
  }
  uint64_t announced = reply.announcedLength.value_or(reply.body.size());
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

void LoopbackHttpServer::stream(QTcpSocket* socket, const std::string& block) {
  if (!buffers_.count(socket) || socket->state() != QAbstractSocket::ConnectedState) return;
  // A few blocks ahead of the client, no more: memory stays flat however long it runs.
  auto pending = [socket] {
    auto* tls = qobject_cast<QSslSocket*>(socket);
    return socket->bytesToWrite() + (tls ? tls->encryptedBytesToWrite() : 0);
  };
  while (pending() < qint64(4 * block.size())) {
    if (socket->write(block.data(), static_cast<qint64>(block.size())) <= 0) return;
    streamedBytes_ += block.size();
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
