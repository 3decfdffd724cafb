#pragma once

#include <QComboBox>
#include <optional>
#include <string>

#include "shell/LanguageChoice.h"

namespace corvane {

class LanguageManager;

// The language pickers' pop-up: one item per named language table, each keeping its table's
// path as the item's data.
class LanguagePopUpButton : public QComboBox {
  Q_OBJECT

 public:
  explicit LanguagePopUpButton(QWidget* parent = nullptr);

  // Empties the pop-up, lists the manager's tables titled by `nameOf` and selects the table
  // the manager uses; the single item "English" when no table has a name.
  void reload(const LanguageManager& languages, const LanguageChoice::NameOf& nameOf);
  // The table of the selected item; none for the "English" fallback and an empty pop-up.
  std::optional<std::string> selectedTable() const;
};

}  // namespace corvane
