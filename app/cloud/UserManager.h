#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cloud/AdDataModel.h"

namespace corvane {

// The account state of the program; its token goes into every cloud request. Main thread only:
// requests take a copy of the token when they are made.
class UserManager {
 public:
  static UserManager& shared();
  UserManager() = default;

  std::string token;
  std::string userName;
  std::string email;
  std::string role;
  double expiryDate = 0;
  int64_t permission = 0;
  bool authenticated = false;
  int64_t deviceNum = 0;
  std::optional<AdDataModel> adData;  // the advertisement of the last version-check answer
};

}  // namespace corvane
