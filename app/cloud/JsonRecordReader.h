#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// Strict reading of one JSON object into a record: a required key must be there with the
// right type, an optional one may be missing or null. The first fault is kept as text and every
// later read fails too, so a record is read all or nothing.
class JsonRecordReader {
 public:
  JsonRecordReader(const nlohmann::json& object, std::string context);

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  void fail(const std::string& message);

  bool boolean(const char* key, bool& out);
  bool string(const char* key, std::string& out);
  bool integer(const char* key, int64_t& out);
  bool strings(const char* key, std::vector<std::string>& out);
  bool optionalString(const char* key, std::optional<std::string>& out);
  bool optionalInteger(const char* key, std::optional<int64_t>& out);
  bool optionalBoolean(const char* key, std::optional<bool>& out);
  bool optionalStrings(const char* key, std::optional<std::vector<std::string>>& out);
  // The nested object under `key`, or nullptr (with the reason kept) when it is not one.
  const nlohmann::json* object(const char* key);
  // The nested object, or nullptr when the key is missing or null; a fault when it is another type.
  const nlohmann::json* optionalObject(const char* key);

  // Nested records read with their own reader hand their fault up with the key in front.
  void failNested(const char* key, const std::string& nestedError);

  // The cloud's answer envelope {"success", "errors", "data"} with `data` read as Data.
  template <typename Envelope, typename Data>
  static std::optional<Envelope> readEnvelope(const nlohmann::json& object, const char* typeName,
                                              std::string* error) {
    Envelope record;
    JsonRecordReader reader(object, typeName);
    reader.boolean("success", record.success);
    reader.strings("errors", record.errors);
    if (const auto* data = reader.object("data")) {
      std::string nested;
      auto parsed = Data::fromJson(*data, &nested);
      if (parsed)
        record.data = std::move(*parsed);
      else
        reader.failNested("data", nested);
    }
    if (!reader.ok()) {
      if (error) *error = reader.error();
      return std::nullopt;
    }
    return record;
  }
  template <typename Envelope>
  static nlohmann::ordered_json writeEnvelope(const Envelope& record) {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    out["success"] = record.success;
    out["errors"] = record.errors;
    out["data"] = record.data.toJson();
    return out;
  }

 private:
  const nlohmann::json* find(const char* key, bool required);

  const nlohmann::json& object_;
  std::string context_;
  std::string error_;
};

}  // namespace corvane
