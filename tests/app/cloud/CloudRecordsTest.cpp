#include <gtest/gtest.h>

#include "cloud/CheckModel.h"
#include "cloud/CompanyModel.h"
#include "cloud/MessageModel.h"

namespace corvane {
namespace {

using Json = nlohmann::json;

Json checkAnswer() {
  return Json::parse(R"({
    "success": true, "errors": [],
    "data": {"hasNewVersion": true, "version": "2.1.0", "hasNewFwVersion": false,
             "fwVersion": "1.0.7",
             "advertisement": {"description": "Spring", "uri": "ads/spring.PNG",
                               "targetUrl": "https://example.com/ad", "entryType": 1}},
    "unknownKey": 5})");
}

Json companyAnswer() {
  return Json::parse(R"({
    "success": true, "errors": ["e1"],
    "data": {"aboutUrl": "a", "kestovaUrl": "k", "name": "n", "no": "1",
             "vendor": ["v"], "product": ["p"], "redirectUrl": "r", "downloadUrl": "d",
             "contactUrl": "c", "docUrl": "doc", "stagingDownloadUrl": "sd",
             "stagingContactUrl": "sc", "stagingDocUrl": "sdoc", "isActive": true,
             "_id": "x1", "updateTime": "2024-03-01T10:00:00.000Z",
             "createTime": "yesterday, roughly", "vender": ["w"], "__v": 3,
             "notification": {"_id": "n1", "content": "hello", "date": "2024/13/45"}}})");
}

TEST(CloudRecords, VersionAnswerReadsEveryFieldAndIgnoresUnknownKeys) {
  std::string error;
  auto check = CheckModel::fromJson(checkAnswer(), &error);
  ASSERT_TRUE(check) << error;
  EXPECT_TRUE(check->success);
  EXPECT_TRUE(check->errors.empty());
  EXPECT_TRUE(check->data.hasNewVersion);
  EXPECT_EQ(check->data.version, "2.1.0");
  EXPECT_FALSE(check->data.hasNewFwVersion);
  EXPECT_EQ(check->data.fwVersion, "1.0.7");
  ASSERT_TRUE(check->data.advertisement);
  EXPECT_EQ(check->data.advertisement->uri, "ads/spring.PNG");
  EXPECT_EQ(check->data.advertisement->targetUrl, "https://example.com/ad");
  EXPECT_EQ(check->data.advertisement->entryType, 1);
}

TEST(CloudRecords, AdvertisementMissingOrNullReadsWithoutOne) {
  for (bool asNull : {false, true}) {
    Json answer = checkAnswer();
    if (asNull)
      answer["data"]["advertisement"] = nullptr;
    else
      answer["data"].erase("advertisement");
    auto check = CheckModel::fromJson(answer);
    ASSERT_TRUE(check);
    EXPECT_FALSE(check->data.advertisement);
  }
}

TEST(CloudRecords, AdvertisementWithoutTargetReadsButWithoutRequiredKeysFailsTheWhole) {
  Json answer = checkAnswer();
  answer["data"]["advertisement"].erase("targetUrl");
  auto check = CheckModel::fromJson(answer);
  ASSERT_TRUE(check);
  EXPECT_FALSE(check->data.advertisement->targetUrl);

  for (const char* key : {"uri", "description", "entryType"}) {
    Json broken = checkAnswer();
    broken["data"]["advertisement"].erase(key);
    std::string error;
    EXPECT_FALSE(CheckModel::fromJson(broken, &error)) << key;
    EXPECT_NE(error.find(key), std::string::npos) << error;
  }
  Json asArray = checkAnswer();
  asArray["data"]["advertisement"] = Json::array({checkAnswer()["data"]["advertisement"]});
  EXPECT_FALSE(CheckModel::fromJson(asArray));
}

TEST(CloudRecords, RequiredKeysHaveNoDefaults) {
  for (const char* key : {"success", "errors", "data"}) {
    Json answer = checkAnswer();
    answer.erase(key);
    EXPECT_FALSE(CheckModel::fromJson(answer)) << key;
  }
  Json nullVersion = checkAnswer();
  nullVersion["data"]["version"] = nullptr;
  EXPECT_FALSE(CheckModel::fromJson(nullVersion));
  Json boolAsNumber = checkAnswer();
  boolAsNumber["data"]["hasNewVersion"] = 1;
  EXPECT_FALSE(CheckModel::fromJson(boolAsNumber));
  Json errorNumber = checkAnswer();
  errorNumber["errors"] = Json::array({"x", 2});
  EXPECT_FALSE(CheckModel::fromJson(errorNumber));
  EXPECT_FALSE(CheckModel::fromJson(Json::array()));
  EXPECT_FALSE(CheckModel::fromJson(Json("text")));
}

