#include "cloud/MessageModel.h"

#include "cloud/JsonRecordReader.h"

namespace corvane {

std::optional<MessageModel> MessageModel::fromJson(const nlohmann::json& object,
                                                   std::string* error) {
  MessageModel record;
  JsonRecordReader reader(object, typeName);
  reader.string("message", record.message);
  if (!reader.ok()) {
    if (error) *error = reader.error();
    return std::nullopt;
  }
  return record;
}

nlohmann::ordered_json MessageModel::toJson() const {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  out["message"] = message;
  return out;
}

}  // namespace corvane
