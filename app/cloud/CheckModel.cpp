#include "cloud/CheckModel.h"

#include "cloud/JsonRecordReader.h"

namespace corvane {

std::optional<CheckModel> CheckModel::fromJson(const nlohmann::json& object, std::string* error) {
  return JsonRecordReader::readEnvelope<CheckModel, CheckDataModel>(object, typeName, error);
}

nlohmann::ordered_json CheckModel::toJson() const { return JsonRecordReader::writeEnvelope(*this); }

}  // namespace corvane
