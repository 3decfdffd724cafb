#include "cloud/KestovaAPIRouter.h"

#include <QByteArray>
#include <algorithm>
#include <cctype>

#include "cloud/ClientIdentity.h"
#include "cloud/UserManager.h"
#include "config/ConfigManager.h"
#include "i18n/LanguageManager.h"

namespace corvane {

namespace {

bool containsIgnoringCase(const std::string& text, const std::string& part) {
  auto lower = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
  };
  return lower(text).find(lower(part)) != std::string::npos;
}

}  // namespace

KestovaAPIRouter::Context KestovaAPIRouter::Context::process() {
  Context context;
  context.endpoints = CloudEndpoints::production();
  context.isStaging = ConfigManager::shared().isStaging;
  context.vendor = ConfigManager::shared().vendor;
  context.token = UserManager::shared().token;
  context.collatorIdentifier = LanguageManager::shared().collatorIdentifier();
  return context;
}

KestovaAPIRouter KestovaAPIRouter::versionCheck(int64_t action, int64_t length, std::string version,
                                                std::string fwVersion, std::string companyNo,
                                                std::string os, std::string vendorID,
                                                std::string productID) {
  KestovaAPIRouter route(Case::versionCheck);
  route.action_ = action;
  route.length_ = length;
  route.version_ = std::move(version);
  route.fwVersion_ = std::move(fwVersion);
  route.companyNo_ = std::move(companyNo);
  route.os_ = std::move(os);
  route.vendorID_ = std::move(vendorID);
  route.productID_ = std::move(productID);
  return route;
}

KestovaAPIRouter KestovaAPIRouter::login(std::string username, std::string pw) {
  KestovaAPIRouter route(Case::login);
  route.username_ = std::move(username);
  route.pw_ = std::move(pw);
  return route;
}

KestovaAPIRouter KestovaAPIRouter::fbLogin(std::string token) {
  KestovaAPIRouter route(Case::fbLogin);
  route.token_ = std::move(token);
  return route;
}

KestovaAPIRouter KestovaAPIRouter::googleLogin(std::string token) {
  KestovaAPIRouter route(Case::googleLogin);
  route.token_ = std::move(token);
  return route;
}

KestovaAPIRouter KestovaAPIRouter::signup(std::string name, std::string email, std::string pw,
                                          std::string confirmPw) {
  KestovaAPIRouter route(Case::signup);
  route.name_ = std::move(name);
  route.email_ = std::move(email);
  route.pw_ = std::move(pw);
  route.confirmPw_ = std::move(confirmPw);
  return route;
}

KestovaAPIRouter KestovaAPIRouter::unLinkDevice(std::string token) {
  KestovaAPIRouter route(Case::unLinkDevice);
  route.token_ = std::move(token);
  return route;
}

std::string KestovaAPIRouter::method() const {
  switch (case_) {
    case Case::unLinkDevice:
      return "DELETE";
    case Case::notification:
    case Case::getCompanyInfo:
    case Case::logout:
    case Case::getDeviceList:
      return "GET";
    default:
      return "POST";
  }
}

std::string KestovaAPIRouter::url(const Context& context) const {
  const std::string& account = context.endpoints.account;
  const std::string& admin = context.endpoints.admin;
  auto join = CloudEndpoints::join;
  switch (case_) {
    case Case::versionCheck:
      return join(admin, context.isStaging ? "2/version/check_test" : "2/version/check");
    case Case::login:
      return join(account, "/app/1/login");
    case Case::fbLogin:
      return join(account, "/app/1/auth/facebook/token?access_token=" + token_);
    case Case::googleLogin:
      return join(account, "/app/1/auth/google/token?access_token=" + token_);
    case Case::signup:
      return join(account, "/app/1/signup");
    case Case::unLinkDevice:
      return join(account, "/app/1/account/device?format=timestamp");
    case Case::notification:
      return join(admin, "/1/notifications");
    case Case::getCompanyInfo:
      // A build without a vendor code of its own is the maker's: company number 1.
      return join(admin, "2/company/no/" + (context.vendor.empty() ? "1" : context.vendor) +
                             "?lang=" + languageCode(context.collatorIdentifier));
    case Case::checkAccountVIP:
      return join(account, "/app/1/account/vip");
    case Case::checkVIP:
      return join(account, "/app/1/vip");
    case Case::logout:
      return join(account, "/app/1/account/logout");
    case Case::getDeviceList:
      return join(account, "/app/1/account/devices?format=timestamp");
  }
  return {};
}

std::optional<nlohmann::ordered_json> KestovaAPIRouter::parameters(const Context& context,
                                                                   ClientIdentity& identity) const {
  using Json = nlohmann::ordered_json;
  switch (case_) {
    case Case::versionCheck:
      return Json{{"action", action_},
                  {"length", length_},
                  {"version", version_},
                  {"fwVersion", fwVersion_},
                  {"companyNo", companyNo_},
                  {"os", os_},
                  {"vendor", vendorID_},
                  {"product", productID_},
                  {"customer", identity.customerIdentifier()},
                  {"sn", identity.chipId()},
                  {"lang", languageCode(context.collatorIdentifier)}};
    case Case::login:
      return Json{{"username", username_},
                  {"password", pw_},
                  {"device", "studio"},
                  {"mac", identity.machineIdentifier()}};
    case Case::fbLogin:
    case Case::googleLogin:
      return Json{{"device", "studio"}, {"mac", identity.machineIdentifier()}};
    case Case::signup:
      return Json{{"name", name_},      {"email", email_},
                  {"password", pw_},    {"confirm", confirmPw_},
                  {"device", "studio"}, {"mac", identity.machineIdentifier()}};
    case Case::unLinkDevice:
      return Json{{"token", token_}};
    case Case::checkAccountVIP:
    case Case::checkVIP:
      return Json{{"mac", identity.machineIdentifier()}};
    case Case::notification:
    case Case::getCompanyInfo:
    case Case::logout:
    case Case::getDeviceList:
      return std::nullopt;
  }
  return std::nullopt;
}

HttpRequest KestovaAPIRouter::asURLRequest(const Context& context, ClientIdentity& identity) const {
  HttpRequest request;
  request.url = url(context);
  // Filled now even for the cases without a body, so later requests find it cached.
  identity.machineIdentifier();
  std::string hostName = identity.hostName();
  request.method = method();
  request.timeout = std::chrono::seconds(60);
  request.headers.emplace_back("Authorization", "Bearer " + context.token);
  request.headers.emplace_back("User-Agent",
                               QByteArray::fromStdString(hostName).toBase64().toStdString());
  if (auto body = parameters(context, identity)) {
    request.headers.emplace_back("Content-Type", "application/json");
    // Invalid UTF-8 in a payload becomes U+FFFD rather than an exception.
    request.body = body->dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  }
  return request;
}

std::string KestovaAPIRouter::languageCode(const std::string& collatorIdentifier) {
  if (containsIgnoringCase(collatorIdentifier, "zh-Hans")) return "zh-CN";
  if (containsIgnoringCase(collatorIdentifier, "zh-Hant")) return "zh-TW";
  return "en-US";
}

std::string KestovaAPIRouter::redactedURL(const std::string& url) {
  std::string out = url;
  const std::string key = "access_token=";
  size_t at = 0;
  while ((at = out.find(key, at)) != std::string::npos) {
    size_t start = at + key.size();
    size_t end = out.find('&', start);
    if (end == std::string::npos) end = out.size();
    out.replace(start, end - start, "<hidden>");
    at = start;
  }
  return out;
}

}  // namespace corvane
