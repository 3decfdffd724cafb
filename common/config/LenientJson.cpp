#include "config/LenientJson.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "BoundedFile.h"

namespace corvane {

const size_t LenientJson::kMaxFileBytes = platform::BoundedFile::kSettingsBytes;

bool LenientJson::readFile(const std::string& path, Json& out, std::string* error,
                           size_t maxBytes) {
  std::string text;
  return readText(path, text, error, maxBytes) && parse(text, out, error);
}

bool LenientJson::readText(const std::string& path, std::string& out, std::string* error,
                           size_t maxBytes) {
  if (path.empty()) {
    if (error) *error = "no file";
    return false;
  }
  return platform::BoundedFile::read(path, maxBytes, out, error);
}

bool LenientJson::nestedWithin(std::string_view text, int maxDepth) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > maxDepth) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

bool LenientJson::parse(const std::string& text, Json& out, std::string* error) {
  if (!nestedWithin(text)) {
    if (error) *error = "the text nests deeper than " + std::to_string(kMaxDepth) + " levels";
    return false;
  }
  try {
    Json parsed = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (parsed.is_discarded()) {
      if (error) *error = "the text is not valid JSON";
      return false;
    }
    out = std::move(parsed);
    return true;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
}

std::optional<bool> LenientJson::toBoolean(const Json& value) {
  if (value.is_boolean()) return value.get<bool>();
  if (value.is_number()) {
    auto n = toInteger(value);
    if (n && (*n == 0 || *n == 1)) return *n == 1;
  }
  return std::nullopt;
}

std::optional<int64_t> LenientJson::toInteger(const Json& value) {
  if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<int64_t>();
  if (value.is_number_unsigned()) {
    uint64_t u = value.get<uint64_t>();
    if (u > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
    return static_cast<int64_t>(u);
  }
  if (value.is_number_float()) {
    double d = value.get<double>();
    // Whole and inside the signed 64-bit range (2^63 itself is not).
    if (!std::isfinite(d) || std::trunc(d) != d) return std::nullopt;
    if (d < -9223372036854775808.0 || d >= 9223372036854775808.0) return std::nullopt;
    return static_cast<int64_t>(d);
  }
  return std::nullopt;
}

std::optional<double> LenientJson::toNumber(const Json& value) {
  if (!value.is_number()) return std::nullopt;
  return value.get<double>();
}

std::optional<std::string> LenientJson::toString(const Json& value) {
  if (!value.is_string()) return std::nullopt;
  return value.get<std::string>();
}

std::optional<std::vector<std::string>> LenientJson::toStringList(const Json& value) {
  if (!value.is_array()) return std::nullopt;
  std::vector<std::string> list;
  list.reserve(value.size());
  for (const auto& element : value) {
    if (!element.is_string()) return std::nullopt;
    list.push_back(element.get<std::string>());
  }
  return list;
}

const LenientJson::Json* LenientJson::member(const Json& object, const char* key) {
  if (!object.is_object() || !key) return nullptr;
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return nullptr;
  return &*it;
}

std::optional<bool> LenientJson::boolean(const Json& object, const char* key) {
  const Json* v = member(object, key);
  return v ? toBoolean(*v) : std::nullopt;
}

std::optional<int64_t> LenientJson::integer(const Json& object, const char* key) {
  const Json* v = member(object, key);
  return v ? toInteger(*v) : std::nullopt;
}

std::optional<double> LenientJson::number(const Json& object, const char* key) {
  const Json* v = member(object, key);
  return v ? toNumber(*v) : std::nullopt;
}

std::optional<std::string> LenientJson::string(const Json& object, const char* key) {
  const Json* v = member(object, key);
  return v ? toString(*v) : std::nullopt;
}

std::optional<std::vector<std::string>> LenientJson::stringList(const Json& object,
                                                                const char* key) {
  const Json* v = member(object, key);
  return v ? toStringList(*v) : std::nullopt;
}

std::string LenientJson::compact(const OrderedJson& value) {
  try {
    return value.dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace);
  } catch (const std::exception&) {
    return {};
  }
}

double LenientJson::sixDecimals(double value) {
  if (!std::isfinite(value)) return value;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%f", value);
  return std::strtod(buf, nullptr);
}

std::string LenientJson::shortestText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buf[400];
  // Plain decimals between 1e-4 and 1e16, exponents outside, as numbers are usually shown.
  double magnitude = std::fabs(value);
  bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 1e16);
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value,
                                 plain ? std::chars_format::fixed : std::chars_format::scientific);
  if (ec != std::errc()) return std::to_string(value);
  std::string text(buf, end);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

}  // namespace corvane
