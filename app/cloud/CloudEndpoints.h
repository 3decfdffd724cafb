#pragma once

#include <QUrl>
#include <string>

namespace corvane {

// Where the cloud service lives: the account service (its routes begin "/app/"), the admin
// service (version check, company information, notifications) and the storage service that
// holds the advertisement pictures. The deployment fixes them; tests point them at a loopback
// server.
struct CloudEndpoints {
  std::string account;
  std::string admin;
  std::string storage;

  static CloudEndpoints production();
  // A base address and a path joined by exactly one slash.
  static std::string join(const std::string& base, const std::string& path);
  // Whether an address from the network may be sent to or opened: http or https with a host.
  // Anything else (a file, a program's scheme) must not reach the network layer or xdg-open.
  static bool isWebAddress(const QUrl& url);
  static bool isWebAddress(const std::string& address);
};

}  // namespace corvane
