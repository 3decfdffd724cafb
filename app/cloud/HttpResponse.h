#pragma once

#include <optional>
#include <string>

namespace corvane {

// What came back: an HTTP status with the body, or, when no HTTP answer arrived (no
// connection, a broken reply, the time-out), the failure's description.
struct HttpResponse {
  std::optional<int> status;
  std::string body;
  std::string error;

  bool failed() const { return !status.has_value(); }
};

}  // namespace corvane
