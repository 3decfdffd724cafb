#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <mutex>

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

namespace corvane {
namespace {

// AddressSanitizer holds freed memory back in its quarantine, so there the resident size grows
// with what was freed as well and bounds nothing.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentSizeBounds = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kResidentSizeBounds = false;
#else
constexpr bool kResidentSizeBounds = true;
#endif
#else
constexpr bool kResidentSizeBounds = true;
#endif

// The process's resident memory now.
int64_t residentBytes() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// The most the kernel may hold of one loopback connection: the sender's buffer and the receiver's
// window, which autotuning grows up to these maxima while the client reads ahead of its reader.
uint64_t socketBufferBytes() {
  uint64_t total = 0;
  for (const char* path : {"/proc/sys/net/ipv4/tcp_rmem", "/proc/sys/net/ipv4/tcp_wmem"}) {
    std::ifstream file(path);
    uint64_t least = 0, initial = 0, most = 0;
    if (file >> least >> initial >> most)
      total += most;
    else
      total += uint64_t(32) << 20;
  }
  return total;
}

// Sends one request through the client and waits for its answer (on the client's thread).
std::optional<HttpResponse> sendAndWait(HttpClient& http, const HttpRequest& request) {
  std::optional<HttpResponse> response;
  std::mutex mutex;
  http.send(request, [&](HttpResponse r) {
    std::lock_guard lock(mutex);
    response = std::move(r);
  });
  Server::pumpUntil([&] {
    std::lock_guard lock(mutex);
    return response.has_value();
  });
  std::lock_guard lock(mutex);
  return response;
}

// A hostile server's answer is taken up to its request's bound and no further: refused at once
// when announced, stopped at the bound when not, so memory stays near the bound.
TEST(HttpClientBound, AnOversizeAnswerIsRefusedAtTheBound) {
  struct Row {
    const char* name;
    std::optional<uint64_t> announced;
    const char* reason;
  };
  const Row rows[] = {
      {"announced", uint64_t(2) << 30,
       "the answer is announced as 2147483648 bytes, more than the 1 MB a cloud answer may have"},
      {"unannounced", std::nullopt, "the answer is larger than the 1 MB a cloud answer may have"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Server server{Server::Scheme::https};
    server.trustInThisProcess();
    Reply reply = Reply::with(Reply::Behaviour::endless);
    reply.announcedLength = row.announced;
    server.route("GET", "/big", reply);
    HttpClient http;
    HttpRequest request;
    request.url = server.baseUrl() + "/big";
    std::optional<HttpResponse> response;
    std::mutex mutex;
    int64_t before = residentBytes();
    http.send(request, [&](HttpResponse r) {
      std::lock_guard lock(mutex);
      response = std::move(r);
    });
    const uint64_t runaway = uint64_t(512) << 20;  // far past the bound: it was not kept
    Server::pumpUntil([&] {
      std::lock_guard lock(mutex);
      return response.has_value() || server.streamedBytes() > runaway;
    });
    std::lock_guard lock(mutex);
    ASSERT_TRUE(response.has_value());
    EXPECT_TRUE(response->failed());
    EXPECT_EQ(response->error, row.reason);
    EXPECT_TRUE(response->body.empty());
    // What the server got into the sockets: the bound and the buffers on the way, no more. The
    // buffers are the kernel's (as large as its settings let a fast loopback grow them) and the
    // network thread's read-ahead, which a loaded machine lets run further before the abort.
    EXPECT_LT(server.streamedBytes(), socketBufferBytes() + (uint64_t(32) << 20));
    if (kResidentSizeBounds) {
      EXPECT_LT(residentBytes() - before, int64_t(64) << 20);
    }
  }
}

// Each request has its own bound: a picture may be larger than an API answer.
TEST(HttpClientBound, ABodyWithinItsRequestsBoundArrivesWhole) {
  Server server{Server::Scheme::https};
  server.trustInThisProcess();
  std::string picture(3 << 20, 'p');
  server.serveFile("/files/ad.png", picture, "image/png");
  HttpClient http;
  for (int64_t bound : {int64_t(4) << 20, int64_t(1) << 20}) {
    HttpRequest request;
    request.url = server.baseUrl() + "/files/ad.png";
    request.maxBodyBytes = bound;
    request.bodyKind = "an advertisement picture";
    std::optional<HttpResponse> response = sendAndWait(http, request);
    ASSERT_TRUE(response);
    if (bound > int64_t(picture.size())) {
      EXPECT_EQ(response->status, 200);
      EXPECT_EQ(response->body, picture);
    } else {
      EXPECT_EQ(response->error,
                "the answer is announced as 3145728 bytes, more than the 1 MB an advertisement "
                "picture may have");
    }
  }
}

// A compressed answer is taken as the server meant it, and its bound counts what it expands
// to: past the network library's own guard (10 MB at a high ratio) it still arrives whole
// within its request's bound, and past the bound (a compression bomb) it is refused naming
// the bound, with memory near the bound.
TEST(HttpClientBound, ACompressedAnswerCountsItsDecodedSize) {
  const std::string zeros(64 << 10, '\0');
  const int64_t picture = int64_t(16) << 20;
  struct Row {
    const char* name;
    Reply reply;
    int64_t bound;
    const char* kind;
    std::optional<size_t> arrives;  // the decoded size, or refused
    const char* reason;
  };
  const Row rows[] = {
      {"gzip JSON", Reply::compressed(200, kCheckBody, 1), int64_t(1) << 20, "a cloud answer",
       std::strlen(kCheckBody), nullptr},
      {"deflate JSON", Reply::compressed(200, kCheckBody, 1, "deflate"), int64_t(1) << 20,
       "a cloud answer", std::strlen(kCheckBody), nullptr},
      {"12 MB at a ratio of 1000", Reply::compressed(200, zeros, 192), picture,
       "an advertisement picture", size_t(12) << 20, nullptr},
      {"4 MB past the 1 MB bound", Reply::compressed(200, zeros, 64), int64_t(1) << 20,
       "a cloud answer", std::nullopt,
       "the answer is larger than the 1 MB a cloud answer may have"},
      {"20 MB past the 16 MB bound", Reply::compressed(200, zeros, 320), picture,
       "an advertisement picture", std::nullopt,
       "the answer is larger than the 16 MB an advertisement picture may have"},
      {"a bomb of 256 MB", Reply::compressed(200, zeros, 4096), int64_t(1) << 20, "a cloud answer",
       std::nullopt, "the answer is larger than the 1 MB a cloud answer may have"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Server server;
    server.route("GET", "/packed", row.reply);
    HttpClient http;
    HttpRequest request;
    request.url = server.baseUrl() + "/packed";
    request.maxBodyBytes = row.bound;
    request.bodyKind = row.kind;
    const int64_t before = residentBytes();
    std::optional<HttpResponse> response = sendAndWait(http, request);
    ASSERT_TRUE(response);
    // The client asked for compressed answers itself.
    EXPECT_NE(server.requests().back().header("accept-encoding").find("gzip"), std::string::npos);
    if (row.arrives) {
      EXPECT_FALSE(response->failed()) << response->error;
      EXPECT_EQ(response->status, 200);
      EXPECT_EQ(response->body.size(), *row.arrives);
      // Compared whole, not printed: megabytes of zeros.
      const std::string sent = *row.arrives == std::strlen(kCheckBody)
                                   ? std::string(kCheckBody)
                                   : std::string(*row.arrives, '\0');
      EXPECT_TRUE(response->body == sent) << "the body is not what the server compressed";
    } else {
      EXPECT_TRUE(response->failed());
      EXPECT_EQ(response->error, row.reason);
      EXPECT_FALSE(response->status);
      EXPECT_TRUE(response->body.empty());
      if (kResidentSizeBounds) {
        EXPECT_LT(residentBytes() - before, row.bound + (int64_t(32) << 20));
      }
    }
  }
}

// A compression bomb in answer to an API call fails the call with the bound, not as JSON that
// cannot be read.
TEST_F(KestovaAPITest, ACompressionBombFailsTheCallNamingTheBound) {
  rig.server.route("POST", "/app/1/vip", Reply::compressed(200, std::string(64 << 10, '\0'), 1024));
  Call<CheckModel> call;
  call.run(rig, KestovaAPIRouter::checkVIP());
  ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
  EXPECT_EQ(call.error,
            "request failed with error: the answer is larger than the 1 MB a cloud answer may "
            "have");
  EXPECT_FALSE(call.record);
}

TEST_F(KestovaAPITest, AnOversizeAnswerFailsTheCallWithOneLineNamingTheBound) {
  rig.server.route("POST", "/app/1/vip", Reply::with(Reply::Behaviour::endless));
  Call<CheckModel> call;
  call.run(rig, KestovaAPIRouter::checkVIP());
  ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
  EXPECT_EQ(call.error,
            "request failed with error: the answer is larger than the 1 MB a cloud "
            "answer may have");
  EXPECT_FALSE(call.record);
  int naming = 0;
  for (const auto& line : rig.logLines) naming += line.find("1 MB") != std::string::npos;
  EXPECT_EQ(naming, 1) << ::testing::PrintToString(rig.logLines);
}

// Every answer's log lines show its start and its size, never the whole of a large one.
TEST_F(KestovaAPITest, LoggedBodiesAreCutWithTheirSizeNamed) {
  const std::string longVersion(600000, '9');
  const std::string answer =
      R"({"success":true,"errors":[],"data":{"hasNewVersion":true,"version":")" + longVersion +
      R"(","hasNewFwVersion":false,"fwVersion":"2.0"}})";
  const std::string message = R"({"message":")" + longVersion + R"("})";
  struct Row {
    int status;
    std::string body;
    std::vector<std::string> cutLines;
  };
  const Row rows[] = {
      {200, answer, {"value**: ", "result**: "}},
      {404, message, {"value**: ", "status 404: "}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status);
    rig.logLines.clear();
    rig.server.route("POST", "/app/1/vip", Reply::json(row.status, row.body));
    Call<CheckModel> call;
    call.run(rig, KestovaAPIRouter::checkVIP());
    ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
    if (row.status == 200) {
      ASSERT_TRUE(call.record);
      EXPECT_EQ(call.record->data.version, longVersion);  // the record itself is whole
    } else {
      EXPECT_EQ(call.error, longVersion);
    }
    for (const auto& line : rig.logLines)
      EXPECT_LE(line.size(), KestovaAPIManager::kLoggedBodyBytes + 200) << line.substr(0, 80);
    for (const auto& part : row.cutLines) {
      auto it = std::find_if(rig.logLines.begin(), rig.logLines.end(), [&](const std::string& l) {
        return l.find(part) != std::string::npos;
      });
      ASSERT_NE(it, rig.logLines.end()) << part;
      EXPECT_NE(it->find(" bytes in all)"), std::string::npos) << part;
      EXPECT_NE(it->find("99999999"), std::string::npos) << part;  // its start is there
    }
  }
}

