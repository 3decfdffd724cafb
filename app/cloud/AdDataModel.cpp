#include "cloud/AdDataModel.h"

#include "cloud/JsonRecordReader.h"

namespace corvane {

std::optional<AdDataModel> AdDataModel::fromJson(const nlohmann::json& object, std::string* error) {
  AdDataModel record;
  JsonRecordReader reader(object, typeName);
  reader.string("description", record.description);
  reader.string("uri", record.uri);
  reader.optionalString("targetUrl", record.targetUrl);
  reader.integer("entryType", record.entryType);
  if (!reader.ok()) {
    if (error) *error = reader.error();
    return std::nullopt;
  }
  return record;
}

nlohmann::ordered_json AdDataModel::toJson() const {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  out["description"] = description;
  out["uri"] = uri;
  if (targetUrl) out["targetUrl"] = *targetUrl;
  out["entryType"] = entryType;
  return out;
}

}  // namespace corvane
