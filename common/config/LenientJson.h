#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The one reader and writer of the settings JSON. Reading is lenient: every key is optional,
// and a value whose JSON type does not convert to the wanted type counts as missing. A number
// becomes an integer only when it is whole, and a Boolean only when it is 0 or 1. Writing is
// compact, with keys in insertion order. Nothing here throws.
class LenientJson {
 public:
  using Json = nlohmann::json;
  using OrderedJson = nlohmann::ordered_json;

  // Reads the whole file and parses it; false, with the reason in `error`, when the file cannot
  // be read or is not JSON. The empty path always fails. The file is read through BoundedFile:
  // one that is not a regular file or holds more than `maxBytes` is refused.
  static bool readFile(const std::string& path, Json& out, std::string* error = nullptr,
                       size_t maxBytes = kMaxFileBytes);
  // The whole file as bytes; false, with the reason, when it cannot be read.
  static bool readText(const std::string& path, std::string& out, std::string* error = nullptr,
                       size_t maxBytes = kMaxFileBytes);
  // A settings file's bound (BoundedFile::kSettingsBytes).
  static const size_t kMaxFileBytes;
  // Refuses, like text that is not JSON, a value nested deeper than kMaxDepth.
  static bool parse(const std::string& text, Json& out, std::string* error = nullptr);

  // How deep arrays and objects may nest in anything read from a file or the network. Walking
  // and printing a value recurse once per level, so a hostile body nested thousands deep would
  // overflow the stack; no settings file or cloud record comes near this.
  static constexpr int kMaxDepth = 64;
  // Whether the text's arrays and objects nest no deeper than maxDepth, found by one pass over
  // the text (strings skipped) before anything is parsed. Says nothing of whether it is JSON.
  static bool nestedWithin(std::string_view text, int maxDepth = kMaxDepth);

  // A value converted to the wanted type, or none.
  static std::optional<bool> toBoolean(const Json& value);
  static std::optional<int64_t> toInteger(const Json& value);
  static std::optional<double> toNumber(const Json& value);
  static std::optional<std::string> toString(const Json& value);
  static std::optional<std::vector<std::string>> toStringList(const Json& value);

  // The member `key` of an object, converted; none when `object` is not an object, the key is
  // absent or null, or the value does not convert.
  static const Json* member(const Json& object, const char* key);
  static std::optional<bool> boolean(const Json& object, const char* key);
  static std::optional<int64_t> integer(const Json& object, const char* key);
  static std::optional<double> number(const Json& object, const char* key);
  static std::optional<std::string> string(const Json& object, const char* key);
  static std::optional<std::vector<std::string>> stringList(const Json& object, const char* key);

  // Compact text; invalid UTF-8 in a string is replaced rather than failing. A number that is
  // not finite is written as null (which a reader then treats as missing).
  static std::string compact(const OrderedJson& value);
  // The value printed with six digits after the point and read back as that decimal
  // (1/3 -> 0.333333, 0.35 -> 0.35).
  static double sixDecimals(double value);
  // The shortest decimal text that reads back to the same number, with ".0" on whole numbers
  // (2.0, 0.0001, 1e-05).
  static std::string shortestText(double value);
};

}  // namespace corvane
