#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <string>

class QNetworkReply;
class QObject;

namespace corvane {

// Takes a network reply's body as it arrives, never more than a bound: a reply that announces a
// longer body is stopped before any of it is read, one whose body passes the bound is stopped
// there. Meanwhile the reply holds at most one read buffer (Qt stops reading the socket while it
// is full), so a hostile or broken server cannot fill the memory with its answer.
class BoundedBodyReader {
 public:
  // Takes each chunk as it is read; an empty result goes on, a text stops the reply with it.
  using Sink = std::function<std::string(const QByteArray& chunk)>;

  // What is read from the network at once: the reply never holds more.
  static constexpr qint64 kReadBufferBytes = qint64(1) << 20;

  // What the reasons say: "<what> is larger than the 1 MB <kind> may have".
  struct Naming {
    std::string what;
    std::string kind;
  };

  // Starts reading `reply` into `sink`; its connections go with `context` (or the reply).
  static std::shared_ptr<BoundedBodyReader> attach(QNetworkReply* reply, QObject* context,
                                                   qint64 bound, Naming naming, Sink sink);

  // Takes what the reply still holds; called once it has finished, before its outcome is read.
  void drain();
  // Stops the reply with `why` (the first reason stays); it then finishes as an aborted one.
  void stop(std::string why);
  // Why the body was stopped on our side; empty while it runs, or when only the network failed.
  const std::string& stopped() const { return stopped_; }
  qint64 received() const { return received_; }

  // "256 MB" for whole megabytes, else "<n> bytes".
  static std::string sizeText(qint64 bytes);

 private:
  BoundedBodyReader(QNetworkReply* reply, qint64 bound, Naming naming, Sink sink);
  void checkAnnounced();

  QNetworkReply* reply_;
  qint64 bound_;
  Naming naming_;
  Sink sink_;
  qint64 received_ = 0;
  std::string stopped_;
};

}  // namespace corvane
