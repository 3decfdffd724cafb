#include "cloud/NotificationModel.h"

#include "cloud/JsonRecordReader.h"

namespace corvane {

std::optional<NotificationModel> NotificationModel::fromJson(const nlohmann::json& object,
                                                             std::string* error) {
  NotificationModel record;
  JsonRecordReader reader(object, typeName);
  reader.optionalString("_id", record._id);
  reader.optionalString("content", record.content);
  reader.optionalString("date", record.date);
  if (!reader.ok()) {
    if (error) *error = reader.error();
    return std::nullopt;
  }
  return record;
}

nlohmann::ordered_json NotificationModel::toJson() const {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  if (_id) out["_id"] = *_id;
  if (content) out["content"] = *content;
  if (date) out["date"] = *date;
  return out;
}

}  // namespace corvane