// A binary answer (a picture where JSON was expected) is escaped for the log, and cut after
// the escaping: each of its lines keeps the bound, however the bytes grow.
TEST_F(KestovaAPITest, ALoggedBinaryBodyIsCutAfterItsEscaping) {
  std::string binary;
  for (int i = 0; i < 6000; ++i) binary += char(i % 32);  // control bytes: four each, escaped
  rig.server.route("POST", "/app/1/vip", Reply::json(200, binary));
  Call<CheckModel> call;
  call.run(rig, KestovaAPIRouter::checkVIP());
  ASSERT_TRUE(Server::pumpUntil([&] { return call.finished(); }));
  EXPECT_EQ(call.error, "Fail to decode JSON");
  bool shown = false;
  for (const auto& line : rig.logLines) {
    EXPECT_LE(line.size(), KestovaAPIManager::kLoggedBodyBytes + 200) << line.substr(0, 80);
    if (line.find("value**: ") == std::string::npos) continue;
    shown = true;
    EXPECT_NE(line.find("\\x00\\x01\\x02"), std::string::npos) << line.substr(0, 120);
    EXPECT_NE(line.find(" bytes in all)"), std::string::npos);
    EXPECT_NE(line.find("6000 bytes in all"), std::string::npos) << "the body's own size";
  }
  EXPECT_TRUE(shown);
}

// A record that notes where it was read.
struct ThreadProbe {
  static constexpr const char* typeName = "ThreadProbe";
  static inline std::atomic<int> readOnMain{0};
  static inline std::atomic<int> readElsewhere{0};
  static std::optional<ThreadProbe> fromJson(const Json&, std::string* = nullptr) {
    (platform::MainQueue::shared().isMainThread() ? readOnMain : readElsewhere)++;
    return ThreadProbe{};
  }
  Json toJson() const { return Json::object(); }
};

// Parsing and decoding an answer of up to its bound takes a while: the main thread only gets
// the record.
TEST_F(KestovaAPITest, AnswersAreReadOffTheMainThread) {
  rig.server.route("POST", "/app/1/vip", Reply::json(200, kCheckBody));
  bool delivered = false;
  rig.manager->apiCall<ThreadProbe>(KestovaAPIRouter::checkVIP(), [&](ThreadProbe) {
    delivered = platform::MainQueue::shared().isMainThread();
  });
  ASSERT_TRUE(Server::pumpUntil([&] { return delivered; }));
  EXPECT_EQ(ThreadProbe::readOnMain, 0);
  EXPECT_EQ(ThreadProbe::readElsewhere, 1);
}

}  // namespace
}  // namespace corvane
