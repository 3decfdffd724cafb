#include <signal.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "CloudTestRig.h"
#include "LoopbackHttpServer.h"
#include "ShellFixture.h"
#include "cloud/UpdateController.h"
#include "shell/SignalQuitter.h"

namespace shelltest {
namespace {

using Reply = testsupport::LoopbackHttpServer::Reply;
using Server = testsupport::LoopbackHttpServer;
using namespace std::chrono_literals;

const char* kCheckBody =
    R"({"success":true,"errors":[],"data":{"hasNewVersion":false,"version":"2.3.0",)"
    R"("hasNewFwVersion":false,"fwVersion":"3.1.4"}})";

const char* kCompanyBody = R"({"success": true, "errors": [], "data": {
    "aboutUrl": "https://k.example/about", "kestovaUrl": "https://k.example", "name": "Kestova",
    "no": "1", "vendor": [], "product": [], "redirectUrl": "",
    "downloadUrl": "https://k.example/download", "contactUrl": "https://k.example/contact",
    "docUrl": "", "stagingDownloadUrl": "https://staging.k.example/download",
    "stagingContactUrl": "", "stagingDocUrl": ""}})";

// The loopback cloud on a thread of its own, so it answers while the main thread waits on
// the exit report.
class ServerThread : public QThread {
 public:
  explicit ServerThread(std::function<void(Server&)> setup) : setup_(std::move(setup)) {
    start();
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return loop_ != nullptr; });
  }
  ~ServerThread() override { stop(); }

  // Ends the server; afterwards requests() holds what it received.
  void stop() {
    if (!isFinished()) {
      QMetaObject::invokeMethod(loop_, "quit", Qt::QueuedConnection);
      wait();
    }
    // QThread::wait orders nothing a race detector can see: the mutex does.
    std::lock_guard lock(mutex_);
    loop_ = nullptr;
  }
  std::string baseUrl() const { return base_; }
  std::vector<Server::Request> requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 protected:
  void run() override {
    Server server;
    setup_(server);
    QEventLoop loop;
    {
      std::lock_guard lock(mutex_);
      base_ = server.baseUrl();
      loop_ = &loop;
    }
    ready_.notify_all();
    loop.exec();
    std::lock_guard lock(mutex_);
    requests_ = server.requests();
  }

 private:
  std::function<void(Server&)> setup_;
  std::mutex mutex_;
  std::condition_variable ready_;
  QEventLoop* loop_ = nullptr;
  std::string base_;
  std::vector<Server::Request> requests_;
};

class Lifecycle : public ShellFixture {
 protected:
  corvane::HttpClient http;
  corvane::ClientIdentity identity{[] {
    corvane::ClientIdentity::Environment env;
    env.wifiHardwareAddress = [] { return std::string("a4:83:e7:01:02:03"); };
    env.hostName = [] { return std::string("Meeting-Room"); };
    env.customerIdentifier = [] { return std::string("CUST-0042"); };
    env.chipId = [] { return std::string("1a2b3c"); };
    return env;
  }()};

  platform::SerialQueue builder{"report builder"};

  corvane::KestovaAPIManager::Environment reportApi(const std::string& base) {
    corvane::KestovaAPIManager::Environment env;
    env.http = &http;
    env.identity = &identity;
    env.builder = &builder;
    env.delivery = &platform::MainQueue::shared();
    env.logger = logger.get();
    env.context = [base] {
      corvane::KestovaAPIRouter::Context context;
      context.endpoints = {base, base, base + "/files/"};
      context.collatorIdentifier = "en";
      context.vendor = "7";
      return context;
    };
    return env;
  }
};

