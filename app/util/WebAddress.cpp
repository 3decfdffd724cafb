#include "util/WebAddress.h"

namespace corvane {

bool WebAddress::isWebAddress(const QUrl& url) {
  return url.isValid() && !url.host().isEmpty() &&
         (url.scheme() == "https" || url.scheme() == "http");
}

bool WebAddress::isWebAddress(const QString& text) {
  return isWebAddress(QUrl(text, QUrl::StrictMode));
}

}  // namespace corvane
