#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cloud/CompanyDataModel.h"

namespace corvane {

// The answer of the company-information request.
struct CompanyModel {
  bool success = false;
  std::vector<std::string> errors;
  CompanyDataModel data;
  static constexpr const char* typeName = "CompanyModel";
  // None when a required key is missing or a value has the wrong type; `error` then says which.
  static std::optional<CompanyModel> fromJson(const nlohmann::json& object,
                                              std::string* error = nullptr);
  // Required fields always, optional ones only when present.
  nlohmann::ordered_json toJson() const;
  bool operator==(const CompanyModel&) const = default;
};

}  // namespace corvane
