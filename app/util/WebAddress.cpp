#include "util/WebAddress.h"

#include "Workspace.h"

namespace corvane {

bool WebAddress::isWebAddress(const QUrl& url) {
  return url.isValid() && !url.host().isEmpty() &&
         platform::Workspace::isWebAddress(url.toString(QUrl::FullyEncoded).toStdString());
}

bool WebAddress::isWebAddress(const QString& text) {
  // The text itself must be one too: the parser would quietly mend blanks and the like.
  return platform::Workspace::isWebAddress(text.toStdString()) &&
         isWebAddress(QUrl(text, QUrl::StrictMode));
}

}  // namespace corvane
