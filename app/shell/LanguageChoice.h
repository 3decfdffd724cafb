#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// The language pickers' list: one item per language table whose language has a name, each
// keeping the path of its table, so the choice stored is always the table the user saw, also
// when tables without a name were left out.
class LanguageChoice {
 public:
  struct Item {
    QString title;
    std::optional<std::string> path;  // none for the "English" item of an empty list
    bool operator==(const Item&) const = default;
  };
  using NameOf = std::function<std::optional<QString>(const std::string& code)>;

  // The name of a language code ("zh-Hans") in the language `displayLocale`, as ICU knows it;
  // none for a code that is no language tag or whose language ICU does not know.
  static std::optional<QString> displayName(const std::string& code,
                                            const std::string& displayLocale);
  // The code's name in its own language.
  static std::optional<QString> nativeName(const std::string& code);
  // The language a table is named after: its file name without the extension.
  static std::string languageCode(const std::string& tablePath);
  // The language names are shown in: the identifier's own language, or for a stored table path
  // that table's language.
  static std::string displayLocale(const std::string& collatorIdentifier);

  // One item per table, in order, titled by `nameOf` of its language; a table without a name
  // adds none. The single item "English" (storing nothing) when no table has one.
  static std::vector<Item> items(const std::vector<std::string>& tables, const NameOf& nameOf);
  // The item of the table in use; none when no item carries it.
  static std::optional<int> currentIndex(const std::vector<Item>& items,
                                         const std::optional<std::string>& currentTable);
};

}  // namespace corvane
