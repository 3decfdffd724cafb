#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// A notice; every key may be missing.
struct NotificationModel {
  std::optional<std::string> _id;
  std::optional<std::string> content;
  std::optional<std::string> date;  // the service's own text, not parsed
  static constexpr const char* typeName = "NotificationModel";
  // None when a required key is missing or a value has the wrong type; `error` then says which.
  static std::optional<NotificationModel> fromJson(const nlohmann::json& object,
                                                   std::string* error = nullptr);
  // Required fields always, optional ones only when present.
  nlohmann::ordered_json toJson() const;
  bool operator==(const NotificationModel&) const = default;
};

}  // namespace corvane
