#include "cloud/CloudEndpoints.h"

namespace corvane {

CloudEndpoints CloudEndpoints::production() {
  return {"https://account.kestova.com", "https://admin.kestova.com",
          "https://storage.kestova.com/"};
}

std::string CloudEndpoints::join(const std::string& base, const std::string& path) {
  std::string left = base;
  while (!left.empty() && left.back() == '/') left.pop_back();
  size_t start = 0;
  while (start < path.size() && path[start] == '/') ++start;
  return left + "/" + path.substr(start);
}

bool CloudEndpoints::isWebAddress(const QUrl& url) {
  return url.isValid() && !url.host().isEmpty() &&
         (url.scheme() == "https" || url.scheme() == "http");
}

bool CloudEndpoints::isWebAddress(const std::string& address) {
  return isWebAddress(QUrl(QString::fromStdString(address), QUrl::StrictMode));
}

}  // namespace corvane
