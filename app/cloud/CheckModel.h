#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cloud/CheckDataModel.h"

namespace corvane {

// The answer of the version check.
struct CheckModel {
  bool success = false;
  std::vector<std::string> errors;
  CheckDataModel data;
  static constexpr const char* typeName = "CheckModel";
  // None when a required key is missing or a value has the wrong type; `error` then says which.
  static std::optional<CheckModel> fromJson(const nlohmann::json& object,
                                            std::string* error = nullptr);
  // Required fields always, optional ones only when present.
  nlohmann::ordered_json toJson() const;
  bool operator==(const CheckModel&) const = default;
};

}  // namespace corvane
