#include "cloud/JsonRecordReader.h"

#include "config/LenientJson.h"

namespace corvane {

JsonRecordReader::JsonRecordReader(const nlohmann::json& object, std::string context)
    : object_(object), context_(std::move(context)) {
  if (!object_.is_object()) fail("not a JSON object");
}

void JsonRecordReader::fail(const std::string& message) {
  if (error_.empty()) error_ = context_ + ": " + message;
}

void JsonRecordReader::failNested(const char* key, const std::string& nestedError) {
  fail(std::string("\"") + key + "\": " + nestedError);
}

const nlohmann::json* JsonRecordReader::find(const char* key, bool required) {
  if (!ok()) return nullptr;
  auto it = object_.find(key);
  if (it == object_.end() || it->is_null()) {
    if (required) fail(std::string("missing required key \"") + key + "\"");
    return nullptr;
  }
  return &*it;
}

bool JsonRecordReader::boolean(const char* key, bool& out) {
  const auto* value = find(key, true);
  if (!value) return false;
  if (!value->is_boolean()) {
    fail(std::string("\"") + key + "\" is not a Boolean");
    return false;
  }
  out = value->get<bool>();
  return true;
}

bool JsonRecordReader::string(const char* key, std::string& out) {
  const auto* value = find(key, true);
  if (!value) return false;
  if (!value->is_string()) {
    fail(std::string("\"") + key + "\" is not a string");
    return false;
  }
  out = value->get<std::string>();
  return true;
}

bool JsonRecordReader::integer(const char* key, int64_t& out) {
  const auto* value = find(key, true);
  if (!value) return false;
  // Whole numbers only (3.0 is 3, 3.5 is not), and only inside the signed 64-bit range: an
  // unsigned 2^64 - 1 must not come out as -1.
  std::optional<int64_t> n = LenientJson::toInteger(*value);
  if (!n) {
    fail(std::string("\"") + key + "\" is not an integer");
    return false;
  }
  out = *n;
  return true;
}

bool JsonRecordReader::strings(const char* key, std::vector<std::string>& out) {
  const auto* value = find(key, true);
  if (!value) return false;
  if (!value->is_array()) {
    fail(std::string("\"") + key + "\" is not an array");
    return false;
  }
  std::vector<std::string> list;
  for (const auto& element : *value) {
    if (!element.is_string()) {
      fail(std::string("\"") + key + "\" holds a value that is not a string");
      return false;
    }
    list.push_back(element.get<std::string>());
  }
  out = std::move(list);
  return true;
}

bool JsonRecordReader::optionalString(const char* key, std::optional<std::string>& out) {
  out.reset();
  if (!ok() || !find(key, false)) return ok();
  std::string value;
  if (!string(key, value)) return false;
  out = std::move(value);
  return true;
}

bool JsonRecordReader::optionalInteger(const char* key, std::optional<int64_t>& out) {
  out.reset();
  if (!ok() || !find(key, false)) return ok();
  int64_t value = 0;
  if (!integer(key, value)) return false;
  out = value;
  return true;
}

bool JsonRecordReader::optionalBoolean(const char* key, std::optional<bool>& out) {
  out.reset();
  if (!ok() || !find(key, false)) return ok();
  bool value = false;
  if (!boolean(key, value)) return false;
  out = value;
  return true;
}

bool JsonRecordReader::optionalStrings(const char* key,
                                       std::optional<std::vector<std::string>>& out) {
  out.reset();
  if (!ok() || !find(key, false)) return ok();
  std::vector<std::string> value;
  if (!strings(key, value)) return false;
  out = std::move(value);
  return true;
}

const nlohmann::json* JsonRecordReader::object(const char* key) {
  const auto* value = find(key, true);
  if (value && !value->is_object()) {
    fail(std::string("\"") + key + "\" is not an object");
    return nullptr;
  }
  return value;
}

const nlohmann::json* JsonRecordReader::optionalObject(const char* key) {
  const auto* value = find(key, false);
  if (value && !value->is_object()) {
    fail(std::string("\"") + key + "\" is not an object");
    return nullptr;
  }
  return value;
}

}  // namespace corvane
