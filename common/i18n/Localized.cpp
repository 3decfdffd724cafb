#include "i18n/Localized.h"

#include "i18n/LanguageManager.h"

namespace corvane {

std::string localized(const std::string& key) { return LanguageManager::shared().localized(key); }

QString localizedText(const std::string& key) { return QString::fromStdString(localized(key)); }

}  // namespace corvane
