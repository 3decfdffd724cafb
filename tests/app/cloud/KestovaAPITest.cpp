#include <gtest/gtest.h>

#include "CloudTestRig.h"
#include "ManualClock.h"
#include "cloud/CheckModel.h"
#include "cloud/CompanyModel.h"
#include "cloud/UserManager.h"

namespace corvane {
namespace {

using Json = nlohmann::json;
using Reply = testsupport::LoopbackHttpServer::Reply;
using Server = testsupport::LoopbackHttpServer;

const char* kCheckBody =
    R"({"success":true,"errors":[],"data":{"hasNewVersion":false,"version":"1.0",)"
    R"("hasNewFwVersion":true,"fwVersion":"2.0"}})";

// Sends one call and waits for whichever handler runs; counts both so a double call shows.
template <typename T>
struct Call {
  std::optional<T> record;
  std::optional<std::string> error;
  int calls = 0;

  void run(CloudTestRig& rig, const KestovaAPIRouter& route) {
    rig.manager->apiCall<T>(
        route, [this](T value) { record = std::move(value), ++calls; },
        [this](const std::string& message) { error = message, ++calls; });
  }
  bool finished() const { return calls > 0; }
};

class KestovaAPITest : public ::testing::Test {
 protected:
  CloudTestRig rig;

