#include "cloud/ClientIdentity.h"

#include <unistd.h>

#include "SystemInfo.h"
#include "camera/USBManager.h"

namespace corvane {

ClientIdentity::Environment ClientIdentity::Environment::process() {
  Environment env;
  env.wifiHardwareAddress = [] {
    return platform::SystemInfo::shared().wifiHardwareAddress().value_or("");
  };
  env.hostName = [] {
    char name[256] = {};
    if (gethostname(name, sizeof(name) - 1) != 0) return std::string();
    return std::string(name);
  };
  env.customerIdentifier = [] { return USBManager::shared().getXuid(); };
  env.chipId = [] { return USBManager::shared().chipId(); };
  return env;
}

ClientIdentity& ClientIdentity::shared() {
  static ClientIdentity identity(Environment::process());
  return identity;
}

ClientIdentity::ClientIdentity(Environment environment) : env_(std::move(environment)) {}

std::string ClientIdentity::machineIdentifier() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (machineIdentifier_.empty() && env_.wifiHardwareAddress)
    machineIdentifier_ = env_.wifiHardwareAddress();
  return machineIdentifier_;
}

std::string ClientIdentity::hostName() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (hostName_.empty() && env_.hostName) hostName_ = env_.hostName();
  return hostName_;
}

std::string ClientIdentity::customerIdentifier() {
  return env_.customerIdentifier ? env_.customerIdentifier() : std::string();
}

std::string ClientIdentity::chipId() { return env_.chipId ? env_.chipId() : std::string(); }

}  // namespace corvane
