#pragma once

#include <optional>
#include <string>

#include "cloud/CompanyModel.h"

namespace corvane {

// The company's contact and manual pages, with the camera's customer identifier as a query item.
class CompanyLink {
 public:
  enum class Page { contact, manual };

  // The page's link by staging; none without a record or with an empty link.
  static std::optional<std::string> pageLink(const std::optional<CompanyModel>& company, Page page,
                                             bool isStaging);
  // The link with "customer=<identifier>" appended, percent-encoded, after "?" or, when the link
  // has a query already, "&". An identifier empty after trimming leaves the link as it is.
  static std::string withCustomer(const std::string& link, const std::string& customerIdentifier);
};

}  // namespace corvane
