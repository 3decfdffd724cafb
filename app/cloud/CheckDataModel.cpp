#include "cloud/CheckDataModel.h"

#include "cloud/JsonRecordReader.h"

namespace corvane {

std::optional<CheckDataModel> CheckDataModel::fromJson(const nlohmann::json& object,
                                                       std::string* error) {
  CheckDataModel record;
  JsonRecordReader reader(object, typeName);
  reader.boolean("hasNewVersion", record.hasNewVersion);
  reader.string("version", record.version);
  reader.boolean("hasNewFwVersion", record.hasNewFwVersion);
  reader.string("fwVersion", record.fwVersion);
  if (const auto* ad = reader.optionalObject("advertisement")) {
    std::string nested;
    record.advertisement = AdDataModel::fromJson(*ad, &nested);
    if (!record.advertisement) reader.failNested("advertisement", nested);
  }
  if (!reader.ok()) {
    if (error) *error = reader.error();
    return std::nullopt;
  }
  return record;
}

nlohmann::ordered_json CheckDataModel::toJson() const {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  out["hasNewVersion"] = hasNewVersion;
  out["version"] = version;
  out["hasNewFwVersion"] = hasNewFwVersion;
  out["fwVersion"] = fwVersion;
  if (advertisement) out["advertisement"] = advertisement->toJson();
  return out;
}

}  // namespace corvane
