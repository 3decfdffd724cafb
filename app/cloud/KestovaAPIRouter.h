#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cloud/CloudEndpoints.h"
#include "cloud/HttpRequest.h"

namespace corvane {

class ClientIdentity;

// The cloud operations; each turns into one complete HTTP request (address, method, headers,
// JSON body).
class KestovaAPIRouter {
 public:
  enum class Case {
    versionCheck,
    login,
    fbLogin,
    googleLogin,
    signup,
    unLinkDevice,
    notification,
    getCompanyInfo,
    checkAccountVIP,
    checkVIP,
    logout,
    getDeviceList,
  };

  // What a request takes from the program's state besides its payload; taken on the main
  // thread when the call is made.
  struct Context {
    CloudEndpoints endpoints;
    bool isStaging = false;
    std::string token;               // the account's, empty before any login
    std::string collatorIdentifier;  // the current language, as "en" or "zh-Hant-TW"
    std::string vendor;              // the build's company code
    static Context process();
  };

  static KestovaAPIRouter versionCheck(int64_t action, int64_t length, std::string version,
                                       std::string fwVersion, std::string companyNo, std::string os,
                                       std::string vendorID, std::string productID);
  static KestovaAPIRouter login(std::string username, std::string pw);
  static KestovaAPIRouter fbLogin(std::string token);
  static KestovaAPIRouter googleLogin(std::string token);
  static KestovaAPIRouter signup(std::string name, std::string email, std::string pw,
                                 std::string confirmPw);
  static KestovaAPIRouter unLinkDevice(std::string token);
  static KestovaAPIRouter notification() { return KestovaAPIRouter(Case::notification); }
  static KestovaAPIRouter getCompanyInfo() { return KestovaAPIRouter(Case::getCompanyInfo); }
  static KestovaAPIRouter checkAccountVIP() { return KestovaAPIRouter(Case::checkAccountVIP); }
  static KestovaAPIRouter checkVIP() { return KestovaAPIRouter(Case::checkVIP); }
  static KestovaAPIRouter logout() { return KestovaAPIRouter(Case::logout); }
  static KestovaAPIRouter getDeviceList() { return KestovaAPIRouter(Case::getDeviceList); }

  Case kind() const { return case_; }
  std::string method() const;
  std::string url(const Context& context) const;
  // The JSON body, or none for the cases sent without one. Reads the identity (the machine
  // identifier and, for the version check, the camera), so it is not for the main thread.
  std::optional<nlohmann::ordered_json> parameters(const Context& context,
                                                   ClientIdentity& identity) const;
  HttpRequest asURLRequest(const Context& context, ClientIdentity& identity) const;

  // "zh-CN", "zh-TW" or "en-US" for a language identifier.
  static std::string languageCode(const std::string& collatorIdentifier);
  // The address with the values of token query fields replaced, fit for a log line.
  static std::string redactedURL(const std::string& url);

 private:
  explicit KestovaAPIRouter(Case c) : case_(c) {}

  Case case_;
  int64_t action_ = 0;
  int64_t length_ = 0;
  std::string version_, fwVersion_, companyNo_, os_, vendorID_, productID_;
  std::string username_, pw_, token_, name_, email_, confirmPw_;
};

}  // namespace corvane