TEST(CloudRecords, CompanyAnswerKeepsTextsAsSent) {
  std::string error;
  auto company = CompanyModel::fromJson(companyAnswer(), &error);
  ASSERT_TRUE(company) << error;
  EXPECT_EQ(company->errors, std::vector<std::string>{"e1"});
  const auto& data = company->data;
  EXPECT_EQ(data.stagingDownloadUrl, "sd");
  EXPECT_EQ(data.updateTime, "2024-03-01T10:00:00.000Z");
  EXPECT_EQ(data.createTime, "yesterday, roughly");
  EXPECT_EQ(data.vender, std::vector<std::string>{"w"});
  EXPECT_EQ(data.revision, 3);
  ASSERT_TRUE(data.notification);
  EXPECT_EQ(data.notification->date, "2024/13/45");
}

TEST(CloudRecords, CompanyAnswerEdgeCases) {
  Json venderOnly = companyAnswer();
  venderOnly["data"].erase("vendor");
  EXPECT_FALSE(CompanyModel::fromJson(venderOnly));

  Json revisionText = companyAnswer();
  revisionText["data"]["__v"] = "3";
  EXPECT_FALSE(CompanyModel::fromJson(revisionText));

  Json noErrors = companyAnswer();
  noErrors.erase("errors");
  EXPECT_FALSE(CompanyModel::fromJson(noErrors));

  Json badNotice = companyAnswer();
  badNotice["data"]["notification"]["content"] = 7;
  EXPECT_FALSE(CompanyModel::fromJson(badNotice));

  Json bare = companyAnswer();
  for (const char* key :
       {"isActive", "_id", "updateTime", "createTime", "vender", "__v", "notification"})
    bare["data"].erase(key);
  auto company = CompanyModel::fromJson(bare);
  ASSERT_TRUE(company);
  EXPECT_FALSE(company->data.notification);
  EXPECT_FALSE(company->data.revision);
}

TEST(CloudRecords, IntegersOutsideTheSignedRangeAreRefusedNotWrapped) {
  struct Case {
    const char* number;
    bool ok;
    int64_t value;
  } cases[] = {{"18446744073709551615", false, 0},  // would read as -1
               {"9223372036854775808", false, 0},   // would read as the smallest value
               {"9223372036854775807", true, INT64_MAX},
               {"-9223372036854775808", true, INT64_MIN},
               {"9.3e18", false, 0},
               {"3.0", true, 3},
               {"3.5", false, 0}};
  for (const Case& c : cases) {
    Json answer = companyAnswer();
    answer["data"]["__v"] = Json::parse(c.number);
    std::string error;
    auto company = CompanyModel::fromJson(answer, &error);
    EXPECT_EQ(bool(company), c.ok) << c.number;
    if (company && c.ok) {
      ASSERT_TRUE(company->data.revision);
      EXPECT_EQ(*company->data.revision, c.value) << c.number;
    }
    if (!c.ok) {
      EXPECT_NE(error.find("is not an integer"), std::string::npos) << error;
    }
  }
}

TEST(CloudRecords, WritingGivesTheSameKeysBackAndOmitsAbsentOptionals) {
  auto check = CheckModel::fromJson(checkAnswer());
  ASSERT_TRUE(check);
  Json written = Json::parse(check->toJson().dump());
  Json expected = checkAnswer();
  expected.erase("unknownKey");
  EXPECT_EQ(written, expected);
  EXPECT_EQ(CheckModel::fromJson(written), check);

  auto company = CompanyModel::fromJson(companyAnswer());
  ASSERT_TRUE(company);
  EXPECT_EQ(Json::parse(company->toJson().dump()), companyAnswer());

  Json noAd = checkAnswer();
  noAd["data"]["advertisement"].erase("targetUrl");
  auto ad = CheckModel::fromJson(noAd)->data.advertisement;
  EXPECT_FALSE(ad->toJson().contains("targetUrl"));
}

TEST(CloudRecords, MessageNeedsItsText) {
  EXPECT_EQ(MessageModel::fromJson(Json{{"message", "Not found"}})->message, "Not found");
  EXPECT_FALSE(MessageModel::fromJson(Json{{"msg", "Not found"}}));
  EXPECT_FALSE(MessageModel::fromJson(Json{{"message", 404}}));
}

}  // namespace
}  // namespace corvane
