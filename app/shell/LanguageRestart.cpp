#include "shell/LanguageRestart.h"

#include <QString>

#include "Workspace.h"
#include "i18n/LanguageManager.h"
#include "log/LogManager.h"
#include "qt/UserDefaults.h"

namespace corvane {

void LanguageRestart::apply(const std::optional<std::string>& table,
                            platform::UserDefaults* defaults, LanguageManager* languages,
                            platform::Workspace* workspace,
                            const std::function<std::vector<std::string>()>& arguments) {
  if (table) {
    if (defaults) {
      defaults->set("CurrentLanguage", QString::fromStdString(*table));
      defaults->synchronize();
    }
    if (languages) languages->setCollatorIdentifier(*table);
  }
  const bool started = workspace && (arguments ? workspace->relaunchApplication(arguments())
                                               : workspace->relaunchApplication());
  if (!started)
    CV_LOG_ERROR("The program could not be started again; the language applies at the next start");
}

}  // namespace corvane
