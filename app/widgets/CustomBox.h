#pragma once

#include <QGroupBox>

namespace corvane {

// A box that carries an integer tag for its owner; the tag changes nothing in the box.
class CustomBox : public QGroupBox {
  Q_OBJECT

 public:
  explicit CustomBox(QWidget* parent = nullptr) : QGroupBox(parent) {}

  int boxTag = 0;
};

}  // namespace corvane
