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

}  // namespace corvane
