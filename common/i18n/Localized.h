#pragma once

#include <string>

namespace corvane {

// The text of a localisation key in the current language (see LanguageManager::localized).
std::string localized(const std::string& key);

}  // namespace corvane