  // Sends a route to a server answering 200 with a version answer; returns what arrived.
  Server::Request sendAndCapture(const KestovaAPIRouter& route) {
    size_t before = rig.server.requestCount();
    Call<CheckModel> call;
    call.run(rig, route);
    EXPECT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
    EXPECT_EQ(rig.server.requestCount(), before + 1);
    return rig.server.requests().back();
  }
};

TEST_F(KestovaAPITest, EveryRouteHasItsMethodPathAndBody) {
  struct Expectation {
    KestovaAPIRouter route;
    std::string method;
    std::string target;
    std::optional<Json> body;
  };
  const std::string mac = "a4:83:e7:01:02:03";
  std::vector<Expectation> table = {
      {KestovaAPIRouter::versionCheck(1, 0, "1.2.0", "3.4", "7", "Linux 6.1.0", "0x2bd9", "0x0011"),
       "POST", "/2/version/check",
       Json{{"action", 1},
            {"length", 0},
            {"version", "1.2.0"},
            {"fwVersion", "3.4"},
            {"companyNo", "7"},
            {"os", "Linux 6.1.0"},
            {"vendor", "0x2bd9"},
            {"product", "0x0011"},
            {"customer", "CUST-0042"},
            {"sn", "1a2b3c"},
            {"lang", "en-US"}}},
      {KestovaAPIRouter::login("ann", "secret"), "POST", "/app/1/login",
       Json{{"username", "ann"}, {"password", "secret"}, {"device", "studio"}, {"mac", mac}}},
      {KestovaAPIRouter::fbLogin("FBTOKEN"), "POST",
       "/app/1/auth/facebook/token?access_token=FBTOKEN", Json{{"device", "studio"}, {"mac", mac}}},
      {KestovaAPIRouter::googleLogin("G.T-1"), "POST",
       "/app/1/auth/google/token?access_token=G.T-1", Json{{"device", "studio"}, {"mac", mac}}},
      {KestovaAPIRouter::signup("Ann", "a@b.c", "pw1", "pw2"), "POST", "/app/1/signup",
       Json{{"name", "Ann"},
            {"email", "a@b.c"},
            {"password", "pw1"},
            {"confirm", "pw2"},
            {"device", "studio"},
            {"mac", mac}}},
      {KestovaAPIRouter::unLinkDevice("dev-token"), "DELETE",
       "/app/1/account/device?format=timestamp", Json{{"token", "dev-token"}}},
      {KestovaAPIRouter::notification(), "GET", "/1/notifications", std::nullopt},
      {KestovaAPIRouter::getCompanyInfo(), "GET", "/2/company/no/1?lang=en-US", std::nullopt},
      {KestovaAPIRouter::checkAccountVIP(), "POST", "/app/1/account/vip", Json{{"mac", mac}}},
      {KestovaAPIRouter::checkVIP(), "POST", "/app/1/vip", Json{{"mac", mac}}},
      {KestovaAPIRouter::logout(), "GET", "/app/1/account/logout", std::nullopt},
      {KestovaAPIRouter::getDeviceList(), "GET", "/app/1/account/devices?format=timestamp",
       std::nullopt},
  };
  for (const auto& expected : table) {
    auto request = sendAndCapture(expected.route);
    SCOPED_TRACE(expected.target);
    EXPECT_EQ(request.method, expected.method);
    EXPECT_EQ(request.target, expected.target);
    EXPECT_EQ(request.header("authorization"), "Bearer ");
    EXPECT_EQ(request.header("user-agent"), "TWVldGluZy1Sb29t");  // "Meeting-Room"
    if (expected.body) {
      EXPECT_EQ(request.header("content-type"), "application/json");
      EXPECT_EQ(Json::parse(request.body), *expected.body);
    } else {
      EXPECT_TRUE(request.body.empty());
      EXPECT_FALSE(request.hasHeader("content-length") && request.header("content-length") != "0");
    }
  }
}

TEST_F(KestovaAPITest, StagingChangesOnlyTheVersionCheck) {
  rig.context.isStaging = true;
  auto check = sendAndCapture(KestovaAPIRouter::versionCheck(1, 0, "", "", "", "", "", ""));
  EXPECT_EQ(check.target, "/2/version/check_test");
  EXPECT_EQ(sendAndCapture(KestovaAPIRouter::login("a", "b")).target, "/app/1/login");
  EXPECT_EQ(sendAndCapture(KestovaAPIRouter::getCompanyInfo()).target,
            "/2/company/no/1?lang=en-US");
}

TEST_F(KestovaAPITest, TheCompanyRequestAsksForTheBuildsVendorElseCompanyOne) {
  rig.context.vendor = "";  // as the shipped configuration has it
  EXPECT_EQ(sendAndCapture(KestovaAPIRouter::getCompanyInfo()).target,
            "/2/company/no/1?lang=en-US");
  rig.context.vendor = "42";
  EXPECT_EQ(sendAndCapture(KestovaAPIRouter::getCompanyInfo()).target,
            "/2/company/no/42?lang=en-US");
}

TEST_F(KestovaAPITest, TokenLanguageAndIdentityGoIntoTheRequest) {
  rig.context.token = "abc.def";
  rig.context.collatorIdentifier = "zh-Hant-TW";
  auto request = sendAndCapture(KestovaAPIRouter::getCompanyInfo());
  EXPECT_EQ(request.header("authorization"), "Bearer abc.def");
  EXPECT_EQ(request.query, "lang=zh-TW");

  // The host name is read once and kept, even when the computer is renamed.
  rig.host = "Renamed";
  sendAndCapture(KestovaAPIRouter::logout());
  EXPECT_EQ(rig.hostReads, 1);
  EXPECT_EQ(rig.server.requests().back().header("user-agent"), "TWVldGluZy1Sb29t");
}

TEST_F(KestovaAPITest, WithoutWifiTheMacIsEmptyAndLookedForAgain) {
  rig.wifi = "";
  auto first = sendAndCapture(KestovaAPIRouter::checkVIP());
  EXPECT_EQ(Json::parse(first.body)["mac"], "");
  int reads = rig.wifiReads;
  rig.wifi = "00:11:22:33:44:55";
  auto second = sendAndCapture(KestovaAPIRouter::checkVIP());
  EXPECT_GT(rig.wifiReads, reads);
  EXPECT_EQ(Json::parse(second.body)["mac"], "00:11:22:33:44:55");
  sendAndCapture(KestovaAPIRouter::checkVIP());
  EXPECT_EQ(rig.wifiReads, reads + 1);  // found once, then kept
}

TEST(KestovaAPIRouterText, LanguageCodes) {
  EXPECT_EQ(KestovaAPIRouter::languageCode("zh-Hans"), "zh-CN");
  EXPECT_EQ(KestovaAPIRouter::languageCode("ZH-HANS-cn"), "zh-CN");
  EXPECT_EQ(KestovaAPIRouter::languageCode("zh-Hant-HK"), "zh-TW");
  EXPECT_EQ(KestovaAPIRouter::languageCode("en"), "en-US");
  EXPECT_EQ(KestovaAPIRouter::languageCode("ja"), "en-US");
  EXPECT_EQ(KestovaAPIRouter::languageCode(""), "en-US");
}

TEST_F(KestovaAPITest, AnswerOf200IsReadIntoTheRecord) {
  rig.server.route("POST", "/2/version/check", Reply::json(200, kCheckBody));
  Call<CheckModel> call;
  call.run(rig, KestovaAPIRouter::versionCheck(1, 0, "", "", "", "", "", ""));
  ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
  ASSERT_TRUE(call.record);
  EXPECT_EQ(call.record->data.fwVersion, "2.0");
  EXPECT_TRUE(rig.logged("API call CheckModel, response status: 200"));
  EXPECT_TRUE(rig.logged("result**: "));
  platform::MainQueue::shared().drain();
  EXPECT_EQ(call.calls, 1);
}

TEST_F(KestovaAPITest, FailuresReachTheErrorHandlerAsText) {
  struct Case {
    Reply reply;
    std::string message;
    std::string logPart;
  };
  std::vector<Case> cases = {
      {Reply::json(404, R"({"message":"No such company"})"), "No such company", "status 404"},
      {Reply::json(404, "<html>gone</html>"), "fail to decode JSON", "status 404"},
      {Reply::json(500, R"({"msg":"x"})"), "fail to decode JSON", "status 500"},
      {Reply::json(200, R"({"success":true})"), "Fail to decode JSON",
       "API call CompanyModel, fail to decode JSON"},
      {Reply::json(200, "not json"), "Fail to decode JSON", "fail to decode JSON"},
  };
  for (const auto& c : cases) {
    rig.server.route("GET", "/2/company/no/1", c.reply);
    Call<CompanyModel> call;
    call.run(rig, KestovaAPIRouter::getCompanyInfo());
    ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
    EXPECT_FALSE(call.record);
    EXPECT_EQ(call.error, c.message);
    EXPECT_TRUE(rig.logged(c.logPart)) << c.logPart;
  }
}

TEST_F(KestovaAPITest, DeeplyNestedBodiesAreRefusedWithoutWalkingThem) {
  // 120 KB nested 60,000 deep: token redaction and printing recurse once per level.
  std::string deep = std::string(60000, '[') + std::string(60000, ']');
  std::string deepObject = "{\"message\":" + deep + "}";
  for (int status : {200, 404}) {
    rig.server.route("GET", "/2/company/no/1",
                     Reply::json(status, status == 200 ? deep : deepObject));
    Call<CompanyModel> call;
    call.run(rig, KestovaAPIRouter::getCompanyInfo());
    ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
    EXPECT_FALSE(call.record);
    EXPECT_EQ(call.error, status == 200 ? "Fail to decode JSON" : "fail to decode JSON");
  }
  EXPECT_TRUE(rig.logged("nests deeper than 64 levels"));
}

TEST_F(KestovaAPITest, BrokenRepliesAreRequestFailures) {
  for (auto behaviour :
       {Reply::Behaviour::hangUp, Reply::Behaviour::garbage, Reply::Behaviour::truncated}) {
    rig.server.route("GET", "/1/notifications", Reply::with(behaviour));
    Call<CheckModel> call;
    call.run(rig, KestovaAPIRouter::notification());
    ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
    ASSERT_TRUE(call.error);
    EXPECT_EQ(call.error->rfind("request failed with error: ", 0), 0u)
        << *call.error << int(behaviour);
  }
  EXPECT_TRUE(rig.logged("API call CheckModel, request failed with error: "));
}

TEST_F(KestovaAPITest, NoServerIsARequestFailure) {
  rig.context.endpoints.admin = "http://127.0.0.1:1";
  Call<CheckModel> call;
  call.run(rig, KestovaAPIRouter::notification());
  ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
  ASSERT_TRUE(call.error);
  EXPECT_EQ(call.error->rfind("request failed with error: ", 0), 0u);
}

TEST_F(KestovaAPITest, AnUnansweredRequestTimesOutAfterSixtySeconds) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  rig.server.route("GET", "/1/notifications", Reply::with(Reply::Behaviour::hold));
  Call<CheckModel> call;
  call.run(rig, KestovaAPIRouter::notification());
  ASSERT_TRUE(Server::pumpUntil([&] { return rig.server.requestCount() == 1; }));
  clock.advance(std::chrono::seconds(59));
  for (int i = 0; i < 20; ++i) Server::pumpUntil([] { return true; });
  EXPECT_FALSE(call.finished());
  clock.advance(std::chrono::seconds(1));
  ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
  EXPECT_EQ(call.error, std::string("request failed with error: ") + HttpClient::timedOutText);
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST_F(KestovaAPITest, AnAnsweredRequestLeavesNoTimer) {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scoped(clock);
  rig.server.route("POST", "/app/1/vip", Reply::json(200, kCheckBody));
  Call<CheckModel> call;
  call.run(rig, KestovaAPIRouter::checkVIP());
  ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
  EXPECT_TRUE(call.record);
  ASSERT_TRUE(Server::pumpUntil([&] { return clock.pendingTimers() == 0; }));
  clock.advance(std::chrono::seconds(120));
  platform::MainQueue::shared().drain();
  EXPECT_EQ(call.calls, 1);
}

TEST_F(KestovaAPITest, TokensThatCannotStandInAnAddressFailWithoutARequest) {
  Call<CheckModel> call;
  call.run(rig, KestovaAPIRouter::fbLogin("has space\nand newline"));
  ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
  ASSERT_TRUE(call.error);
  EXPECT_EQ(call.error->rfind("request failed with error: not a valid address", 0), 0u);
  EXPECT_EQ(rig.server.requestCount(), 0u);
}

TEST_F(KestovaAPITest, HandlersRunOnTheMainThread) {
  rig.server.route("POST", "/app/1/vip", Reply::json(200, kCheckBody));
  bool onMain = false;
  bool done = false;
  rig.manager->apiCall<CheckModel>(KestovaAPIRouter::checkVIP(), [&](CheckModel) {
    onMain = platform::MainQueue::shared().isMainThread();
    done = true;
  });
  ASSERT_TRUE(Server::pumpUntil([&] { return done; }));
  EXPECT_TRUE(onMain);
}

TEST(HttpClientLife, AClientEndingWithARequestUnderWayDropsIt) {
  Server server;
  server.route("GET", "/slow", Reply::with(Reply::Behaviour::hold));
  bool called = false;
  {
    HttpClient http;
    HttpRequest request;
    request.url = server.baseUrl() + "/slow";
    http.send(request, [&](HttpResponse) { called = true; });
    ASSERT_TRUE(Server::pumpUntil([&] { return server.requestCount() == 1; }));
  }
  Server::pumpUntil([] { return true; });
  EXPECT_FALSE(called);
}

TEST_F(KestovaAPITest, TokensStayOutOfTheLog) {
  rig.server.route("POST", "/app/1/auth/google/token",
                   Reply::json(200, R"({"token":"SESSION-SECRET","success":true})"));
  Call<CheckModel> call;
  call.run(rig, KestovaAPIRouter::googleLogin("GOOGLE-SECRET"));
  ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
  EXPECT_EQ(rig.server.requests().back().query, "access_token=GOOGLE-SECRET");
  EXPECT_TRUE(rig.logged("URL**: "));
  EXPECT_FALSE(rig.logged("GOOGLE-SECRET"));
  EXPECT_FALSE(rig.logged("SESSION-SECRET"));
}

}  // namespace
}  // namespace corvane
