#include "shell/PageOpener.h"

#include <QString>

#include "Workspace.h"
#include "dispatch/Queue.h"
#include "i18n/Localized.h"

namespace corvane {

std::string PageOpener::failureLine(const std::string& url, const std::string& why) {
  return "Cannot open " + url + ": " + why;
}

std::string PageOpener::failureMessage(const std::string& url, const std::string& why) {
  return QString::fromStdString(localized("alert_page_not_opened"))
      .arg(QString::fromStdString(url), QString::fromStdString(why))
      .toStdString();
}

bool PageOpener::open(const Environment& env, const std::string& url) {
  auto tell = [env, url](const std::string& why) {
    if (env.logError) env.logError(failureLine(url, why));
    if (env.alert) env.alert(failureMessage(url, why));
  };
  const bool web = platform::Workspace::isWebAddress(url);
  // The opener's end is told on the thread that watched it: the user hears of it on the main one.
  auto failed = [main = env.main, tell](const std::string& why) {
    if (main) main->async([tell, why] { tell(why); });
  };
  if (web && env.workspace && env.workspace->openURL(url, failed)) return true;
  tell(web ? kNotStarted : "not a web address");
  return false;
}

}  // namespace corvane
