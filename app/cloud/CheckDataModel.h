#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cloud/AdDataModel.h"

namespace corvane {

// The version information of a version-check answer.
struct CheckDataModel {
  bool hasNewVersion = false;
  std::string version;
  bool hasNewFwVersion = false;
  std::string fwVersion;
  std::optional<AdDataModel> advertisement;
  static constexpr const char* typeName = "CheckDataModel";
  // None when a required key is missing or a value has the wrong type; `error` then says which.
  static std::optional<CheckDataModel> fromJson(const nlohmann::json& object,
                                                std::string* error = nullptr);
  // Required fields always, optional ones only when present.
  nlohmann::ordered_json toJson() const;
  bool operator==(const CheckDataModel&) const = default;
};

}  // namespace corvane
