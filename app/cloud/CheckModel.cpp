#include "cloud/CheckModel.h"

#include "cloud/JsonRecordReader.h"

namespace corvane {

std::optional<CheckModel> CheckModel::fromJson(const nlohmann::json& object, std::string* error) {
  CheckModel record;
  JsonRecordReader reader(object, typeName);
  reader.boolean("success", record.success);
  reader.strings("errors", record.errors);
  if (const auto* data = reader.object("data")) {
    std::string nested;
    auto parsed = CheckDataModel::fromJson(*data, &nested);
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

nlohmann::ordered_json CheckModel::toJson() const {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  out["success"] = success;
  out["errors"] = errors;
  out["data"] = data.toJson();
  return out;
}

}  // namespace corvane