TEST_F(Lifecycle, DeactivateRunQuitsWithoutSavingOrReporting) {
  struct Row {
    std::vector<std::string> arguments;
    bool outcome;
    const char* line;
  };
  const Row rows[] = {
      {{"/usr/bin/corvane-studio", "-deactivateExt"}, true, "deactivate camera extension done"},
      {{"/usr/bin/corvane-studio", "-verbose", "-deactivateExt"},
       false,
       "deactivate camera extension fail"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    ServerThread server(
        [](Server& s) { s.route("POST", "/2/version/check", Reply::json(200, kCheckBody)); });
    terminated = 0;
    extensions.deactivations = 0;
    extensions.outcome = row.outcome;
    log.clear();
    auto env = delegateEnvironment(row.arguments);
    env.reportApi = reportApi(server.baseUrl());
    corvane::AppDelegate delegate(*camera, env);
    ASSERT_TRUE(delegate.isDeactivateRun());
    delegate.applicationWillFinishLaunching();
    EXPECT_EQ(terminated, 0);  // the quit is posted to the main queue
    settle();
    EXPECT_EQ(extensions.deactivations, 1);
    EXPECT_EQ(terminated, 1);
    EXPECT_TRUE(logged(row.line));
    delegate.applicationDidFinishLaunching();
    config->defaultDisplayMode = 14;
    delegate.applicationWillTerminate();
    server.stop();
    EXPECT_TRUE(server.requests().empty());
    EXPECT_FALSE(fs::exists(userConfig()));
    EXPECT_FALSE(fs::exists(userPresets()));
  }
}

TEST_F(Lifecycle, TheSwitchCountsOnlyAfterTheProgramPath) {
  for (std::vector<std::string> arguments : {std::vector<std::string>{"-deactivateExt"},
                                             {"/usr/bin/corvane-studio", "--deactivateExt"},
                                             // a file's name after the end of the options
                                             {"/usr/bin/corvane-studio", "--", "-deactivateExt"},
                                             {"/usr/bin/corvane-studio"},
                                             {}}) {
    corvane::AppDelegate delegate(*camera, delegateEnvironment(arguments));
    EXPECT_FALSE(delegate.isDeactivateRun());
    delegate.applicationWillFinishLaunching();
    settle();
    EXPECT_EQ(extensions.deactivations, 0);
    EXPECT_EQ(terminated, 0);
  }
}

TEST_F(Lifecycle, ExitReportCarriesTheRunAndTheCameraAndIsAnsweredInTime) {
  ServerThread server(
      [](Server& s) { s.route("POST", "/2/version/check", Reply::json(200, kCheckBody)); });
  auto env = delegateEnvironment();
  env.reportApi = reportApi(server.baseUrl());
  config->vendor = "7";
  corvane::AppDelegate delegate(*camera, env);
  delegate.applicationDidFinishLaunching();
  clock.advance(90700ms);
  delegate.applicationWillTerminate();
  delegate.applicationWillTerminate();  // once only
  server.stop();

  ASSERT_EQ(server.requests().size(), 1u);
  auto body = nlohmann::json::parse(server.requests()[0].body, nullptr, false);
  ASSERT_FALSE(body.is_discarded()) << server.requests()[0].body;
  EXPECT_EQ(body["action"], 0);
  EXPECT_EQ(body["length"], 90);
  EXPECT_EQ(body["version"], "2.3.0");
  EXPECT_EQ(body["fwVersion"], "3.1.4");
  EXPECT_EQ(body["companyNo"], "7");
  EXPECT_EQ(body["os"], "Linux 6.1.0");
  EXPECT_EQ(body["vendor"], "0x2bd9");
  EXPECT_EQ(body["product"], "0x0011");
  EXPECT_TRUE(logged("versionCheck offline response: ")) << ::testing::PrintToString(log);
  EXPECT_TRUE(fs::exists(userConfig()));
  EXPECT_TRUE(fs::exists(userPresets()));
}

TEST_F(Lifecycle, ExitWaitsForTheReportAtMostTwoSeconds) {
  ServerThread server(
      [](Server& s) { s.route("POST", "/2/version/check", Reply::with(Reply::Behaviour::hold)); });
  auto env = delegateEnvironment();
  env.reportApi = reportApi(server.baseUrl());
  corvane::AppDelegate delegate(*camera, env);
  delegate.applicationDidFinishLaunching();
  // The deadline is the only timer on the test's clock; once it is set and the request has
  // left, time runs out.
  std::thread timeRunsOut([this] {
    while (clock.pendingTimers() == 0) std::this_thread::yield();
    builder.drain();
    clock.advance(1999ms);
    clock.advance(1ms);
  });
  delegate.applicationWillTerminate();
  timeRunsOut.join();
  EXPECT_TRUE(logged("The usage report got no answer in time"));
  EXPECT_FALSE(logged("versionCheck offline response: "));
  EXPECT_TRUE(fs::exists(userConfig()));
}

// The quit's bound covers what comes before the report too: a slow camera read leaves the
// report the rest of the two seconds, not two more.
TEST_F(Lifecycle, TheReportWaitsOnlyWhatIsLeftOfTheQuitsTwoSeconds) {
  ServerThread server(
      [](Server& s) { s.route("POST", "/2/version/check", Reply::with(Reply::Behaviour::hold)); });
  auto env = delegateEnvironment();
  env.reportApi = reportApi(server.baseUrl());
  bool quitting = false;
  env.cameraIdentity = [this, &quitting] {
    if (quitting) clock.advance(500ms);
    return corvane::AppDelegate::CameraIdentity{"3.1.4", "0x2bd9", "0x0011"};
  };
  corvane::AppDelegate delegate(*camera, env);
  delegate.applicationDidFinishLaunching();
  std::thread timeRunsOut([this] {
    while (clock.pendingTimers() == 0) std::this_thread::yield();
    builder.drain();
    while (clock.pendingTimers() > 0) clock.advance(1ms);
  });
  quitting = true;
  const auto quitStart = clock.now();
  delegate.applicationWillTerminate();
  timeRunsOut.join();
  EXPECT_EQ(clock.now() - quitStart, 2000ms);
  EXPECT_TRUE(logged("The usage report got no answer in time"));
}

// An oversize answer to the report ends at the bound, as a failed request does: the quit neither
// reads nor logs it whole, and goes on without waiting out the deadline.
TEST_F(Lifecycle, AnOversizeReportAnswerEndsAtTheBoundWithoutWaitingOrLoggingIt) {
  const std::string longVersion(3 << 20, '9');
  const std::string answer =
      R"({"success":true,"errors":[],"data":{"hasNewVersion":false,"version":")" + longVersion +
      R"(","hasNewFwVersion":false,"fwVersion":"3.1.4"}})";
  ServerThread server(
      [&](Server& s) { s.route("POST", "/2/version/check", Reply::json(200, answer)); });
  auto env = delegateEnvironment();
  env.reportApi = reportApi(server.baseUrl());
  corvane::AppDelegate delegate(*camera, env);
  delegate.applicationDidFinishLaunching();
  // The clock never reaches the deadline: the quit goes on because the request ended.
  delegate.applicationWillTerminate();
  server.stop();
  EXPECT_FALSE(logged("The usage report got no answer in time"));
  EXPECT_FALSE(logged("versionCheck offline response: "));
  EXPECT_EQ(count("1 MB a cloud answer may have"), 1u) << ::testing::PrintToString(log);
  for (const auto& line : log) EXPECT_LT(line.size(), 4096u) << line.substr(0, 80);
}

