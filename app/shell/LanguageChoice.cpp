#include "shell/LanguageChoice.h"

#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <filesystem>

namespace corvane {

namespace {

// The ICU locale id of a language tag ("zh-Hans" -> "zh_Hans"); none when it is not a whole
// well-formed tag.
std::optional<std::string> localeId(const std::string& code) {
  if (code.empty()) return std::nullopt;
  char id[ULOC_FULLNAME_CAPACITY] = {};
  int32_t parsed = 0;
  UErrorCode status = U_ZERO_ERROR;
  uloc_forLanguageTag(code.c_str(), id, sizeof(id), &parsed, &status);
  if (U_FAILURE(status) || parsed != static_cast<int32_t>(code.size()) || !*id) return std::nullopt;
  return std::string(id);
}

QString fromUChars(const UChar* text, int32_t length) {
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

std::string normal(const std::string& path) {
  return std::filesystem::path(path).lexically_normal().string();
}

}  // namespace

std::optional<QString> LanguageChoice::displayName(const std::string& code,
                                                   const std::string& displayLocale) {
  auto id = localeId(code);
  if (!id) return std::nullopt;
  std::string display = localeId(displayLocale).value_or("en");
  UChar buffer[256];
  UErrorCode status = U_ZERO_ERROR;
  // ICU answers a language it does not know with its code: such a table has no name.
  char language[ULOC_LANG_CAPACITY] = {};
  uloc_getLanguage(id->c_str(), language, sizeof(language), &status);
  if (U_FAILURE(status) || !*language) return std::nullopt;
  int32_t n = uloc_getDisplayLanguage(id->c_str(), display.c_str(), buffer, 256, &status);
  if (U_FAILURE(status) || n <= 0) return std::nullopt;
  if (fromUChars(buffer, n).compare(QString::fromLatin1(language), Qt::CaseInsensitive) == 0)
    return std::nullopt;
  status = U_ZERO_ERROR;
  n = uloc_getDisplayName(id->c_str(), display.c_str(), buffer, 256, &status);
  if (U_FAILURE(status) || n <= 0) return std::nullopt;
  return fromUChars(buffer, n);
}

std::optional<QString> LanguageChoice::nativeName(const std::string& code) {
  return displayName(code, code);
}

std::string LanguageChoice::languageCode(const std::string& tablePath) {
  return std::filesystem::path(tablePath).stem().string();
}

std::string LanguageChoice::displayLocale(const std::string& collatorIdentifier) {
  if (collatorIdentifier.find('/') != std::string::npos) return languageCode(collatorIdentifier);
  return collatorIdentifier;
}

std::vector<LanguageChoice::Item> LanguageChoice::items(const std::vector<std::string>& tables,
                                                        const NameOf& nameOf) {
  std::vector<Item> out;
  for (const std::string& table : tables) {
    auto name = nameOf ? nameOf(languageCode(table)) : std::nullopt;
    if (name && !name->isEmpty()) out.push_back(Item{*name, table});
  }
  if (out.empty()) out.push_back(Item{QStringLiteral("English"), std::nullopt});
  return out;
}

std::optional<int> LanguageChoice::currentIndex(const std::vector<Item>& items,
                                                const std::optional<std::string>& currentTable) {
  if (!currentTable) return std::nullopt;
  const std::string current = normal(*currentTable);
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].path && normal(*items[i].path) == current) return static_cast<int>(i);
  return std::nullopt;
}

}  // namespace corvane
