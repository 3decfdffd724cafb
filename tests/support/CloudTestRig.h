#pragma once

#include <memory>
#include <string>
#include <vector>

#include "LoopbackHttpServer.h"
#include "cloud/ClientIdentity.h"
#include "cloud/HttpClient.h"
#include "cloud/KestovaAPIManager.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"
#include "log/LogManager.h"

namespace corvane {

// A cloud client wired to a loopback server, a recording logger and an identity the test sets.
struct CloudTestRig {
  testsupport::LoopbackHttpServer server;
  std::vector<std::string> logLines;
  LogManager logger{[this] {
    LogManager::Environment env;
    env.standardOutput = [this](const std::string& line) { logLines.push_back(line); };
    env.systemLog = [this](const std::string& line) { logLines.push_back(line); };
    return env;
  }()};
  std::string wifi = "a4:83:e7:01:02:03";
  std::string host = "Meeting-Room";
  std::string customer = "CUST-0042";
  std::string chip = "1a2b3c";
  int wifiReads = 0;
  int hostReads = 0;
  ClientIdentity identity{[this] {
    ClientIdentity::Environment env;
    env.wifiHardwareAddress = [this] { return ++wifiReads, wifi; };
    env.hostName = [this] { return ++hostReads, host; };
    env.customerIdentifier = [this] { return customer; };
    env.chipId = [this] { return chip; };
    return env;
  }()};
  KestovaAPIRouter::Context context;
  HttpClient http;
  // The requests are built here, not on the process-wide pool: a build still queued when the
  // rig goes runs (against the identity and the client above, still alive) before they go.
  platform::SerialQueue builder{"cloud-test-builder"};
  std::unique_ptr<KestovaAPIManager> manager;

  CloudTestRig() {
    context.endpoints = {server.baseUrl(), server.baseUrl() + "/", server.baseUrl() + "/files/"};
    context.collatorIdentifier = "en";
    context.vendor = "1";
    KestovaAPIManager::Environment env;
    env.http = &http;
    env.identity = &identity;
    env.builder = &builder;
    env.delivery = &platform::MainQueue::shared();
    env.logger = &logger;
    env.context = [this] { return context; };
    manager = std::make_unique<KestovaAPIManager>(env);
  }

  bool logged(const std::string& part) const {
    for (const auto& line : logLines)
      if (line.find(part) != std::string::npos) return true;
    return false;
  }
};

}  // namespace corvane
