#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace corvane {

// What the cloud requests say about this computer and its camera. The machine identifier (the
// Wi-Fi interface's hardware address) and the host name are read once and kept for the life of
// the process; a machine identifier not found is looked for again at the next request. The
// readers touch files and the camera, so requests are built off the main thread; the caches
// are locked for that.
class ClientIdentity {
 public:
  struct Environment {
    std::function<std::string()> wifiHardwareAddress;  // empty when there is no Wi-Fi interface
    std::function<std::string()> hostName;             // empty when the name cannot be read
    std::function<std::string()> customerIdentifier;   // the camera's, read from it each time
    std::function<std::string()> chipId;               // the camera's, as last reported
    static Environment process();
  };

  static ClientIdentity& shared();
  explicit ClientIdentity(Environment environment);

  std::string machineIdentifier();
  std::string hostName();
  std::string customerIdentifier();
  std::string chipId();

 private:
  Environment env_;
  std::mutex mutex_;
  std::string machineIdentifier_;
  std::string hostName_;
};

}  // namespace corvane
