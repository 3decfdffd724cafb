#include "net/BoundedBodyReader.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>

namespace corvane {

std::shared_ptr<BoundedBodyReader> BoundedBodyReader::attach(QNetworkReply* reply, QObject* context,
                                                             qint64 bound, Naming naming,
                                                             Sink sink) {
  std::shared_ptr<BoundedBodyReader> reader(
      new BoundedBodyReader(reply, bound, std::move(naming), std::move(sink)));
  if (!context) context = reply;
  reply->setReadBufferSize(kReadBufferBytes);
  // Refused before a byte of the body is taken when the server says it is too large.
  QObject::connect(reply, &QNetworkReply::metaDataChanged, context,
                   [reader] { reader->checkAnnounced(); });
  QObject::connect(reply, &QNetworkReply::readyRead, context, [reader] { reader->drain(); });
  return reader;
}

BoundedBodyReader::BoundedBodyReader(QNetworkReply* reply, qint64 bound, Naming naming, Sink sink)
    : reply_(reply), bound_(bound), naming_(std::move(naming)), sink_(std::move(sink)) {}

std::string BoundedBodyReader::sizeText(qint64 bytes) {
  if (bytes > 0 && bytes % (qint64(1) << 20) == 0) return std::to_string(bytes >> 20) + " MB";
  return std::to_string(bytes) + " bytes";
}

void BoundedBodyReader::stop(std::string why) {
  if (!stopped_.empty()) return;
  stopped_ = std::move(why);
  reply_->abort();
}

void BoundedBodyReader::checkAnnounced() {
  QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
  bool known = false;
  qint64 announced = length.toLongLong(&known);
  if (length.isValid() && known && announced > bound_)
    stop(naming_.what + " is announced as " + std::to_string(announced) + " bytes, more than the " +
         sizeText(bound_) + " " + naming_.kind + " may have");
}

void BoundedBodyReader::drain() {
  while (stopped_.empty() && reply_->bytesAvailable() > 0) {
    QByteArray chunk = reply_->read(kReadBufferBytes);
    if (chunk.isEmpty()) break;
    received_ += chunk.size();
    if (received_ > bound_)
      return stop(naming_.what + " is larger than the " + sizeText(bound_) + " " + naming_.kind +
                  " may have");
    std::string refused = sink_ ? sink_(chunk) : std::string();
    if (!refused.empty()) return stop(std::move(refused));
  }
}

}  // namespace corvane
