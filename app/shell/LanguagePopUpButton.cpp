#include "shell/LanguagePopUpButton.h"

#include "i18n/LanguageManager.h"

namespace corvane {

LanguagePopUpButton::LanguagePopUpButton(QWidget* parent) : QComboBox(parent) {
  setObjectName("languagePullDownButton");
  setStyleSheet(
      "QComboBox { color: white; background: rgb(58, 58, 58); border: 1px solid rgb(90, 90, 90);"
      " border-radius: 4px; padding: 2px 8px; }"
      "QComboBox QAbstractItemView { color: white; background: rgb(48, 48, 48);"
      " selection-background-color: rgb(40, 150, 245); }");
}

void LanguagePopUpButton::reload(const LanguageManager& languages,
                                 const LanguageChoice::NameOf& nameOf) {
  clear();
  const auto items = LanguageChoice::items(languages.localizableList, nameOf);
  for (const auto& item : items)
    addItem(item.title, item.path ? QVariant(QString::fromStdString(*item.path)) : QVariant());
  if (auto current = LanguageChoice::currentIndex(items, languages.currentTablePath()))
    setCurrentIndex(*current);
}

std::optional<std::string> LanguagePopUpButton::selectedTable() const {
  const QVariant data = currentData();
  if (currentIndex() < 0 || !data.isValid()) return std::nullopt;
  return data.toString().toStdString();
}

}  // namespace corvane
