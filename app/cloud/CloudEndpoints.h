#pragma once

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
};

}  // namespace corvane
