#include "cloud/CompanyDataModel.h"

#include "cloud/JsonRecordReader.h"

namespace corvane {

std::optional<CompanyDataModel> CompanyDataModel::fromJson(const nlohmann::json& object,
                                                           std::string* error) {
  CompanyDataModel record;
  JsonRecordReader reader(object, typeName);
  reader.string("aboutUrl", record.aboutUrl);
  reader.string("kestovaUrl", record.kestovaUrl);
  reader.string("name", record.name);
  reader.string("no", record.no);
  reader.strings("vendor", record.vendor);
  reader.strings("product", record.product);
  reader.string("redirectUrl", record.redirectUrl);
  reader.string("downloadUrl", record.downloadUrl);
  reader.string("contactUrl", record.contactUrl);
  reader.string("docUrl", record.docUrl);
  reader.string("stagingDownloadUrl", record.stagingDownloadUrl);
  reader.string("stagingContactUrl", record.stagingContactUrl);
  reader.string("stagingDocUrl", record.stagingDocUrl);
  reader.optionalBoolean("isActive", record.isActive);
  reader.optionalString("_id", record._id);
  reader.optionalString("updateTime", record.updateTime);
  reader.optionalString("createTime", record.createTime);
  reader.optionalStrings("vender", record.vender);
  reader.optionalInteger("__v", record.revision);
  if (const auto* notice = reader.optionalObject("notification")) {
    std::string nested;
    record.notification = NotificationModel::fromJson(*notice, &nested);
    if (!record.notification) reader.failNested("notification", nested);
  }
  if (!reader.ok()) {
    if (error) *error = reader.error();
    return std::nullopt;
  }
  return record;
}

nlohmann::ordered_json CompanyDataModel::toJson() const {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  out["aboutUrl"] = aboutUrl;
  out["kestovaUrl"] = kestovaUrl;
  out["name"] = name;
  out["no"] = no;
  out["vendor"] = vendor;
  out["product"] = product;
  out["redirectUrl"] = redirectUrl;
  out["downloadUrl"] = downloadUrl;
  out["contactUrl"] = contactUrl;
  out["docUrl"] = docUrl;
  out["stagingDownloadUrl"] = stagingDownloadUrl;
  out["stagingContactUrl"] = stagingContactUrl;
  out["stagingDocUrl"] = stagingDocUrl;
  if (isActive) out["isActive"] = *isActive;
  if (_id) out["_id"] = *_id;
  if (updateTime) out["updateTime"] = *updateTime;
  if (createTime) out["createTime"] = *createTime;
  if (vender) out["vender"] = *vender;
  if (revision) out["__v"] = *revision;
  if (notification) out["notification"] = notification->toJson();
  return out;
}

}  // namespace corvane
