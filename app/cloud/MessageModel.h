#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// The error body of a failed cloud call.
struct MessageModel {
  std::string message;
  static constexpr const char* typeName = "MessageModel";
  // None when a required key is missing or a value has the wrong type; `error` then says which.
  static std::optional<MessageModel> fromJson(const nlohmann::json& object,
                                              std::string* error = nullptr);
  // Required fields always, optional ones only when present.
  nlohmann::ordered_json toJson() const;
  bool operator==(const MessageModel&) const = default;
};

}  // namespace corvane
