#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane {

// One HTTP request as the cloud client builds it.
struct HttpRequest {
  std::string url;
  std::string method = "GET";
  std::vector<std::pair<std::string, std::string>> headers;
  std::optional<std::string> body;  // none: sent without a body
  std::chrono::milliseconds timeout{60000};

  std::optional<std::string> header(const std::string& name) const {
    for (const auto& [key, value] : headers)
      if (key == name) return value;
    return std::nullopt;
  }
};

}  // namespace corvane
