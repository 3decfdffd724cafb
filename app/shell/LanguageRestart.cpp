#include "shell/LanguageRestart.h"

#include <QString>
#include <QVariant>

#include "Workspace.h"
#include "i18n/LanguageManager.h"
#include "log/LogManager.h"
#include "qt/UserDefaults.h"

namespace corvane {

bool LanguageRestart::apply(const std::optional<std::string>& table,
                            platform::UserDefaults* defaults, LanguageManager* languages,
                            platform::Workspace* workspace,
                            const std::function<std::vector<std::string>()>& arguments,
                            std::string* error) {
  static const QString kKey = QStringLiteral("CurrentLanguage");
  if (table) {
    if (defaults) {
      const QVariant before = defaults->object(kKey);
      defaults->set(kKey, QString::fromStdString(*table));
      std::string why;
      if (!defaults->synchronize(&why)) {
        // A start now would come back in the old language; and the choice must not reach the
        // file later, at a quit, behind the user's back.
        if (before.isValid())
          defaults->set(kKey, before);
        else
          defaults->remove(kKey);
        CV_LOG_ERROR("The language was not changed: " + why);
        if (error) *error = why;
        return false;
      }
    }
    if (languages) languages->setCollatorIdentifier(*table);
  }
  const bool started = workspace && (arguments ? workspace->relaunchApplication(arguments())
                                               : workspace->relaunchApplication());
  if (!started)
    CV_LOG_ERROR("The program could not be started again; the language applies at the next start");
  return true;
}

bool LanguageRestart::isChange(const std::optional<std::string>& chosen,
                               const std::optional<std::string>& current) {
  return chosen != current;
}

}  // namespace corvane
