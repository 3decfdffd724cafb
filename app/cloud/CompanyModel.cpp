#include "cloud/CompanyModel.h"

#include "cloud/JsonRecordReader.h"

namespace corvane {

std::optional<CompanyModel> CompanyModel::fromJson(const nlohmann::json& object,
                                                   std::string* error) {
  return JsonRecordReader::readEnvelope<CompanyModel, CompanyDataModel>(object, typeName, error);
}

nlohmann::ordered_json CompanyModel::toJson() const {
  return JsonRecordReader::writeEnvelope(*this);
}

}  // namespace corvane
