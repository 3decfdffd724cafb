#include "shell/CompanyLink.h"

#include <QByteArray>

namespace corvane {

namespace {

// The camera pads its identifier with zero bytes or blanks.
std::string trimmed(const std::string& text) {
  auto pad = [](char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t begin = 0, end = text.size();
  while (begin < end && pad(text[begin])) ++begin;
  while (end > begin && pad(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

std::optional<std::string> CompanyLink::pageLink(const std::optional<CompanyModel>& company,
                                                 Page page, bool isStaging) {
  if (!company) return std::nullopt;
  const CompanyDataModel& data = company->data;
  const std::string& link = page == Page::contact
                                ? (isStaging ? data.stagingContactUrl : data.contactUrl)
                                : (isStaging ? data.stagingDocUrl : data.docUrl);
  if (link.empty()) return std::nullopt;
  return link;
}

std::string CompanyLink::withCustomer(const std::string& link,
                                      const std::string& customerIdentifier) {
  std::string id = trimmed(customerIdentifier);
  if (id.empty()) return link;
  QByteArray encoded = QByteArray::fromStdString(id).toPercentEncoding();
  size_t fragment = link.find('#');
  std::string base = link.substr(0, fragment);
  std::string tail = fragment == std::string::npos ? "" : link.substr(fragment);
  char separator = base.find('?') == std::string::npos ? '?' : '&';
  if (!base.empty() && (base.back() == '?' || base.back() == '&')) separator = '\0';
  std::string out = base;
  if (separator) out += separator;
  return out + "customer=" + encoded.toStdString() + tail;
}

}  // namespace corvane
