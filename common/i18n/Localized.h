#pragma once

#include <QString>
#include <string>

namespace corvane {

// The text of a localisation key in the current language (see LanguageManager::localized).
std::string localized(const std::string& key);
// The same, for a window's labels and buttons.
QString localizedText(const std::string& key);

}  // namespace corvane
