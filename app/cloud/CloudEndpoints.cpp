#include "cloud/CloudEndpoints.h"

#include "util/WebAddress.h"

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

// One check for every address that came from the network: the program's own.
bool CloudEndpoints::isWebAddress(const QUrl& url) { return WebAddress::isWebAddress(url); }

bool CloudEndpoints::isWebAddress(const std::string& address) {
  return WebAddress::isWebAddress(QString::fromStdString(address));
}

}  // namespace corvane