TEST_F(Lifecycle, SigtermSavesTheSettingsAndTheNextStartReadsThemBack) {
  corvane::AppDelegate delegate(*camera, delegateEnvironment());
  config->setup();
  delegate.applicationDidFinishLaunching();
  config->defaultDisplayMode = 14;
  config->presets.at(0).ev = 0.25;
  auto quitting = QObject::connect(qApp, &QCoreApplication::aboutToQuit,
                                   [&delegate] { delegate.applicationWillTerminate(); });
  ASSERT_TRUE(corvane::SignalQuitter::install(*qApp));
  raise(SIGTERM);
  QCoreApplication::exec();
  corvane::SignalQuitter::uninstall();
  QObject::disconnect(quitting);

  auto next = makeConfig();
  next->setup();
  EXPECT_EQ(next->defaultDisplayMode, 14);
  EXPECT_EQ(next->presets.at(0).ev, 0.25);
}

// The session's settings reach the file at the quit, or a line says why they could not: left
// to the settings object's own end, a folder that cannot be written lost them without a word.
TEST_F(Lifecycle, TheQuitWritesTheSessionsSettingsOrSaysWhyNot) {
  std::vector<QString> problems;
  defaults.setWriteProblemHandler([&](const QString& p) { problems.push_back(p); });
  const std::string file = defaults.filePath().toStdString();
  {
    corvane::AppDelegate delegate(*camera, delegateEnvironment());
    defaults.set("WindowWidth", 1001);
    delegate.applicationWillTerminate();
  }
  EXPECT_NE(settingstest::readFile(file).find("WindowWidth=1001"), std::string::npos);
  EXPECT_TRUE(problems.empty());

  // The folder became a file: nothing can be written there.
  const std::string folder = fs::path(file).parent_path().string();
  fs::remove_all(folder);
  settingstest::writeFile(folder, "a file");
  corvane::AppDelegate delegate(*camera, delegateEnvironment());
  defaults.set("WindowWidth", 1002);
  delegate.applicationWillTerminate();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_TRUE(problems[0].contains("cannot be written: ")) << problems[0].toStdString();
  fs::remove(folder);
}

TEST_F(Lifecycle, TheCompanyRecordReachesTheUpdatePage) {
  corvane::CloudTestRig rig;
  rig.server.route("GET", "/2/company/no/1", Reply::json(200, kCompanyBody));
  auto env = delegateEnvironment();
  env.api = rig.manager.get();
  corvane::AppDelegate delegate(*camera, env);
  ASSERT_EQ(corvane::AppDelegate::current(), &delegate);
  EXPECT_FALSE(delegate.companyModel());
  delegate.applicationDidFinishLaunching();
  ASSERT_TRUE(Server::pumpUntil([&] { return delegate.companyModel().has_value(); }));
  EXPECT_EQ(delegate.companyModel()->data.contactUrl, "https://k.example/contact");

  // The update page of the running program reads the record where the delegate keeps it.
  auto pageEnv = corvane::UpdateController::Environment::process();
  pageEnv.isStaging = [] { return false; };
  corvane::UpdateController page(pageEnv);
  EXPECT_EQ(page.downloadAddress(), "https://k.example/download");
}

}  // namespace
}  // namespace shelltest
