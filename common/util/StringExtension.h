#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// Operations on text that the program's managers share.
class StringExtension {
 public:
  // A failure as the platform reports one: domain, code and the values it concerns.
  struct Error {
    std::string domain;
    int code = 0;
    std::map<std::string, std::string> userInfo;
  };

  struct VendorProductID {
    int64_t vendorID = 0;
    int64_t productID = 0;
  };

  // Either the two ids or the error.
  struct VendorProductResult {
    std::optional<VendorProductID> value;
    std::optional<Error> error;
    explicit operator bool() const { return value.has_value(); }
  };

  static constexpr const char* errorDomain = "Extensions/StringExtension";
  static constexpr int parseErrorCode = 20;

  // The USB vendor and product ids, in decimal, from a camera's model identifier
  // "UVC Camera VendorID_<n> ProductID_<n>". Anything else, or a number beyond 64 bits, is the
  // error with code 20 and the text under "query".
  static VendorProductResult parseVendorProductID(const std::string& modelID);

  // The text cut to at most `maxBytes`, at a character's start, followed by what was left out
  // and the whole size ("... (N bytes more, T bytes in all)"): a log line shows the start of a
  // value however large the value is.
  static std::string bounded(std::string text, size_t maxBytes);
  // The same for a text that is shown through `shown` (an escaping that makes bytes longer,
  // "\x00" for a zero byte): the shown start is at most `maxBytes`, and the sizes named are the
  // text's own.
  static std::string bounded(const std::string& text, size_t maxBytes,
                             const std::function<std::string(std::string_view)>& shown);
};

}  // namespace corvane
