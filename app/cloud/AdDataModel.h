#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// One advertisement of a version-check answer.
struct AdDataModel {
  std::string description;
  std::string uri;  // the picture's path on the storage service
  std::optional<std::string> targetUrl;
  int64_t entryType = 0;  // the slot: the raw value of AdType
  static constexpr const char* typeName = "AdDataModel";
  // None when a required key is missing or a value has the wrong type; `error` then says which.
  static std::optional<AdDataModel> fromJson(const nlohmann::json& object,
                                             std::string* error = nullptr);
  // Required fields always, optional ones only when present.
  nlohmann::ordered_json toJson() const;
  bool operator==(const AdDataModel&) const = default;
};

}  // namespace corvane
