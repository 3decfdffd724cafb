#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cloud/NotificationModel.h"

namespace corvane {

// The company record of a company-information answer.
struct CompanyDataModel {
  std::string aboutUrl;
  std::string kestovaUrl;
  std::string name;
  std::string no;
  std::vector<std::string> vendor;
  std::vector<std::string> product;
  std::string redirectUrl;
  std::string downloadUrl;
  std::string contactUrl;
  std::string docUrl;
  std::string stagingDownloadUrl;
  std::string stagingContactUrl;
  std::string stagingDocUrl;
  std::optional<bool> isActive;
  std::optional<std::string> _id;
  std::optional<std::string> updateTime;  // the service's own text
  std::optional<std::string> createTime;
  std::optional<std::vector<std::string>> vender;  // a second list, spelled so by the service
  std::optional<int64_t> revision;                 // "__v", the service's record revision
  std::optional<NotificationModel> notification;
  static constexpr const char* typeName = "CompanyDataModel";
  // None when a required key is missing or a value has the wrong type; `error` then says which.
  static std::optional<CompanyDataModel> fromJson(const nlohmann::json& object,
                                                  std::string* error = nullptr);
  // Required fields always, optional ones only when present.
  nlohmann::ordered_json toJson() const;
  bool operator==(const CompanyDataModel&) const = default;
};

}  // namespace corvane
