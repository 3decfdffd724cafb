#pragma once

#include <string>
#include <vector>

namespace updater {

// Text operations of the updater.
class StringExtension {
 public:
  // The capture groups of the first match of `pattern` in `text`; empty when nothing matches
  // or the pattern does not compile.
  static std::vector<std::string> captures(const std::string& text, const std::string& pattern);
  // The decimal vendor and product ids of a model id "UVC Camera VendorID_<n> ProductID_<n>";
  // two empty texts when it is not of that form.
  static std::pair<std::string, std::string> vendorProductIds(const std::string& modelID);
};

}  // namespace updater
