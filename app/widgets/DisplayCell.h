#pragma once

#include <QWidget>

namespace corvane {

class CustomButton;

// One item of the display-mode lists: a single button filling the cell. The list that owns the
// cell styles and connects the button.
class DisplayCell : public QWidget {
  Q_OBJECT

 public:
  explicit DisplayCell(QWidget* parent = nullptr);

  CustomButton* displayButton = nullptr;
};

}  // namespace corvane
