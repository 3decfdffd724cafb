#pragma once

#include <chrono>
#include <cstdint>
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
  // The longest answer taken: a longer one fails the request at the bound, as it arrives. The
  // cloud's JSON answers are a few kB; pictures set their own.
  int64_t maxBodyBytes = kMaxJsonAnswerBytes;
  // What the answer is, for the failure's text ("... the 1 MB a cloud answer may have").
  std::string bodyKind = "a cloud answer";

  static constexpr int64_t kMaxJsonAnswerBytes = int64_t(1) << 20;

  std::optional<std::string> header(const std::string& name) const {
    for (const auto& [key, value] : headers)
      if (key == name) return value;
    return std::nullopt;
  }
};

}  // namespace corvane
